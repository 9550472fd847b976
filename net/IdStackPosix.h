#pragma once

#include "net/IdStack.h"
#include "net/LookupPool.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <unordered_map>

// The socket layer over POSIX sockets and getaddrinfo (IPv4). Error numbers are reported as the
// Windows Sockets numbers of the same name.
namespace net {

class TIdStackPosix : public TIdStack {
public:
    // lookup: the platform's getaddrinfo when empty.
    explicit TIdStackPosix(NameLookup lookup = {});
    ~TIdStackPosix() override;
    TIdStackPosix(const TIdStackPosix &) = delete;
    TIdStackPosix &operator=(const TIdStackPosix &) = delete;

    TIdStackSocketHandle WSSocket() override;
    int WSBind(TIdStackSocketHandle socket, const std::string &ip, int port) override;
    int WSConnect(TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override;
    int WSSelectRead(TIdStackSocketHandle socket, int timeoutMs) override;
    int WSRecv(TIdStackSocketHandle socket, void *buffer, int length) override;
    int WSSend(TIdStackSocketHandle socket, const void *buffer, int length) override;
    int WSSetSendTimeout(TIdStackSocketHandle socket, int timeoutMs) override;
    int WSSetNoDelay(TIdStackSocketHandle socket) override;
    int WSSetCork(TIdStackSocketHandle socket, bool corked) override;
    int WSShutdown(TIdStackSocketHandle socket, int how) override;
    int WSCloseSocket(TIdStackSocketHandle socket) override;
    int WSGetSockName(TIdStackSocketHandle socket, TIdSocketAddress &address) override;
    int WSGetPeerName(TIdStackSocketHandle socket, TIdSocketAddress &address) override;
    std::optional<std::string> WSGetHostByName(const std::string &name) override;
    int WSGetLastError() override { return lastError_; }
    void Interrupt() override;
    void SetResolveTimeout(int timeoutMs) override { resolveTimeoutMs_ = timeoutMs; }

    // The Windows Sockets number for a POSIX errno; numbers without a counterpart stay as they
    // are (below 10000, so they never pick up a wrong text).
    static int MapErrno(int error);

    // Lookups started ahead and not yet taken.
    std::size_t LookupsWaitingAhead();
    // Threads the lookups have made so far (a few at most).
    std::size_t LookupThreads() const { return lookups_.ThreadCount(); }

protected:
    void StartLookup(const std::string &name) override;
    int Fail(int windowsSocketsNumber);
    int FailWithErrno();

    // Polls socket for events and for an interruption; the result of poll, or -1 with EINTR
    // once interrupted.
    int PollFor(int socket, short events, int timeoutMs);
    bool Interrupted() const { return stop_.stop_requested(); }

private:
    // The lookup of name started ahead, taken out of the table; else a new one started now.
    std::shared_ptr<PendingLookup> TakeOrStartLookup(const std::string &name);
    void WakePolls() const;

    // Lookups started ahead of their use, by lower-case name; a bounded number.
    std::mutex aheadMutex_;
    std::unordered_map<std::string, std::shared_ptr<PendingLookup>> ahead_;
    // Written once when stop_ is raised; every poll of this layer watches it.
    int wakeFd_ = -1;
    // Raised by Interrupt; the lookups and their waits watch it too.
    std::stop_source stop_;
    const std::stop_callback<std::function<void()>> wake_;
    LookupPool lookups_;
    std::atomic<int> resolveTimeoutMs_{60000};
    // Per thread, as the platform keeps errno: threads sharing one layer never see each
    // other's failures.
    static thread_local int lastError_;
};

} // namespace net
