#include "tests/support/LoopbackStack.h"

#include "net/IdException.h"

#include <mutex>

namespace testsupport {
namespace {

std::mutex resolvedMutex;
std::vector<std::string> resolvedNames;

bool EndsWith(const std::string &text, const std::string &ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

} // namespace

LoopbackStack::LoopbackStack(int port80Replacement, std::set<std::string> unresolvable)
    : port80Replacement_(port80Replacement), unresolvable_(std::move(unresolvable)) {}

std::optional<std::string> LoopbackStack::WSGetHostByName(const std::string &name) {
    {
        std::lock_guard lock(resolvedMutex);
        resolvedNames.push_back(name);
    }
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

std::vector<std::string> LoopbackStack::Resolved() {
    std::lock_guard lock(resolvedMutex);
    return resolvedNames;
}

ScopedLoopbackStack::ScopedLoopbackStack(int port80Replacement, std::set<std::string> unresolvable)
    : factory_([port80Replacement, unresolvable]() -> std::unique_ptr<net::TIdStack> {
          return std::make_unique<LoopbackStack>(port80Replacement, unresolvable);
      }) {
    std::lock_guard lock(resolvedMutex);
    resolvedNames.clear();
}

ScopedFailingStack::ScopedFailingStack()
    : factory_(
          []() -> std::unique_ptr<net::TIdStack> { throw net::EIdStackInitializationFailed(); }) {}

} // namespace testsupport
