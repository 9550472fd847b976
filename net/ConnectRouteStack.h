#pragma once

#include "net/IdStackPosix.h"

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
// trying the program against local or staging servers. A name that a route may take is not
// looked up until its port is known, so it need not exist.
class TIdStackConnectRoutes : public TIdStackPosix {
public:
    explicit TIdStackConnectRoutes(std::vector<ConnectRoute> routes);

    std::optional<std::string> WSGetHostByName(const std::string &name) override;
    int WSConnect(TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override;

private:
    const ConnectRoute *Match(const std::string &host, int port) const;
    bool MayRoute(const std::string &host) const;

    std::vector<ConnectRoute> routes_;
    // The name asked last: a connection follows its resolution at once on the one thread.
    std::string pendingName_;
};

// Makes every socket layer started from now on route connections by routes (none: the plain
// platform layer).
void InstallConnectRoutes(std::vector<ConnectRoute> routes);

} // namespace net
