#include "net/ConnectRouteStack.h"

#include "base/AsciiCase.h"

namespace net {

TIdStackConnectRoutes::TIdStackConnectRoutes(std::vector<ConnectRoute> routes, NameLookup lookup)
    : TIdStackPosix(std::move(lookup)), routes_(std::move(routes)) {}

const ConnectRoute *TIdStackConnectRoutes::Match(const std::string &host,
                                                 std::optional<int> port) const {
    for (const ConnectRoute &route : routes_) {
        const bool hostMatches =
            route.fromHost.empty() || base::SameTextAscii(route.fromHost, host);
        const bool portMatches = !port || !route.fromPort || *route.fromPort == *port;
        if (hostMatches && portMatches)
            return &route;
    }
    return nullptr;
}

TIdSocketAddress TIdStackConnectRoutes::ConnectTarget(const std::string &host, int port) {
    if (const ConnectRoute *route = Match(host, port))
        return {HostToAddress(route->toHost), route->toPort};
    return TIdStackPosix::ConnectTarget(host, port);
}

void TIdStackConnectRoutes::StartLookup(const std::string &name) {
    if (!Match(name, std::nullopt))
        TIdStackPosix::StartLookup(name);
}

std::shared_ptr<SocketLayer> RoutedSocketLayer(std::vector<ConnectRoute> routes) {
    if (routes.empty())
        return std::make_shared<SocketLayer>();
    return std::make_shared<SocketLayer>(
        [routes] { return std::make_unique<TIdStackConnectRoutes>(routes); });
}

} // namespace net
