#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

// A TCP socket bound to 127.0.0.1 at a port the system picks, closed with the object. Bound
// alone it holds a port that refuses connections and that no one else can take; Listen() makes
// it accept them. Header-only, so that the benchmarks can use it without the test library.
class LoopbackSocket {
public:
    LoopbackSocket() : handle_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (handle_ < 0 ||
            ::bind(handle_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::getsockname(handle_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            Close();
            throw std::runtime_error("test socket: cannot bind to 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { Close(); }
    LoopbackSocket(const LoopbackSocket &) = delete;
    LoopbackSocket &operator=(const LoopbackSocket &) = delete;

    void Listen(int backlog) {
        if (::listen(handle_, backlog) != 0)
            throw std::runtime_error("test socket: cannot listen");
    }

    int Handle() const { return handle_; }
    int Port() const { return port_; }

private:
    void Close() {
        if (handle_ >= 0)
            ::close(handle_);
    }

    int handle_;
    int port_ = 0;
};

} // namespace testsupport
