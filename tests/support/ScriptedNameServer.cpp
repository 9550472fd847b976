#include "tests/support/ScriptedNameServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr std::size_t kHeaderSize = 12;
// Held replies go out once no query came for this long.
constexpr int kHoldQuietMs = 20;

void PutWord(std::vector<std::uint8_t> &out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void PutName(std::vector<std::uint8_t> &out, const std::string &name) {
    std::size_t start = 0;
    while (start < name.size()) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        out.push_back(static_cast<std::uint8_t>(dot - start));
        out.insert(out.end(), name.begin() + static_cast<long>(start),
                   name.begin() + static_cast<long>(dot));
        start = dot + 1;
    }
    out.push_back(0);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

namespace {

// A UDP socket on 127.0.0.1 at a free port and a TCP listener on the same port number; false
// when that port is taken for TCP.
bool BindBoth(int &udp, int &tcp, int &port) {
    udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (udp < 0 || bind(udp, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(udp, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("test name server: cannot bind to 127.0.0.1");
    port = ntohs(address.sin_port);
    tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (tcp >= 0 && bind(tcp, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        listen(tcp, 16) == 0)
        return true;
    close(udp);
    if (tcp >= 0)
        close(tcp);
    return false;
}

} // namespace

ScriptedNameServer::ScriptedNameServer() {
    bool bound = false;
    for (int attempt = 0; attempt < 20 && !bound; ++attempt)
        bound = BindBoth(socket_, listener_, port_);
    if (!bound)
        throw std::runtime_error("test name server: no port free for both UDP and TCP");
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedNameServer::~ScriptedNameServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
    thread_.join();
    for (const TcpClient &client : clients_)
        close(client.socket);
    close(wake_);
    close(listener_);
    close(socket_);
}

void ScriptedNameServer::Answer(const std::string &name, NameServerReply reply,
                                std::vector<std::string> nameServers) {
    std::lock_guard lock(mutex_);
    settings_[Lower(name)] = {reply, std::move(nameServers)};
}

void ScriptedNameServer::AnswerText(const std::string &name,
                                    std::vector<std::vector<std::string>> records) {
    std::lock_guard lock(mutex_);
    texts_[Lower(name)] = std::move(records);
}

std::size_t ScriptedNameServer::QueriesOfType(std::uint16_t type) const {
    std::lock_guard lock(mutex_);
    const auto found = byType_.find(type);
    return found == byType_.end() ? 0 : found->second;
}

std::vector<std::string> ScriptedNameServer::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void ScriptedNameServer::SilenceOverTcp() {
    std::lock_guard lock(mutex_);
    tcpSilent_ = true;
}

bool ScriptedNameServer::WaitForQueries(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return queries_.size() >= count; });
}

void ScriptedNameServer::HoldUdpReplies() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

std::size_t ScriptedNameServer::MostHeld() const {
    std::lock_guard lock(mutex_);
    return mostHeld_;
}

void ScriptedNameServer::SendHeld() {
    std::vector<Held> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    for (auto reply = held.rbegin(); reply != held.rend(); ++reply)
        sendto(socket_, reply->reply.data(), reply->reply.size(), 0,
               reinterpret_cast<const sockaddr *>(reply->to.data()),
               static_cast<socklen_t>(reply->to.size()));
}

bool ScriptedNameServer::WaitForTcpQueries(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return tcpQueries_ >= count; });
}

void ScriptedNameServer::Serve() {
    for (;;) {
        std::vector<pollfd> entries{
            {wake_, POLLIN, 0}, {socket_, POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const TcpClient &client : clients_)
            entries.push_back({client.socket, POLLIN, 0});
        bool anyHeld = false;
        {
            std::lock_guard lock(mutex_);
            anyHeld = !held_.empty();
        }
        const int ready = poll(entries.data(), entries.size(), anyHeld ? kHoldQuietMs : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || entries[0].revents != 0)
            return;
        if (ready == 0)
            SendHeld();
        if (entries[1].revents != 0)
            ServeUdp();
        if (entries[2].revents != 0)
            Accept();
        // Clients accepted just now are not in entries yet.
        for (std::size_t i = 3; i < entries.size(); ++i) {
            if (entries[i].revents == 0)
                continue;
            const auto client = std::find_if(clients_.begin(), clients_.end(), [&](const auto &c) {
                return c.socket == entries[i].fd;
            });
            if (!ServeTcp(*client)) {
                close(client->socket);
                clients_.erase(client);
            }
        }
    }
}

void ScriptedNameServer::ServeUdp() {
    std::vector<std::uint8_t> query(4096);
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const auto got = recvfrom(socket_, query.data(), query.size(), 0,
                              reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (got < static_cast<long>(kHeaderSize))
        return;
    query.resize(static_cast<std::size_t>(got));
    for (const auto &reply : ReplyTo(query, false)) {
        std::unique_lock lock(mutex_);
        if (holding_) {
            const auto *address = reinterpret_cast<const std::uint8_t *>(&from);
            held_.push_back({reply, {address, address + fromLength}});
            mostHeld_ = std::max(mostHeld_, held_.size());
            continue;
        }
        lock.unlock();
        sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from),
               fromLength);
    }
}

void ScriptedNameServer::Accept() {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0)
        clients_.push_back({client, {}});
}

bool ScriptedNameServer::ServeTcp(TcpClient &client) {
    std::uint8_t buffer[4096];
    const auto got = recv(client.socket, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    client.received.insert(client.received.end(), buffer, buffer + got);
    // Each message is preceded by its length in two bytes.
    while (client.received.size() >= 2) {
        const std::size_t length = (client.received[0] << 8) | client.received[1];
        if (client.received.size() < 2 + length)
            break;
        const std::vector<std::uint8_t> query(
            client.received.begin() + 2, client.received.begin() + 2 + static_cast<long>(length));
        client.received.erase(client.received.begin(),
                              client.received.begin() + 2 + static_cast<long>(length));
        bool silent = false;
        {
            std::lock_guard lock(mutex_);
            ++tcpQueries_;
            silent = tcpSilent_;
        }
        changed_.notify_all();
        auto replies = query.size() >= kHeaderSize ? ReplyTo(query, true)
                                                   : std::vector<std::vector<std::uint8_t>>{};
        if (silent)
            continue;
        for (auto &reply : replies) {
            const std::uint8_t prefix[2] = {static_cast<std::uint8_t>(reply.size() >> 8),
                                            static_cast<std::uint8_t>(reply.size() & 0xFF)};
            reply.insert(reply.begin(), prefix, prefix + 2);
            if (send(client.socket, reply.data(), reply.size(), MSG_NOSIGNAL) !=
                static_cast<long>(reply.size()))
                return false;
        }
    }
    return true;
}

namespace {

// A reply of reply's kind to the question that ends at questionEnd.
std::vector<std::uint8_t> BuildReply(const std::vector<std::uint8_t> &query,
                                     std::size_t questionEnd, NameServerReply reply,
                                     const std::vector<std::string> &nameServers, bool overTcp) {
    // The whole answer does not fit a datagram: the header says so and holds no records.
    const bool truncated = reply == NameServerReply::Truncated && !overTcp;
    const bool delegation =
        reply == NameServerReply::Delegation || (reply == NameServerReply::Truncated && overTcp);
    const int code = reply == NameServerReply::NameError       ? 3
                     : reply == NameServerReply::ServerFailure ? 2
                                                               : 0;
    std::vector<std::uint8_t> out(query.begin(), query.begin() + 2);
    PutWord(out, static_cast<std::uint16_t>(0x8180 | (truncated ? 0x0200 : 0) | code));
    PutWord(out, 1);
    PutWord(out, delegation ? static_cast<std::uint16_t>(nameServers.size()) : 0);
    PutWord(out, 0);
    PutWord(out, 0);
    out.insert(out.end(), query.begin() + kHeaderSize,
               query.begin() + static_cast<long>(questionEnd));
    if (!delegation || truncated)
        return out;
    for (const auto &server : nameServers) {
        PutWord(out, 0xC00C); // the question's name
        PutWord(out, 2);      // NS
        PutWord(out, 1);      // IN
        PutWord(out, 0);
        PutWord(out, 3600);
        std::vector<std::uint8_t> data;
        PutName(data, server);
        PutWord(out, static_cast<std::uint16_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

// A NOERROR reply to the question that ends at questionEnd with records as TXT records.
std::vector<std::uint8_t> TextReply(const std::vector<std::uint8_t> &query, std::size_t questionEnd,
                                    const std::vector<std::vector<std::string>> &records) {
    std::vector<std::uint8_t> out(query.begin(), query.begin() + 2);
    PutWord(out, 0x8180);
    PutWord(out, 1);
    PutWord(out, static_cast<std::uint16_t>(records.size()));
    PutWord(out, 0);
    PutWord(out, 0);
    out.insert(out.end(), query.begin() + kHeaderSize,
               query.begin() + static_cast<long>(questionEnd));
    for (const auto &record : records) {
        PutWord(out, 0xC00C); // the question's name
        PutWord(out, 16);     // TXT
        PutWord(out, 1);      // IN
        PutWord(out, 0);
        PutWord(out, 3600);
        std::vector<std::uint8_t> data;
        for (const std::string &piece : record) {
            data.push_back(static_cast<std::uint8_t>(piece.size()));
            data.insert(data.end(), piece.begin(), piece.end());
        }
        PutWord(out, static_cast<std::uint16_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

} // namespace

std::vector<std::vector<std::uint8_t>>
ScriptedNameServer::ReplyTo(const std::vector<std::uint8_t> &query, bool overTcp) {
    // The question: one name of plain labels, then its type and class.
    std::string name;
    std::size_t at = kHeaderSize;
    while (at < query.size() && query[at] != 0 && at + 1 + query[at] <= query.size()) {
        if (!name.empty())
            name += '.';
        name.append(reinterpret_cast<const char *>(&query[at + 1]), query[at]);
        at += 1 + query[at];
    }
    const std::size_t questionEnd = at + 5;
    if (questionEnd > query.size())
        return {};
    const int type = (query[at + 1] << 8) | query[at + 2];
    Setting setting{NameServerReply::NameError, {}};
    int asked = 0;
    std::optional<std::vector<std::vector<std::string>>> texts;
    {
        std::lock_guard lock(mutex_);
        queries_.push_back(name + " " + std::to_string(type) + (overTcp ? " tcp" : ""));
        ++byType_[static_cast<std::uint16_t>(type)];
        if (const auto found = texts_.find(Lower(name)); found != texts_.end() && type == 16)
            texts = found->second;
        asked = asked_[Lower(name)]++;
        const auto found = settings_.find(Lower(name));
        if (found != settings_.end())
            setting = found->second;
    }
    changed_.notify_all();
    if (texts)
        return {TextReply(query, questionEnd, *texts)};
    const auto &servers = setting.nameServers;
    switch (setting.reply) {
    case NameServerReply::Silence:
        return {};
    case NameServerReply::SilentOnce:
        if (asked == 0)
            return {};
        return {BuildReply(query, questionEnd, NameServerReply::Delegation, servers, overTcp)};
    case NameServerReply::WrongIdFirst: {
        auto decoy = BuildReply(query, questionEnd, NameServerReply::Delegation, servers, overTcp);
        decoy[0] ^= 0x5A;
        return {decoy,
                BuildReply(query, questionEnd, NameServerReply::NameError, servers, overTcp)};
    }
    case NameServerReply::OtherQuestionFirst: {
        // The same ID and length, another name: its first letter changed.
        auto other = query;
        other[kHeaderSize + 1] = other[kHeaderSize + 1] == 'z' ? 'y' : 'z';
        return {BuildReply(other, questionEnd, NameServerReply::Delegation, servers, overTcp),
                BuildReply(query, questionEnd, NameServerReply::NameError, servers, overTcp)};
    }
    default:
        return {BuildReply(query, questionEnd, setting.reply, servers, overTcp)};
    }
}

} // namespace testsupport
