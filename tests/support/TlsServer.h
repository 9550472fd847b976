#pragma once

#include "tests/support/LoopbackSocket.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

// A scripted TLS server for tests: TLS on 127.0.0.1 at a free port in front of a ScriptedServer.
// Each accepted connection makes its handshake with the given certificate chain, then its bytes
// travel in plain text to the scripted server and back, so every script (answers, drips,
// silence, a close, a reset) works over TLS unchanged. The server records the name each client
// sent (SNI) and each handshake that failed. Its destructor stops and joins every thread.
//
//     testsupport::ScriptedServer plain;
//     plain.Enqueue(testsupport::Respond(testsupport::HttpReply(200, "hello")));
//     testsupport::TlsServer tls(plain.Port(), leaf.certificatePem, leaf.keyPem);
//     ... GET https://rdap.test:<tls.Port()>/ through a LoopbackStack ...
//     EXPECT_EQ(tls.ServerNames().at(0), "rdap.test");
namespace testsupport {

struct TlsServerOptions {
    // The highest protocol version offered (an OpenSSL version number); 0 for the newest.
    int maxProtocolVersion = 0;
    // TLS 1.3: a new session ticket after every reply, so that an idle connection has a
    // handshake record waiting on it.
    bool ticketAfterReply = false;
};

class TlsServer {
public:
    // chainPem holds the server's certificate first, then any intermediates.
    TlsServer(int backendPort, const std::string &chainPem, const std::string &keyPem,
              TlsServerOptions options = {});
    ~TlsServer();
    TlsServer(const TlsServer &) = delete;
    TlsServer &operator=(const TlsServer &) = delete;

    int Port() const { return listener_.Port(); }

    // The name each client sent in its hello, in order of arrival ("" when it sent none).
    std::vector<std::string> ServerNames() const;
    // Handshakes that succeeded, and how many of them resumed an earlier session.
    std::size_t Handshakes() const;
    std::size_t ResumedHandshakes() const;
    // OpenSSL's reason for each handshake that failed.
    std::vector<std::string> FailedHandshakes() const;
    // Waits (at most timeout) until count connections have ended; false on time-out.
    bool WaitForEnded(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void AcceptLoop();
    void Serve(int socket);
    void Relay(ssl_st *ssl, int client);

    int backendPort_;
    TlsServerOptions options_;
    ssl_ctx_st *context_ = nullptr;
    LoopbackSocket listener_;
    int wake_ = -1;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> serverNames_;
    std::vector<std::string> failures_;
    std::size_t handshakes_ = 0;
    std::size_t resumed_ = 0;
    std::size_t ended_ = 0;
    std::vector<std::thread> workers_;
};

// The usual set-up of a TLS test: a scripted server behind TLS, with a certificate for host
// signed by trust.
struct ScriptedTlsServer {
    ScriptedTlsServer(const TrustedAuthority &trust, const std::string &host,
                      TlsServerOptions options = {});
    // "https://<host>:<port>" + target.
    std::string Url(const std::string &target) const;

    std::string host;
    TestCertificate leaf;
    ScriptedServer plain;
    TlsServer tls;
};

} // namespace testsupport
