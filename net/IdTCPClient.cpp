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
        socket_.SetSendTimeout(WithinExchange(ReadTimeout));
        NotifyStatus(TIdStatus::hsConnecting, socket_.PeerIP());
        socket_.ConnectPeer(WithinExchange(ConnectTimeout));
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
        }
        throw;
    }
    if (InterceptEnabled()) {
        // The intercept's own handshake; a connection it refuses is not left open.
        try {
            Intercept()->Connect(*this);
        } catch (...) {
            try {
                CloseConnection();
            } catch (...) {
            }
            throw;
        }
    }
    NotifyStatus(TIdStatus::hsConnected, socket_.PeerIP());
    NotifyConnected();
}

} // namespace net
