#pragma once

#include "net/IdStack.h"

// The socket layer over POSIX sockets and getaddrinfo (IPv4). Error numbers are reported as the
// Windows Sockets numbers of the same name.
namespace net {

class TIdStackPosix : public TIdStack {
public:
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

    // The Windows Sockets number for a POSIX errno; numbers without a counterpart stay as they
    // are (below 10000, so they never pick up a wrong text).
    static int MapErrno(int error);

protected:
    int Fail(int windowsSocketsNumber);
    int FailWithErrno();

private:
    // Per thread, as the platform keeps errno: threads sharing one layer never see each
    // other's failures.
    static thread_local int lastError_;
};

} // namespace net
