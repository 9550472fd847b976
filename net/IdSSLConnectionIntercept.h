#pragma once

#include "net/IdException.h"
#include "net/IdTCPConnection.h"

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>

struct ssl_ctx_st;
struct ssl_st;
struct bio_st;

// TLS for the HTTP client, on OpenSSL: the secure-connection intercept that an https address
// needs. TLS 1.2 or later, SNI, the peer's chain and host name always verified; a failed
// verification raises EIdTLSVerifyError, never a fallback. The bytes travel through the
// connection's own socket calls, so TLS works over any socket layer and every read is bounded
// by the connection's time-outs.
namespace net {

// A TLS failure other than a certificate that does not verify: a handshake the peer breaks
// off, a protocol the peer does not speak, a trust store that cannot be read.
class EIdTLSError : public EIdException {
public:
    using EIdException::EIdException;
};

// The peer's certificate chain or host name did not verify; the message names the host and
// OpenSSL's reason ("certificate has expired", "hostname mismatch", ...).
class EIdTLSVerifyError : public EIdTLSError {
public:
    using EIdTLSError::EIdTLSError;
};

struct TlsSettings {
    // Trusted certificates in PEM: a file, and/or a folder in OpenSSL's hashed layout. With
    // both empty, OpenSSL's default paths, where SSL_CERT_FILE and SSL_CERT_DIR apply.
    std::string CAFile;
    std::string CADirectory;
};

// What every TLS connection of a run shares: the protocol floor and the trust store, loaded
// once. Safe to share between threads once made.
class TlsClientContext {
public:
    // Raises EIdTLSError when the trusted certificates cannot be loaded.
    explicit TlsClientContext(const TlsSettings &settings = {});
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext &) = delete;
    TlsClientContext &operator=(const TlsClientContext &) = delete;

    ssl_ctx_st *Handle() const { return context_; }

private:
    ssl_ctx_st *context_ = nullptr;
};

// One connection's TLS session. Assign it to a TIdHTTP with SetIntercept; an https address then
// enables it, a plain http address disables it. The host name verified (and sent as SNI) is
// the client's Host, so a connection route that sends it elsewhere still checks the name the
// address gave.
class TIdSSLConnectionIntercept : public TIdConnectionIntercept {
public:
    explicit TIdSSLConnectionIntercept(std::shared_ptr<const TlsClientContext> context);
    ~TIdSSLConnectionIntercept() override;

    // The handshake, bounded by the connection's ReadTimeout as a whole and by what is left of its
    // exchange.
    void Connect(TIdTCPConnection &connection) override;
    void Disconnect(TIdTCPConnection &connection) override;
    int Receive(TIdTCPConnection &connection, void *buffer, int length, int timeoutMs) override;
    int Send(TIdTCPConnection &connection, const void *buffer, int length) override;

    // The protocol of the session now open ("TLSv1.3"), empty without one.
    std::string Protocol() const;
    // The host name of the last handshake.
    const std::string &PeerName() const { return peerName_; }

    // The socket calls behind OpenSSL's reads and writes; called from its I/O callbacks only.
    int ReadRaw(bio_st *bio, char *buffer, int length);
    int WriteRaw(bio_st *bio, const char *buffer, int length);

private:
    void StartOperation(int timeoutMs);
    void RethrowPending();
    void FreeSession();
    [[noreturn]] void FailHandshake(int result);
    [[noreturn]] void FailTransfer(const char *what);

    std::shared_ptr<const TlsClientContext> context_;
    ssl_st *ssl_ = nullptr;
    TIdTCPConnection *connection_ = nullptr;
    std::string peerName_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    bool timedOut_ = false;
    int socketError_ = 0;
    std::exception_ptr pending_;
};

} // namespace net
