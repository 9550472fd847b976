#include "tests/support/ScriptedNameServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr std::size_t kHeaderSize = 12;

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

ScriptedNameServer::ScriptedNameServer() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("test name server: cannot bind to 127.0.0.1");
    port_ = ntohs(address.sin_port);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedNameServer::~ScriptedNameServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
    thread_.join();
    close(wake_);
    close(socket_);
}

void ScriptedNameServer::Answer(const std::string &name, NameServerReply reply,
                                std::vector<std::string> nameServers) {
    std::lock_guard lock(mutex_);
    settings_[Lower(name)] = {reply, std::move(nameServers)};
}

std::vector<std::string> ScriptedNameServer::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void ScriptedNameServer::Serve() {
    for (;;) {
        pollfd entries[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = poll(entries, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || entries[1].revents != 0)
            return;
        std::vector<std::uint8_t> query(4096);
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const auto got = recvfrom(socket_, query.data(), query.size(), 0,
                                  reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (got < static_cast<long>(kHeaderSize))
            continue;
        query.resize(static_cast<std::size_t>(got));
        const auto reply = ReplyTo(query);
        if (!reply.empty())
            sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from),
                   fromLength);
    }
}

std::vector<std::uint8_t> ScriptedNameServer::ReplyTo(const std::vector<std::uint8_t> &query) {
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
    {
        std::lock_guard lock(mutex_);
        queries_.push_back(name + " " + std::to_string(type));
        const auto found = settings_.find(Lower(name));
        if (found != settings_.end())
            setting = found->second;
    }
    if (setting.reply == NameServerReply::Silence)
        return {};

    const bool delegation = setting.reply == NameServerReply::Delegation;
    const int code = setting.reply == NameServerReply::NameError       ? 3
                     : setting.reply == NameServerReply::ServerFailure ? 2
                                                                       : 0;
    std::vector<std::uint8_t> reply(query.begin(), query.begin() + 2);
    PutWord(reply, static_cast<std::uint16_t>(0x8180 | code));
    PutWord(reply, 1);
    PutWord(reply, delegation ? static_cast<std::uint16_t>(setting.nameServers.size()) : 0);
    PutWord(reply, 0);
    PutWord(reply, 0);
    reply.insert(reply.end(), query.begin() + kHeaderSize,
                 query.begin() + static_cast<long>(questionEnd));
    if (!delegation)
        return reply;
    for (const auto &server : setting.nameServers) {
        PutWord(reply, 0xC00C); // the question's name
        PutWord(reply, 2);      // NS
        PutWord(reply, 1);      // IN
        PutWord(reply, 0);
        PutWord(reply, 3600);
        std::vector<std::uint8_t> data;
        PutName(data, server);
        PutWord(reply, static_cast<std::uint16_t>(data.size()));
        reply.insert(reply.end(), data.begin(), data.end());
    }
    return reply;
}

} // namespace testsupport
