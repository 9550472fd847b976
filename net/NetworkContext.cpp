#include "net/NetworkContext.h"

namespace net {

const NetworkContext &DefaultNetworkContext() {
    static const NetworkContext context;
    return context;
}

} // namespace net
