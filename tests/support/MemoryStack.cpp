#include "tests/support/MemoryStack.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

MemoryReply ShapedReply(const std::string &bytes, std::uint8_t control) {
    MemoryReply reply;
    const std::size_t step = (control & 0x0F) == 0 ? bytes.size() + 1 : (control & 0x0F);
    for (std::size_t at = 0; at < bytes.size(); at += step)
        reply.pieces.push_back(bytes.substr(at, step));
    const PeerEnd ends[] = {PeerEnd::Close, PeerEnd::Reset, PeerEnd::Silent};
    reply.end = ends[(control >> 4) % 3];
    return reply;
}

MemoryStack::MemoryStack(std::shared_ptr<MemoryNetwork> network) : network_(std::move(network)) {}

int MemoryStack::Fail(int number) {
    lastError_ = number;
    return net::Id_SOCKET_ERROR;
}

net::TIdStackSocketHandle MemoryStack::WSSocket() {
    const auto handle = nextHandle_++;
    peers_[handle] = Peer{};
    ++network_->openSockets_;
    return handle;
}

int MemoryStack::WSBind(net::TIdStackSocketHandle, const std::string &, int) {
    return 0;
}

int MemoryStack::WSConnect(net::TIdStackSocketHandle socket, const std::string &, int port, int) {
    auto &peer = peers_.at(socket);
    if (network_->replies_.empty())
        return Fail(net::Id_WSAECONNREFUSED);
    peer.reply = std::move(network_->replies_.front());
    network_->replies_.pop_front();
    peer.connected = true;
    peer.port = port;
    peer.sentIndex = static_cast<int>(network_->sent_.size());
    network_->sent_.emplace_back();
    return 0;
}

int MemoryStack::WSSelectRead(net::TIdStackSocketHandle socket, int) {
    auto &peer = peers_.at(socket);
    const auto &pieces = peer.reply.pieces;
    while (peer.piece < pieces.size() && peer.offset >= pieces[peer.piece].size()) {
        ++peer.piece;
        peer.offset = 0;
    }
    const bool piecesLeft = peer.piece < pieces.size();
    return piecesLeft || peer.reply.end != PeerEnd::Silent ? 1 : 0;
}

int MemoryStack::WSRecv(net::TIdStackSocketHandle socket, void *buffer, int length) {
    auto &peer = peers_.at(socket);
    auto &pieces = peer.reply.pieces;
    while (peer.piece < pieces.size() && peer.offset >= pieces[peer.piece].size()) {
        ++peer.piece;
        peer.offset = 0;
    }
    if (peer.piece < pieces.size()) {
        const std::string &piece = pieces[peer.piece];
        const std::size_t count =
            std::min(piece.size() - peer.offset, static_cast<std::size_t>(length));
        std::memcpy(buffer, piece.data() + peer.offset, count);
        peer.offset += count;
        return static_cast<int>(count);
    }
    if (peer.reply.end == PeerEnd::Reset)
        return Fail(10054);
    return 0;
}

int MemoryStack::WSSend(net::TIdStackSocketHandle socket, const void *buffer, int length) {
    const auto &peer = peers_.at(socket);
    if (!peer.connected)
        return Fail(10057);
    network_->sent_[static_cast<std::size_t>(peer.sentIndex)].append(
        static_cast<const char *>(buffer), static_cast<std::size_t>(length));
    return length;
}

int MemoryStack::WSCloseSocket(net::TIdStackSocketHandle socket) {
    peers_.erase(socket);
    --network_->openSockets_;
    return 0;
}

int MemoryStack::WSGetSockName(net::TIdStackSocketHandle, net::TIdSocketAddress &address) {
    address = {"127.0.0.1", 40000};
    return 0;
}

int MemoryStack::WSGetPeerName(net::TIdStackSocketHandle socket, net::TIdSocketAddress &address) {
    address = {"127.0.0.1", peers_.at(socket).port};
    return 0;
}

std::optional<std::string> MemoryStack::WSGetHostByName(const std::string &name) {
    if (name.ends_with(".invalid")) {
        Fail(net::Id_WSAHOST_NOT_FOUND);
        return std::nullopt;
    }
    return "127.0.0.1";
}

net::NetworkContext MemoryNetworkContext(std::shared_ptr<MemoryNetwork> network) {
    net::NetworkContext context;
    context.Sockets =
        std::make_shared<net::SocketLayer>([network]() -> std::unique_ptr<net::TIdStack> {
            return std::make_unique<MemoryStack>(network);
        });
    return context;
}

} // namespace testsupport
