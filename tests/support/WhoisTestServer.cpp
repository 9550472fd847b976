#include "tests/support/WhoisTestServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace registrytest {
namespace {

// No wait of the server goes beyond this, whatever the client does.
constexpr int kLongestWaitMs = 10000;
constexpr std::size_t kLongestQuery = 4096;

} // namespace

WhoisReplyScript Answer(std::string text) {
    return {WhoisReplyScript::Kind::Answer, std::move(text)};
}
WhoisReplyScript Silent() {
    return {WhoisReplyScript::Kind::Silent, {}};
}
WhoisReplyScript CloseAtOnce() {
    return {WhoisReplyScript::Kind::CloseAtOnce, {}};
}

WhoisTestServer::WhoisTestServer() {
    listener_.Listen(64);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        throw std::runtime_error("WHOIS test server: no wake-up event");
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

WhoisTestServer::~WhoisTestServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
    acceptThread_.join();
    for (auto &worker : workers_)
        worker.join();
    close(wake_);
}

void WhoisTestServer::Enqueue(WhoisReplyScript reply) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(reply));
}

void WhoisTestServer::AnswerQuery(const std::string &query, std::string text) {
    std::lock_guard lock(mutex_);
    answers_.insert_or_assign(query, std::move(text));
}

std::vector<std::string> WhoisTestServer::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

std::vector<std::chrono::steady_clock::time_point> WhoisTestServer::Arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
}

std::size_t WhoisTestServer::MostAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostAtOnce_;
}

bool WhoisTestServer::WaitFor(int socket, short events) const {
    pollfd entries[2] = {{socket, events, 0}, {wake_, POLLIN, 0}};
    const int ready = poll(entries, 2, kLongestWaitMs);
    return ready > 0 && entries[1].revents == 0;
}

void WhoisTestServer::AcceptLoop() {
    while (WaitFor(listener_.Handle(), POLLIN)) {
        const int socket = accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        std::lock_guard lock(mutex_);
        WhoisReplyScript reply;
        if (!queue_.empty()) {
            reply = std::move(queue_.front());
            queue_.pop_front();
        }
        workers_.emplace_back([this, socket, reply] { Serve(socket, reply); });
    }
}

void WhoisTestServer::Serve(int socket, WhoisReplyScript reply) {
    char buffer[4096];
    if (reply.kind != WhoisReplyScript::Kind::CloseAtOnce) {
        std::string query;
        while (query.find('\n') == std::string::npos && query.size() < kLongestQuery &&
               WaitFor(socket, POLLIN)) {
            const auto got = recv(socket, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            query.append(buffer, static_cast<std::size_t>(got));
        }
        std::lock_guard lock(mutex_);
        if (const auto answer = answers_.find(query.substr(0, query.find('\r')));
            answer != answers_.end())
            reply = Answer(answer->second);
        queries_.push_back(query);
        arrivals_.push_back(std::chrono::steady_clock::now());
        mostAtOnce_ = std::max(mostAtOnce_, ++answering_);
    }
    if (reply.kind == WhoisReplyScript::Kind::Answer) {
        std::string_view rest = reply.text;
        while (!rest.empty() && WaitFor(socket, POLLOUT)) {
            const auto sent = send(socket, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    if (reply.kind != WhoisReplyScript::Kind::CloseAtOnce) {
        std::lock_guard lock(mutex_);
        --answering_;
    }
    if (reply.kind != WhoisReplyScript::Kind::Silent)
        shutdown(socket, SHUT_WR);
    // Reading on until the client closes keeps unread bytes from turning the close into a reset.
    while (WaitFor(socket, POLLIN) && recv(socket, buffer, sizeof buffer, 0) > 0) {
    }
    close(socket);
}

} // namespace registrytest
