#include "net/ConnectRouteStack.h"

#include "base/AsciiCase.h"
#include "net/IdStack.h"

#include <memory>

namespace net {
namespace {

// Stands for "resolved later, when the port is known".
constexpr const char *kDeferred = "0.0.0.0";

} // namespace

TIdStackConnectRoutes::TIdStackConnectRoutes(std::vector<ConnectRoute> routes)
    : routes_(std::move(routes)) {}

bool TIdStackConnectRoutes::MayRoute(const std::string &host) const {
    for (const ConnectRoute &route : routes_) {
        if (route.fromHost.empty() || base::SameTextAscii(route.fromHost, host))
            return true;
    }
    return false;
}

const ConnectRoute *TIdStackConnectRoutes::Match(const std::string &host, int port) const {
    for (const ConnectRoute &route : routes_) {
        const bool hostMatches =
            route.fromHost.empty() || base::SameTextAscii(route.fromHost, host);
        const bool portMatches = !route.fromPort || *route.fromPort == port;
        if (hostMatches && portMatches)
            return &route;
    }
    return nullptr;
}

std::optional<std::string> TIdStackConnectRoutes::WSGetHostByName(const std::string &name) {
    pendingName_ = name;
    if (MayRoute(name))
        return kDeferred;
    return TIdStackPosix::WSGetHostByName(name);
}

int TIdStackConnectRoutes::WSConnect(TIdStackSocketHandle socket, const std::string &ip, int port,
                                     int timeoutMs) {
    const bool deferred = ip == kDeferred;
    const std::string host = deferred ? pendingName_ : ip;
    std::string targetIp = ip;
    int targetPort = port;
    if (const ConnectRoute *route = Match(host, port)) {
        const auto address = IsAddressLiteral(route->toHost)
                                 ? std::optional<std::string>(route->toHost)
                                 : TIdStackPosix::WSGetHostByName(route->toHost);
        if (!address)
            return Id_SOCKET_ERROR;
        targetIp = *address;
        targetPort = route->toPort;
    } else if (deferred) {
        const auto address = TIdStackPosix::WSGetHostByName(host);
        if (!address)
            return Id_SOCKET_ERROR;
        targetIp = *address;
    }
    return TIdStackPosix::WSConnect(socket, targetIp, targetPort, timeoutMs);
}

void InstallConnectRoutes(std::vector<ConnectRoute> routes) {
    if (routes.empty()) {
        SetStackFactory(nullptr);
        return;
    }
    SetStackFactory([routes] { return std::make_unique<TIdStackConnectRoutes>(routes); });
}

} // namespace net
