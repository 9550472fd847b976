// A GET of a 1 KiB page over a fresh connection from a server on 127.0.0.1: the program's own
// HTTP client against libcurl with a fresh easy handle per request, in the same run.
#include "net/IdHTTP.h"
#include "tests/support/LoopbackSocket.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// Serves one connection at a time: reads the request head, answers, and (for keep-alive
// replies) waits until the client closes.
class PageServer {
public:
    explicit PageServer(bool closeAfterReply) : closeAfterReply_(closeAfterReply) {
        const std::string body(1024, 'p');
        reply_ = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1024\r\n";
        reply_ += closeAfterReply ? "Connection: close\r\n\r\n" : "\r\n";
        reply_ += body;
        listener_.Listen(64);
        wake_ = eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
    }
    ~PageServer() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
        thread_.join();
        close(wake_);
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(listener_.Port()) + "/page";
    }

private:
    bool Wait(int socket) {
        pollfd entries[2] = {{socket, POLLIN, 0}, {wake_, POLLIN, 0}};
        return poll(entries, 2, 5000) > 0 && entries[1].revents == 0;
    }
    void Run() {
        while (Wait(listener_.Handle())) {
            const int connection = accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            Serve(connection);
            close(connection);
        }
    }
    void Serve(int connection) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            if (!Wait(connection))
                return;
            const auto got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        if (send(connection, reply_.data(), reply_.size(), MSG_NOSIGNAL) < 0)
            return;
        if (closeAfterReply_)
            shutdown(connection, SHUT_WR);
        while (Wait(connection) && recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
    }

    bool closeAfterReply_;
    std::string reply_;
    testsupport::LoopbackSocket listener_;
    int wake_ = -1;
    std::thread thread_;
};

std::size_t Collect(char *data, std::size_t size, std::size_t count, void *target) {
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

void OwnClient(benchmark::State &state) {
    PageServer server(state.range(0) != 0);
    const std::string url = server.Url();
    for (auto _ : state) {
        net::TIdHTTP client;
        const std::string page = client.FetchText(url);
        if (page.size() != 1024)
            state.SkipWithError("short page");
        benchmark::DoNotOptimize(page);
    }
}

void Curl(benchmark::State &state) {
    PageServer server(state.range(0) != 0);
    const std::string url = server.Url();
    for (auto _ : state) {
        std::string page;
        CURL *handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &page);
        if (curl_easy_perform(handle) != CURLE_OK || page.size() != 1024)
            state.SkipWithError("curl failed");
        curl_easy_cleanup(handle);
        benchmark::DoNotOptimize(page);
    }
}

// Argument 1: the server closes after its reply; 0: it keeps the connection open.
BENCHMARK(OwnClient)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(Curl)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
