#include "net/IdTCPClient.h"

#include "net/IdException.h"

namespace net {

void TIdTCPClient::NotifyConnected() {
    if (OnConnected)
        OnConnected(*this);
}

void TIdTCPClient::OpenConnection() {
    if (socket_.HandleAllocated())
        throw EIdAlreadyConnected();
    ResetState();
    socket_.AllocateHandle();
    try {
        socket_.BindLocal(BoundIP, 0);
        if (!TIdStack::IsAddressLiteral(Host))
            NotifyStatus(TIdStatus::hsResolving, Host);
        const TIdSocketAddress target = Stack().ConnectTarget(Host, Port);
        socket_.SetRemote(target.IP, target.Port);
        if (!UseNagle)
            Stack().CheckSocketResult(Stack().WSSetNoDelay(socket_.Handle()));
        socket_.SetSendTimeout(ReadTimeout);
        NotifyStatus(TIdStatus::hsConnecting, socket_.PeerIP());
        socket_.ConnectPeer(ConnectTimeout);
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
        }
        throw;
    }
    NotifyStatus(TIdStatus::hsConnected, socket_.PeerIP());
    NotifyConnected();
}

} // namespace net
