#include "net/ConnectionDefaults.h"

namespace net {
namespace {

ConnectionDefaults current;

} // namespace

const ConnectionDefaults &CurrentConnectionDefaults() {
    return current;
}

ConnectionDefaults SetConnectionDefaults(const ConnectionDefaults &defaults) {
    const ConnectionDefaults previous = current;
    current = defaults;
    return previous;
}

} // namespace net
