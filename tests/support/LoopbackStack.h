#pragma once

#include "net/IdStack.h"
#include "net/IdStackPosix.h"
#include "net/NetworkContext.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The real socket layer with two changes for tests: every host name resolves to 127.0.0.1
// (except the ones named unresolvable, and every name ending in ".invalid", which fail as
// unknown hosts), and a connection to port 80 goes to the test server's port instead.
namespace testsupport {

// The names a loopback layer was asked to resolve, in order.
class ResolvedNames {
public:
    void Add(const std::string &name);
    std::vector<std::string> All() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
};

class LoopbackStack : public net::TIdStackPosix {
public:
    LoopbackStack(int port80Replacement, std::set<std::string> unresolvable,
                  std::shared_ptr<ResolvedNames> resolved);

    std::optional<std::string> WSGetHostByName(const std::string &name) override;
    int WSConnect(net::TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override;

protected:
    // Its names resolve at once; nothing to look up ahead.
    void StartLookup(const std::string &) override {}

private:
    int port80Replacement_;
    std::set<std::string> unresolvable_;
    std::shared_ptr<ResolvedNames> resolved_;
};

// A network context over LoopbackStack, with the default waits unless set.
class LoopbackNetwork {
public:
    explicit LoopbackNetwork(int port80Replacement, std::set<std::string> unresolvable = {});

    const net::NetworkContext &Context() const { return context_; }
    // The same layer with other waits (milliseconds).
    net::NetworkContext Context(int connectTimeout, int readTimeout) const;
    std::vector<std::string> Resolved() const { return resolved_->All(); }

private:
    std::shared_ptr<ResolvedNames> resolved_ = std::make_shared<ResolvedNames>();
    net::NetworkContext context_;
};

// A context whose socket layer fails to start, as a machine without sockets would.
net::NetworkContext FailingNetworkContext();

} // namespace testsupport
