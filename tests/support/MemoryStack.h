#pragma once

#include "net/IdStack.h"
#include "net/NetworkContext.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A socket layer without sockets, for tests that need exact control over how a reply arrives
// (and for fuzzing): each connection receives a scripted reply in given pieces, one piece per
// receive, and what the client sends is recorded.
namespace testsupport {

// How the scripted peer behaves once its pieces are delivered.
enum class PeerEnd { Close, Reset, Silent };

struct MemoryReply {
    std::vector<std::string> pieces;
    PeerEnd end = PeerEnd::Close;
};

// bytes as a fuzzer's control byte shapes the reply: cut into pieces of (control & 0x0F) bytes
// (0: in one piece), the peer's end chosen by (control >> 4) % 3.
MemoryReply ShapedReply(const std::string &bytes, std::uint8_t control);

// The state shared by the stacks that one test's factory creates.
class MemoryNetwork {
public:
    void Enqueue(MemoryReply reply) { replies_.push_back(std::move(reply)); }
    // The bytes each connection received from the client, in order of connection.
    const std::vector<std::string> &Sent() const { return sent_; }
    int Connections() const { return static_cast<int>(sent_.size()); }
    int OpenSockets() const { return openSockets_; }

private:
    friend class MemoryStack;
    std::deque<MemoryReply> replies_;
    std::vector<std::string> sent_;
    int openSockets_ = 0;
};

// One connection with no reply queued is refused.
class MemoryStack : public net::TIdStack {
public:
    explicit MemoryStack(std::shared_ptr<MemoryNetwork> network);

    net::TIdStackSocketHandle WSSocket() override;
    int WSBind(net::TIdStackSocketHandle socket, const std::string &ip, int port) override;
    int WSConnect(net::TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override;
    int WSSelectRead(net::TIdStackSocketHandle socket, int timeoutMs) override;
    int WSRecv(net::TIdStackSocketHandle socket, void *buffer, int length) override;
    int WSSend(net::TIdStackSocketHandle socket, const void *buffer, int length) override;
    int WSSetSendTimeout(net::TIdStackSocketHandle, int) override { return 0; }
    int WSShutdown(net::TIdStackSocketHandle, int) override { return 0; }
    int WSCloseSocket(net::TIdStackSocketHandle socket) override;
    int WSGetSockName(net::TIdStackSocketHandle socket, net::TIdSocketAddress &address) override;
    int WSGetPeerName(net::TIdStackSocketHandle socket, net::TIdSocketAddress &address) override;
    std::optional<std::string> WSGetHostByName(const std::string &name) override;
    int WSGetLastError() override { return lastError_; }

private:
    struct Peer {
        bool connected = false;
        int sentIndex = -1;
        MemoryReply reply;
        std::size_t piece = 0;
        std::size_t offset = 0;
        int port = 0;
    };
    int Fail(int number);

    std::shared_ptr<MemoryNetwork> network_;
    std::map<net::TIdStackSocketHandle, Peer> peers_;
    net::TIdStackSocketHandle nextHandle_ = 100;
    int lastError_ = 0;
};

// A network context whose socket layer is a MemoryStack over network.
net::NetworkContext MemoryNetworkContext(std::shared_ptr<MemoryNetwork> network);

} // namespace testsupport
