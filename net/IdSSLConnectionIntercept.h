#pragma once

#include "net/IdException.h"
#include "net/IdTCPConnection.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

struct ssl_ctx_st;
struct ssl_session_st;

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

// What every TLS connection of a run shares: the protocol floor, the trust store, loaded once,
// and the sessions servers offered for resuming (a few per host and port, each used once, as
// TLS 1.3 asks), so that a new connection to a server already met skips the certificate
// exchange. Safe to share between threads once made.
class TlsClientContext {
public:
    // Raises EIdTLSError when the trusted certificates cannot be loaded.
    explicit TlsClientContext(const TlsSettings &settings = {});
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext &) = delete;
    TlsClientContext &operator=(const TlsClientContext &) = delete;

    ssl_ctx_st *Handle() const { return context_; }

    // The key sessions are kept under: the host name as verified, and the port.
    static std::string SessionKey(const std::string &host, int port);
    // The newest session kept for key, which the caller now owns (SSL_SESSION_free); null when
    // none is kept.
    ssl_session_st *TakeSession(const std::string &key) const;
    // Keeps session (taking over the caller's reference) for a later connection to key; the
    // oldest of key, or of a full store, makes room.
    void KeepSession(const std::string &key, ssl_session_st *session) const;
    std::size_t KeptSessions() const;

private:
    struct KeptSession {
        std::string key;
        ssl_session_st *session;
    };
    void DropOldestLocked(const std::string *key) const;

    ssl_ctx_st *context_ = nullptr;
    mutable std::mutex mutex_;
    // Oldest first.
    mutable std::deque<KeptSession> sessions_;
};

class TlsChannel;

// One connection's TLS session. Assign it to a TIdHTTP with SetIntercept; an https address then
// enables it, a plain http address disables it. The host name verified (and sent as SNI) is
// the client's Host, so a connection route that sends it elsewhere still checks the name the
// address gave. An open session can be detached to wait idle with its socket in the run's
// connection pool and adopted by another intercept of the same context for the same host.
class TIdSSLConnectionIntercept : public TIdConnectionIntercept {
public:
    explicit TIdSSLConnectionIntercept(std::shared_ptr<const TlsClientContext> context);
    ~TIdSSLConnectionIntercept() override;

    // The handshake, bounded by the connection's ReadTimeout as a whole and by what is left of its
    // exchange; it offers a session kept for the host and port when there is one.
    void Connect(TIdTCPConnection &connection) override;
    void Disconnect(TIdTCPConnection &connection) override;
    int Receive(TIdTCPConnection &connection, void *buffer, int length, int timeoutMs) override;
    int Send(TIdTCPConnection &connection, const void *buffer, int length) override;
    // Null unless the handshake is done and no decoded byte waits unread.
    std::unique_ptr<TIdInterceptState> Detach(TIdTCPConnection &connection) override;
    // Only a session of this intercept's context, made for connection's Host and Port.
    bool Adopt(TIdTCPConnection &connection, std::unique_ptr<TIdInterceptState> state) override;

    // The protocol of the session now open ("TLSv1.3"), empty without one.
    std::string Protocol() const;
    // Whether the session now open was resumed rather than made with a full handshake.
    bool SessionResumed() const;
    // The host name of the session now open (or of the last handshake).
    const std::string &PeerName() const { return peerName_; }

private:
    std::shared_ptr<const TlsClientContext> context_;
    std::unique_ptr<TlsChannel> channel_;
    std::string peerName_;
};

} // namespace net
