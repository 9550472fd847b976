#include "net/Probes.h"

#include <utility>

namespace net {
namespace {

ServiceAddresses &Current() {
    static ServiceAddresses addresses;
    return addresses;
}

} // namespace

const ServiceAddresses &CurrentServiceAddresses() {
    return Current();
}

ServiceAddresses SetServiceAddresses(const ServiceAddresses &addresses) {
    return std::exchange(Current(), addresses);
}

} // namespace net
