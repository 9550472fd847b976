#pragma once

#include "net/IdStack.h"

#include <string>

namespace net {

// The one socket of a connection, with the addresses the platform reports for it. Freeing an
// allocated handle shuts down sending and closes the socket.
class TIdSocketHandle {
public:
    explicit TIdSocketHandle(TIdStack &stack) : stack_(stack) {}
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle &) = delete;
    TIdSocketHandle &operator=(const TIdSocketHandle &) = delete;

    // Releases a socket still held, then creates a new one; EIdInvalidSocket when none comes.
    void AllocateHandle();
    // Shuts down sending and closes; the handle and addresses are forgotten.
    void ReleaseHandle();
    // Forgets the socket without closing it.
    void Reset();
    // Takes the open socket of other (of the same layer) with its addresses; other forgets it.
    // A socket still held here is released first.
    void TakeOver(TIdSocketHandle &other);

    // Binds to ip (any when empty) and port, then records the local address.
    void BindLocal(const std::string &ip, int port);
    void SetRemote(const std::string &ip, int port);
    // Connects to the remote address within timeoutMs and records both ends.
    void ConnectPeer(int timeoutMs);
    void SetSendTimeout(int timeoutMs);

    // Whether data (or a close) can be read within timeoutMs (negative: without limit).
    bool IsReadable(int timeoutMs);
    int SendBytes(const void *buffer, int length);
    int ReceiveBytes(void *buffer, int length);
    void ResetAddresses();

    bool HandleAllocated() const { return allocated_; }
    TIdStack &Stack() const { return stack_; }
    TIdStackSocketHandle Handle() const { return handle_; }
    const std::string &IP() const { return ip_; }
    int Port() const { return port_; }
    const std::string &PeerIP() const { return peerIP_; }
    int PeerPort() const { return peerPort_; }

private:
    void UpdateBindingLocal();
    void UpdateBindingPeer();

    TIdStack &stack_;
    TIdStackSocketHandle handle_ = Id_INVALID_SOCKET;
    bool allocated_ = false;
    std::string ip_;
    std::string peerIP_;
    int port_ = 0;
    int peerPort_ = 0;
};

} // namespace net
