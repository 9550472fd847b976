#pragma once

#include "net/IdStackPosix.h"
#include "net/SocketLayer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {

// A redirection of connections: a connection to fromHost:fromPort goes to toHost:toPort instead.
// An empty fromHost or an absent fromPort matches any. Host names compare without ASCII case; an
// address literal is matched as written.
struct ConnectRoute {
    std::string fromHost;
    std::optional<int> fromPort;
    std::string toHost;
    int toPort = 0;
};

// The platform's socket layer with connections redirected by the first matching route, for
// trying the program against local or staging servers. A name that a route takes is never
// looked up, so it need not exist.
class TIdStackConnectRoutes : public TIdStackPosix {
public:
    explicit TIdStackConnectRoutes(std::vector<ConnectRoute> routes, NameLookup lookup = {});

    TIdSocketAddress ConnectTarget(const std::string &host, int port) override;

protected:
    // A name a route may take is not looked up ahead either.
    void StartLookup(const std::string &name) override;

private:
    // The first route that takes host:port; without a port, the first that may take host.
    const ConnectRoute *Match(const std::string &host, std::optional<int> port) const;

    const std::vector<ConnectRoute> routes_;
};

// A socket layer that routes connections by routes (none: the platform's own layer).
std::shared_ptr<SocketLayer> RoutedSocketLayer(std::vector<ConnectRoute> routes);

} // namespace net
