#include "tests/support/ScriptedServer.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <utility>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

// No wait of the server goes beyond this, whatever the script says.
constexpr Millis kLongestWait(30000);
constexpr Millis kCloseDrain(2000);
constexpr std::size_t kLongestRequest = 1 << 20;

enum class Wait { Ready, TimedOut, Stopped };

Wait WaitFor(int socket, short events, int wake, Millis timeout) {
    pollfd entries[2] = {{socket, events, 0}, {wake, POLLIN, 0}};
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        const int ready = poll(entries, 2, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::Stopped;
        if (entries[1].revents != 0)
            return Wait::Stopped;
        if (ready == 0)
            return Wait::TimedOut;
        return Wait::Ready;
    }
}

std::vector<std::size_t> RandomCuts(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::size_t> sizes;
    std::size_t left = length;
    while (left > 0) {
        const std::size_t most = std::min<std::size_t>(left, 16);
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, most)(random);
        sizes.push_back(size);
        left -= size;
    }
    return sizes;
}

std::string ReadHeader(const std::string &request, const std::string &name) {
    std::size_t start = request.find("\r\n");
    while (start != std::string::npos && start + 2 < request.size()) {
        const std::size_t end = request.find("\r\n", start + 2);
        const std::string line = request.substr(
            start + 2, end == std::string::npos ? std::string::npos : end - start - 2);
        const auto colon = line.find(':');
        if (colon != std::string::npos && colon == name.size() &&
            std::equal(name.begin(), name.end(), line.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
        start = end;
    }
    return {};
}

std::string RequestTarget(const std::string &request) {
    const auto first = request.find(' ');
    if (first == std::string::npos)
        return {};
    const auto second = request.find(' ', first + 1);
    return request.substr(first + 1,
                          second == std::string::npos ? std::string::npos : second - first - 1);
}

} // namespace

struct ScriptedServer::Connection {
    int socket;
    int wake;
    bool open = true;
    // Bytes received and not yet taken as a request head.
    std::string received;
    std::string lastRequest;
    // Between a request read and the close (or silence) that ends its answer.
    bool answering = false;
};

Step ReadRequest() {
    return {Step::Kind::ReadRequest, {}, {}, Millis(0)};
}
Step ReadLine() {
    return {Step::Kind::ReadLine, {}, {}, Millis(0)};
}
Step Send(std::string bytes) {
    return {Step::Kind::Send, std::move(bytes), {}, Millis(0)};
}
Step SendPieces(std::string bytes, std::vector<std::size_t> pieceSizes, Millis gap) {
    return {Step::Kind::Send, std::move(bytes), std::move(pieceSizes), gap};
}
Step SendCut(std::string bytes, unsigned seed, Millis gap) {
    auto cuts = RandomCuts(bytes.size(), seed);
    return SendPieces(std::move(bytes), std::move(cuts), gap);
}
Step Drip(std::string bytes, Millis interval) {
    std::vector<std::size_t> ones(bytes.size(), 1);
    return SendPieces(std::move(bytes), std::move(ones), interval);
}
Step Pause(Millis length) {
    return {Step::Kind::Pause, {}, {}, length};
}
Step Silent() {
    return {Step::Kind::Silent, {}, {}, Millis(0)};
}
Step Close() {
    return {Step::Kind::Close, {}, {}, Millis(0)};
}
Step Reset() {
    return {Step::Kind::Reset, {}, {}, Millis(0)};
}
Step SendForever(std::string unit) {
    return {Step::Kind::SendForever, std::move(unit), {}, Millis(0)};
}
Step Hold() {
    return {Step::Kind::Hold, {}, {}, Millis(0)};
}

Script AfterRequest(const Script &afterRequest) {
    Script script{ReadRequest()};
    script.insert(script.end(), afterRequest.begin(), afterRequest.end());
    return script;
}
Script Respond(std::string reply) {
    return {ReadRequest(), Send(std::move(reply)), Close()};
}
Script RespondKeepAlive(std::string reply) {
    return {ReadRequest(), Send(std::move(reply)), Silent()};
}

std::string ReasonPhrase(int status) {
    static const std::map<int, std::string> reasons{{100, "Continue"},
                                                    {200, "OK"},
                                                    {204, "No Content"},
                                                    {301, "Moved Permanently"},
                                                    {302, "Found"},
                                                    {303, "See Other"},
                                                    {304, "Not Modified"},
                                                    {307, "Temporary Redirect"},
                                                    {400, "Bad Request"},
                                                    {401, "Unauthorized"},
                                                    {403, "Forbidden"},
                                                    {404, "Not Found"},
                                                    {500, "Internal Server Error"},
                                                    {503, "Service Unavailable"}};
    const auto found = reasons.find(status);
    return found == reasons.end() ? "Unknown" : found->second;
}

std::string HttpReply(int status, std::string_view body, std::string_view extraHeaders) {
    return HttpKeepAliveReply(status, body,
                              std::string("Connection: close\r\n").append(extraHeaders));
}

std::string HttpKeepAliveReply(int status, std::string_view body, std::string_view extraHeaders) {
    std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    reply += extraHeaders;
    reply += "\r\n";
    reply += body;
    return reply;
}

ScriptedServer::ScriptedServer() {
    default_ = Respond(HttpReply(404, ""));
    listener_.Listen(128);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        throw std::runtime_error("test server: no wake-up event");
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
    acceptThread_.join();
    Reap(true);
    close(wake_);
}

void ScriptedServer::Enqueue(Script script) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(script));
}

void ScriptedServer::KeepRoutedConnections() {
    std::lock_guard lock(mutex_);
    keepRouted_ = true;
}

void ScriptedServer::SetDefault(Script script) {
    std::lock_guard lock(mutex_);
    default_ = std::move(script);
}

void ScriptedServer::Answer(const std::string &host, const std::string &target, int status,
                            const std::string &body, const std::string &extraHeaders) {
    Route(host, target, {Send(HttpReply(status, body, extraHeaders)), Close()});
}

void ScriptedServer::Route(const std::string &host, const std::string &target,
                           Script afterRequest) {
    std::lock_guard lock(mutex_);
    routes_[{host, target}] = std::move(afterRequest);
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::chrono::steady_clock::time_point> ScriptedServer::RequestTimes() const {
    std::lock_guard lock(mutex_);
    return requestTimes_;
}

std::size_t ScriptedServer::Accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::size_t ScriptedServer::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool ScriptedServer::WaitForFinished(std::size_t count, Millis timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finished_ >= count; });
}

std::size_t ScriptedServer::Held() const {
    std::lock_guard lock(mutex_);
    return held_;
}

std::size_t ScriptedServer::MostHeldAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostHeld_;
}

bool ScriptedServer::WaitForHeld(std::size_t count, Millis timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_ >= count; });
}

void ScriptedServer::Release(std::size_t count) {
    {
        std::lock_guard lock(mutex_);
        releases_ += count;
    }
    changed_.notify_all();
}

bool ScriptedServer::HoldUntilReleased() {
    std::unique_lock lock(mutex_);
    mostHeld_ = std::max(mostHeld_, ++held_);
    changed_.notify_all();
    changed_.wait_for(lock, kLongestWait, [&] { return releases_ > 0 || stopping_; });
    --held_;
    changed_.notify_all();
    if (releases_ == 0)
        return false;
    --releases_;
    return true;
}

void ScriptedServer::AcceptLoop() {
    for (;;) {
        if (WaitFor(listener_.Handle(), POLLIN, wake_, kLongestWait * 100) == Wait::Stopped)
            return;
        const int socket =
            accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0)
            continue;
        const int on = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Reap(false);
        // The script is chosen here, in order of arrival, not when the thread gets to run.
        bool route = false;
        Script script = NextScript(route);
        std::lock_guard lock(mutex_);
        ++accepted_;
        auto done = std::make_shared<bool>(false);
        workers_.push_back({std::thread([this, socket, done, route, script] {
                                Serve(socket, route, script);
                                std::lock_guard finishedLock(mutex_);
                                *done = true;
                                ++finished_;
                                changed_.notify_all();
                            }),
                            done});
    }
}

void ScriptedServer::Reap(bool all) {
    std::vector<Worker> ended;
    {
        std::lock_guard lock(mutex_);
        auto keep = std::stable_partition(workers_.begin(), workers_.end(),
                                          [&](const Worker &w) { return !all && !*w.done; });
        std::move(keep, workers_.end(), std::back_inserter(ended));
        workers_.erase(keep, workers_.end());
    }
    for (auto &worker : ended)
        worker.thread.join();
}

Script ScriptedServer::NextScript(bool &route) {
    std::lock_guard lock(mutex_);
    route = false;
    if (queueHead_ < queue_.size())
        return queue_[queueHead_++];
    if (!routes_.empty()) {
        route = true;
        return {};
    }
    return default_;
}

Script ScriptedServer::RouteFor(const std::string &request) const {
    std::string host = ReadHeader(request, "Host");
    const std::string target = RequestTarget(request);
    std::lock_guard lock(mutex_);
    for (const auto &key :
         {std::pair{host, target}, std::pair{host, std::string("*")},
          std::pair{std::string("*"), target}, std::pair{std::string("*"), std::string("*")}}) {
        const auto found = routes_.find(key);
        if (found != routes_.end())
            return found->second;
    }
    return {Send(HttpReply(404, "")), Close()};
}

void ScriptedServer::Serve(int socket, bool route, Script script) {
    Connection connection{socket, wake_, true, {}, {}, false};
    if (route)
        ServeRoutes(connection);
    else
        RunScript(connection, script);
    if (connection.open)
        RunScript(connection, {Close()});
    EndAnswering(connection);
}

void ScriptedServer::ReadUntil(Connection &connection, std::string_view terminator) {
    std::size_t end = std::string::npos;
    while ((end = connection.received.find(terminator)) == std::string::npos &&
           connection.received.size() < kLongestRequest && ReadMore(connection, kLongestWait)) {
    }
    const std::size_t length =
        end == std::string::npos ? connection.received.size() : end + terminator.size();
    connection.lastRequest = connection.received.substr(0, length);
    // The next request on the same connection starts after this one.
    connection.received.erase(0, length);
    std::lock_guard lock(mutex_);
    requests_.push_back(connection.lastRequest);
    requestTimes_.push_back(std::chrono::steady_clock::now());
    if (!std::exchange(connection.answering, true))
        mostAnswering_ = std::max(mostAnswering_, ++answering_);
}

void ScriptedServer::EndAnswering(Connection &connection) {
    std::lock_guard lock(mutex_);
    if (std::exchange(connection.answering, false))
        --answering_;
}

std::size_t ScriptedServer::MostAnsweringAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostAnswering_;
}

void ScriptedServer::ServeRoutes(Connection &connection) {
    bool keep = false;
    do {
        RunScript(connection, {ReadRequest()});
        RunScript(connection, RouteFor(connection.lastRequest));
        {
            std::lock_guard lock(mutex_);
            keep = keepRouted_;
        }
        // A client that closes its kept connection ends it without another request.
    } while (keep && connection.open &&
             (!connection.received.empty() || ReadMore(connection, kLongestWait)));
}

bool ScriptedServer::ReadMore(Connection &connection, Millis timeout) {
    if (WaitFor(connection.socket, POLLIN, connection.wake, timeout) != Wait::Ready)
        return false;
    char buffer[4096];
    const auto got = recv(connection.socket, buffer, sizeof buffer, 0);
    if (got <= 0)
        return got < 0 && errno == EAGAIN;
    connection.received.append(buffer, static_cast<std::size_t>(got));
    return true;
}

void ScriptedServer::RunScript(Connection &connection, const Script &script) {
    const int socket = connection.socket;
    const int wake = connection.wake;
    auto sendAll = [&](std::string_view bytes) {
        while (!bytes.empty()) {
            if (WaitFor(socket, POLLOUT, wake, kLongestWait) != Wait::Ready)
                return false;
            const auto sent = send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (sent < 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    };
    // Reads what the client sends; false once it has closed or the server stops.
    auto readSome = [&](Millis timeout) { return ReadMore(connection, timeout); };
    auto pause = [&](Millis length) {
        pollfd entry{wake, POLLIN, 0};
        return poll(&entry, 1, static_cast<int>(length.count())) == 0;
    };

    for (const Step &step : script) {
        if (!connection.open)
            return;
        switch (step.kind) {
        case Step::Kind::ReadRequest:
            ReadUntil(connection, "\r\n\r\n");
            break;
        case Step::Kind::ReadLine:
            ReadUntil(connection, "\n");
            break;
        case Step::Kind::Send: {
            std::string_view rest = step.bytes;
            for (std::size_t size : step.pieces) {
                if (rest.empty())
                    break;
                size = std::min(size, rest.size());
                if (!sendAll(rest.substr(0, size)) || !pause(step.delay))
                    return;
                rest.remove_prefix(size);
            }
            if (!sendAll(rest))
                return;
            break;
        }
        case Step::Kind::Pause:
            if (!pause(step.delay))
                return;
            break;
        case Step::Kind::Silent:
            EndAnswering(connection);
            while (readSome(kLongestWait)) {
            }
            break;
        case Step::Kind::Hold:
            if (!HoldUntilReleased())
                return;
            break;
        case Step::Kind::SendForever:
            while (sendAll(step.bytes)) {
            }
            break;
        case Step::Kind::Close: {
            EndAnswering(connection);
            shutdown(socket, SHUT_WR);
            // Reading on until the client closes too keeps unread request bytes from turning
            // the close into a reset.
            const auto deadline = Clock::now() + kCloseDrain;
            while (Clock::now() < deadline && readSome(kCloseDrain)) {
            }
            close(socket);
            connection.open = false;
            break;
        }
        case Step::Kind::Reset: {
            EndAnswering(connection);
            const linger abortive{1, 0};
            setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            close(socket);
            connection.open = false;
            break;
        }
        }
    }
}

} // namespace testsupport
