#pragma once

#include "net/ConnectionPool.h"
#include "net/HostLimiter.h"
#include "net/IdDateTime.h"
#include "net/SocketLayer.h"

#include <memory>
#include <string>

namespace net {

// Everything a check needs to reach the network: the waits and the socket layer
// (the platform's, one with connection routes, or a test's). Its owner (the application, the
// terminal front end, a test) makes one and hands it down; a run makes its own from it
// (core::ContextForRun). Two contexts with different settings work side by side.
struct NetworkContext {
    // Milliseconds.
    int ConnectTimeout = 10000;
    int ReadTimeout = 20000;
    // A whole exchange (name lookup, connect, request, reply, redirects) ends by then.
    int RequestTimeout = 60000;
    // A context made without one has the platform's layer of its own; its copies share it.
    std::shared_ptr<SocketLayer> Sockets = std::make_shared<SocketLayer>();
    // Exchanges at once with one host; none: no limit.
    std::shared_ptr<HostLimiter> Hosts;
    // Idle kept-alive connections that clients made to share them may reuse; none: no reuse.
    std::shared_ptr<ConnectionPool> Connections;
    // The offset from universal time that reply dates are read in (a test's fixed one).
    TUtcOffsetSource UtcOffset = PlatformUtcOffset;
};

} // namespace net
