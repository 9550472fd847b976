#include "net/IdSocketHandle.h"

#include "net/IdException.h"

namespace net {
namespace {

constexpr int kShutdownSending = 1;

} // namespace

TIdSocketHandle::~TIdSocketHandle() {
    if (allocated_)
        ReleaseHandle();
}

void TIdSocketHandle::AllocateHandle() {
    if (allocated_)
        ReleaseHandle();
    handle_ = stack_.WSSocket();
    if (handle_ == Id_INVALID_SOCKET) {
        // An interrupted layer fails every call alike, whichever one it caught.
        if (stack_.WSGetLastError() == Id_WSAEINTR)
            TIdStack::FailWithSocketError(Id_WSAEINTR);
        throw EIdInvalidSocket();
    }
    allocated_ = true;
}

void TIdSocketHandle::ReleaseHandle() {
    if (handle_ != Id_INVALID_SOCKET) {
        allocated_ = false;
        stack_.WSShutdown(handle_, kShutdownSending);
        stack_.WSCloseSocket(handle_);
    }
    Reset();
}

void TIdSocketHandle::Reset() {
    allocated_ = false;
    handle_ = Id_INVALID_SOCKET;
    ResetAddresses();
}

void TIdSocketHandle::TakeOver(TIdSocketHandle &other) {
    if (allocated_)
        ReleaseHandle();
    handle_ = other.handle_;
    allocated_ = other.allocated_;
    ip_ = other.ip_;
    port_ = other.port_;
    peerIP_ = other.peerIP_;
    peerPort_ = other.peerPort_;
    other.Reset();
}

void TIdSocketHandle::ResetAddresses() {
    ip_.clear();
    peerIP_.clear();
    port_ = 0;
    peerPort_ = 0;
}

void TIdSocketHandle::BindLocal(const std::string &ip, int port) {
    if (stack_.CheckSocketResult(stack_.WSBind(handle_, ip, port), {Id_WSAEADDRINUSE}))
        throw EIdCouldNotBindSocket();
    UpdateBindingLocal();
}

void TIdSocketHandle::SetRemote(const std::string &ip, int port) {
    peerIP_ = ip;
    peerPort_ = port;
}

void TIdSocketHandle::ConnectPeer(int timeoutMs) {
    stack_.CheckSocketResult(stack_.WSConnect(handle_, peerIP_, peerPort_, timeoutMs));
    UpdateBindingLocal();
    UpdateBindingPeer();
}

void TIdSocketHandle::SetSendTimeout(int timeoutMs) {
    stack_.CheckSocketResult(stack_.WSSetSendTimeout(handle_, timeoutMs));
}

bool TIdSocketHandle::IsReadable(int timeoutMs) {
    if (!allocated_)
        throw EIdConnClosedGracefully();
    // A failed wait (an interrupted layer among them) is that failure, not a time-out.
    const int ready = stack_.WSSelectRead(handle_, timeoutMs);
    stack_.CheckSocketResult(ready);
    return ready == 1;
}

int TIdSocketHandle::SendBytes(const void *buffer, int length) {
    return stack_.WSSend(handle_, buffer, length);
}

int TIdSocketHandle::ReceiveBytes(void *buffer, int length) {
    return stack_.WSRecv(handle_, buffer, length);
}

void TIdSocketHandle::UpdateBindingLocal() {
    TIdSocketAddress address;
    stack_.CheckSocketResult(stack_.WSGetSockName(handle_, address));
    ip_ = address.IP;
    port_ = address.Port;
}

void TIdSocketHandle::UpdateBindingPeer() {
    TIdSocketAddress address;
    stack_.CheckSocketResult(stack_.WSGetPeerName(handle_, address));
    peerIP_ = address.IP;
    peerPort_ = address.Port;
}

} // namespace net
