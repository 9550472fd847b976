#pragma once

#include "net/SocketLayer.h"

#include <memory>
#include <string>

namespace net {

// The two services the page probes read, as "http://" + host.
struct ServiceAddresses {
    std::string SearchEngine = "http://search.yahoo.com";
    std::string RankingService = "http://www.alexa.com";
};

// Everything a check needs to reach the network: the waits, the services, and the socket layer
// (the platform's, one with connection routes, or a test's). A run makes one and hands it down;
// two contexts with different settings work side by side.
struct NetworkContext {
    // Milliseconds.
    int ConnectTimeout = 10000;
    int ReadTimeout = 20000;
    ServiceAddresses Services;
    std::shared_ptr<SocketLayer> Sockets = PlatformSocketLayer();
};

// The context of components made without one: platform sockets, default waits and services.
const NetworkContext &DefaultNetworkContext();

} // namespace net
