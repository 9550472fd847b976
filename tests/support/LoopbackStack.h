#pragma once

#include "net/IdStack.h"
#include "net/IdStackPosix.h"

#include <set>
#include <string>

// The real socket layer with two changes for tests: every host name resolves to 127.0.0.1
// (except the ones named unresolvable, and every name ending in ".invalid", which fail as
// unknown hosts), and a connection to port 80 goes to the test server's port instead.
namespace testsupport {

class LoopbackStack : public net::TIdStackPosix {
public:
    LoopbackStack(int port80Replacement, std::set<std::string> unresolvable = {});

    std::optional<std::string> WSGetHostByName(const std::string &name) override;
    int WSConnect(net::TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override;

    // Names asked of the "platform", in order (process-wide, cleared by each ScopedLoopbackStack).
    static std::vector<std::string> Resolved();

private:
    int port80Replacement_;
    std::set<std::string> unresolvable_;
};

// Installs LoopbackStack as the socket layer for the lifetime of a scope. Install it while no
// client exists; the next client starts the stack with it.
class ScopedLoopbackStack {
public:
    explicit ScopedLoopbackStack(int port80Replacement, std::set<std::string> unresolvable = {});

private:
    net::ScopedStackFactory factory_;
};

// Makes the socket layer fail to start, as a machine without sockets would.
class ScopedFailingStack {
public:
    ScopedFailingStack();

private:
    net::ScopedStackFactory factory_;
};

} // namespace testsupport
