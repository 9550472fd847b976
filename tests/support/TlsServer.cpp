#include "tests/support/TlsServer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLongestWait(30000);
constexpr std::chrono::milliseconds kCloseDrain(2000);

// Waits for events on socket; false when the server stops, the wait ends, or poll fails.
bool WaitFor(int socket, short events, int wake, std::chrono::milliseconds timeout) {
    pollfd entries[2] = {{socket, events, 0}, {wake, POLLIN, 0}};
    for (;;) {
        const int ready = poll(entries, 2, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && entries[1].revents == 0;
    }
}

std::string ErrorText() {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0)
        return "connection closed";
    const char *reason = ERR_reason_error_string(error);
    return reason != nullptr ? reason : "unknown error";
}

int ConnectBackend(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (socket < 0 || ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address)) {
        if (socket >= 0)
            close(socket);
        return -1;
    }
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket;
}

bool SendAll(int socket, const char *bytes, std::size_t length) {
    while (length > 0) {
        const auto sent = send(socket, bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

int RecordServerName(SSL *ssl, int *, void *) {
    auto *name = static_cast<std::string *>(SSL_get_app_data(ssl));
    const char *sent = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    if (name != nullptr && sent != nullptr)
        *name = sent;
    return SSL_TLSEXT_ERR_OK;
}

} // namespace

TlsServer::TlsServer(int backendPort, const std::string &chainPem, const std::string &keyPem,
                     TlsServerOptions options)
    : backendPort_(backendPort), options_(options) {
    // The server writes through OpenSSL's own socket calls; a client that has gone must not end
    // the test process.
    std::signal(SIGPIPE, SIG_IGN);
    context_ = SSL_CTX_new(TLS_server_method());
    if (context_ == nullptr)
        throw std::runtime_error("test TLS server: no context");
    BIO *chain = BIO_new_mem_buf(chainPem.data(), static_cast<int>(chainPem.size()));
    X509 *leaf = PEM_read_bio_X509(chain, nullptr, nullptr, nullptr);
    bool ok = leaf != nullptr && SSL_CTX_use_certificate(context_, leaf) == 1;
    X509_free(leaf);
    while (X509 *extra = PEM_read_bio_X509(chain, nullptr, nullptr, nullptr))
        SSL_CTX_add_extra_chain_cert(context_, extra);
    ERR_clear_error();
    BIO_free(chain);
    BIO *keyBio = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    ok = ok && key != nullptr && SSL_CTX_use_PrivateKey(context_, key) == 1;
    EVP_PKEY_free(key);
    BIO_free(keyBio);
    if (!ok) {
        SSL_CTX_free(context_);
        throw std::runtime_error("test TLS server: bad certificate or key");
    }
    if (options.maxProtocolVersion != 0) {
        SSL_CTX_set_security_level(context_, 0);
        SSL_CTX_set_min_proto_version(context_, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(context_, options.maxProtocolVersion);
    }
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_tlsext_servername_callback(context_, RecordServerName);

    listener_.Listen(64);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TlsServer::~TlsServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
    acceptThread_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto &worker : workers)
        worker.join();
    close(wake_);
    SSL_CTX_free(context_);
}

std::vector<std::string> TlsServer::ServerNames() const {
    std::lock_guard lock(mutex_);
    return serverNames_;
}

std::size_t TlsServer::Handshakes() const {
    std::lock_guard lock(mutex_);
    return handshakes_;
}

std::size_t TlsServer::ResumedHandshakes() const {
    std::lock_guard lock(mutex_);
    return resumed_;
}

std::vector<std::string> TlsServer::FailedHandshakes() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

bool TlsServer::WaitForEnded(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_ >= count; });
}

void TlsServer::AcceptLoop() {
    for (;;) {
        if (!WaitFor(listener_.Handle(), POLLIN, wake_, kLongestWait * 100))
            return;
        const int socket =
            accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0)
            continue;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, socket] {
            Serve(socket);
            close(socket);
            std::lock_guard endedLock(mutex_);
            ++ended_;
            changed_.notify_all();
        });
    }
}

void TlsServer::Serve(int socket) {
    SSL *ssl = SSL_new(context_);
    std::string serverName;
    SSL_set_app_data(ssl, &serverName);
    SSL_set_fd(ssl, socket);
    const auto deadline = Clock::now() + kLongestWait;
    bool done = false;
    std::string failure;
    while (!done) {
        const int result = SSL_accept(ssl);
        if (result == 1)
            break;
        const int error = SSL_get_error(ssl, result);
        const short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                             : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                             : 0;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (events == 0 || left.count() <= 0 || !WaitFor(socket, events, wake_, left)) {
            failure = events == 0 ? ErrorText() : "no handshake in time";
            done = true;
        }
    }
    {
        std::lock_guard lock(mutex_);
        serverNames_.push_back(serverName);
        if (done) {
            failures_.push_back(failure);
        } else {
            ++handshakes_;
            resumed_ += SSL_session_reused(ssl) == 1 ? 1 : 0;
        }
    }
    if (!done)
        Relay(ssl, socket);
    SSL_free(ssl);
}

void TlsServer::Relay(SSL *ssl, int client) {
    const int backend = ConnectBackend(backendPort_);
    if (backend < 0)
        return;
    // Sends plain bytes to the client through TLS; false once it has gone.
    auto sendToClient = [&](const char *bytes, int length) {
        while (length > 0) {
            const int sent = SSL_write(ssl, bytes, length);
            if (sent > 0) {
                bytes += sent;
                length -= sent;
                continue;
            }
            const int error = SSL_get_error(ssl, sent);
            const short events = error == SSL_ERROR_WANT_WRITE  ? POLLOUT
                                 : error == SSL_ERROR_WANT_READ ? POLLIN
                                                                : 0;
            if (events == 0 || !WaitFor(client, events, wake_, kLongestWait))
                return false;
        }
        return true;
    };
    bool clientOpen = true;
    char buffer[16384];
    for (;;) {
        // Whatever the client sent (already decrypted or still on the socket) goes on first.
        while (clientOpen) {
            const int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got > 0) {
                if (!SendAll(backend, buffer, static_cast<std::size_t>(got)))
                    clientOpen = false;
                continue;
            }
            if (SSL_get_error(ssl, got) != SSL_ERROR_WANT_READ) {
                clientOpen = false;
                shutdown(backend, SHUT_WR);
            }
            break;
        }
        pollfd entries[3] = {{backend, POLLIN, 0},
                             {client, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                             {wake_, POLLIN, 0}};
        const int ready = poll(entries, 3, static_cast<int>(kLongestWait.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || entries[2].revents != 0)
            break;
        if (entries[0].revents == 0)
            continue;
        const auto got = recv(backend, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (!sendToClient(buffer, static_cast<int>(got)))
                break;
            if (options_.ticketAfterReply && SSL_version(ssl) == TLS1_3_VERSION &&
                SSL_new_session_ticket(ssl) == 1)
                SSL_do_handshake(ssl);
            continue;
        }
        if (got < 0) {
            // The scripted server reset the connection: so does this one.
            const linger abortive{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        }
        // The scripted server closed: close the TLS session, then wait for the client to go.
        SSL_shutdown(ssl);
        shutdown(client, SHUT_WR);
        const auto until = Clock::now() + kCloseDrain;
        while (clientOpen && Clock::now() < until && WaitFor(client, POLLIN, wake_, kCloseDrain)) {
            const int read = SSL_read(ssl, buffer, sizeof buffer);
            if (read <= 0 && SSL_get_error(ssl, read) != SSL_ERROR_WANT_READ)
                clientOpen = false;
        }
        break;
    }
    close(backend);
}

ScriptedTlsServer::ScriptedTlsServer(const TrustedAuthority &trust, const std::string &host,
                                     TlsServerOptions options)
    : host(host), leaf(trust.Leaf({host})),
      tls(plain.Port(), leaf.certificatePem, leaf.keyPem, options) {}

std::string ScriptedTlsServer::Url(const std::string &target) const {
    return "https://" + host + ":" + std::to_string(tls.Port()) + target;
}

} // namespace testsupport
