#include "tests/support/LoopbackStack.h"

#include "net/IdException.h"

namespace testsupport {
namespace {

bool EndsWith(const std::string &text, const std::string &ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

} // namespace

void ResolvedNames::Add(const std::string &name) {
    std::lock_guard lock(mutex_);
    names_.push_back(name);
}

std::vector<std::string> ResolvedNames::All() const {
    std::lock_guard lock(mutex_);
    return names_;
}

LoopbackStack::LoopbackStack(int port80Replacement, std::set<std::string> unresolvable,
                             std::shared_ptr<ResolvedNames> resolved)
    : port80Replacement_(port80Replacement), unresolvable_(std::move(unresolvable)),
      resolved_(std::move(resolved)) {}

std::optional<std::string> LoopbackStack::WSGetHostByName(const std::string &name) {
    resolved_->Add(name);
    if (unresolvable_.count(name) != 0 || EndsWith(name, ".invalid")) {
        Fail(net::Id_WSAHOST_NOT_FOUND);
        return std::nullopt;
    }
    return "127.0.0.1";
}

int LoopbackStack::WSConnect(net::TIdStackSocketHandle socket, const std::string &ip, int port,
                             int timeoutMs) {
    return TIdStackPosix::WSConnect(socket, ip, port == 80 ? port80Replacement_ : port, timeoutMs);
}

LoopbackNetwork::LoopbackNetwork(int port80Replacement, std::set<std::string> unresolvable) {
    context_.Sockets = std::make_shared<net::SocketLayer>(
        [port80Replacement, unresolvable,
         resolved = resolved_]() -> std::unique_ptr<net::TIdStack> {
            return std::make_unique<LoopbackStack>(port80Replacement, unresolvable, resolved);
        });
}

net::NetworkContext LoopbackNetwork::Context(int connectTimeout, int readTimeout) const {
    net::NetworkContext context = context_;
    context.ConnectTimeout = connectTimeout;
    context.ReadTimeout = readTimeout;
    return context;
}

net::NetworkContext FailingNetworkContext() {
    net::NetworkContext context;
    context.Sockets = std::make_shared<net::SocketLayer>(
        []() -> std::unique_ptr<net::TIdStack> { throw net::EIdStackInitializationFailed(); });
    return context;
}

} // namespace testsupport
