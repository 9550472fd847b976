#include "net/IdSSLConnectionIntercept.h"

#include "base/AsciiCase.h"
#include "net/IdStack.h"
#include "net/IdTCPClient.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>

namespace net {

// The TLS state of one connection and the socket calls behind it: what an intercept holds while
// the connection is in use, and what waits in the pool with its socket while it is idle. Its
// address never changes, so OpenSSL's I/O callbacks find it from the BIO wherever it goes.
class TlsChannel : public TIdInterceptState {
public:
    TlsChannel(std::shared_ptr<const TlsClientContext> context, std::string peerName,
               std::string sessionKey);
    ~TlsChannel() override;
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    bool StillIdle(TIdSocketHandle &socket) override;

    // Raises EIdTLSVerifyError, EIdTLSError or a socket error; the channel is then of no use.
    void Handshake(TIdSocketHandle &socket, int timeoutMs);
    // As TIdConnectionIntercept::Receive.
    int Receive(void *buffer, int length, int timeoutMs);
    int Send(const void *buffer, int length, int timeoutMs);
    // Whether the session can wait idle: its handshake done and nothing decoded left unread.
    bool Keepable() const;
    void Attach(TIdSocketHandle *socket) { socket_ = socket; }

    const TlsClientContext &Context() const { return *context_; }
    const std::string &PeerName() const { return peerName_; }
    const std::string &SessionKey() const { return sessionKey_; }
    SSL *Handle() const { return ssl_; }

    // The socket calls behind OpenSSL's reads and writes; called from its I/O callbacks only.
    int ReadRaw(BIO *bio, char *buffer, int length);
    int WriteRaw(const char *buffer, int length);

private:
    using Clock = std::chrono::steady_clock;

    void StartOperation(int timeoutMs);
    void RethrowPending();
    [[noreturn]] void FailHandshake(int result);
    [[noreturn]] void FailTransfer(const char *what);

    std::shared_ptr<const TlsClientContext> context_;
    std::string peerName_;
    std::string sessionKey_;
    SSL *ssl_ = nullptr;
    TIdSocketHandle *socket_ = nullptr;
    std::optional<Clock::time_point> deadline_;
    bool timedOut_ = false;
    int socketError_ = 0;
    std::exception_ptr pending_;
    // A handshake, read or write failed: the session is not offered again.
    bool failed_ = false;
};

namespace {

// Sessions kept for resuming: a few per server (one per connection at once), and a bound in all
// so that a run over many RDAP hosts keeps no more than a few hundred small objects.
constexpr std::size_t kSessionsPerKey = 4;
constexpr std::size_t kSessionsInAll = 256;
// An idle session may have a few handshake records waiting (session tickets); more reads than
// this without coming to an end is not an idle connection.
constexpr int kIdleRecordReads = 8;

// The text of OpenSSL's oldest queued error, or fallback when there is none.
std::string OpenSslErrorText(const std::string &fallback) {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0)
        return fallback;
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    const char *reason = ERR_reason_error_string(error);
    return reason != nullptr ? std::string(reason) : std::string(text);
}

TlsChannel *Owner(BIO *bio) {
    return static_cast<TlsChannel *>(BIO_get_data(bio));
}

int BioWrite(BIO *bio, const char *buffer, int length) {
    BIO_clear_retry_flags(bio);
    return Owner(bio)->WriteRaw(buffer, length);
}

int BioRead(BIO *bio, char *buffer, int length) {
    BIO_clear_retry_flags(bio);
    return Owner(bio)->ReadRaw(bio, buffer, length);
}

long BioControl(BIO *, int command, long, void *) {
    // Writes go straight to the socket, so there is never anything to flush.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO *bio) {
    BIO_set_init(bio, 1);
    return 1;
}

int BioDestroy(BIO *) {
    return 1;
}

// One method table for the process: it holds only function pointers and never changes.
BIO_METHOD *ConnectionBioMethod() {
    static BIO_METHOD *method = [] {
        BIO_METHOD *made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "nimbrel connection");
        BIO_meth_set_write(made, BioWrite);
        BIO_meth_set_read(made, BioRead);
        BIO_meth_set_ctrl(made, BioControl);
        BIO_meth_set_create(made, BioCreate);
        BIO_meth_set_destroy(made, BioDestroy);
        return made;
    }();
    return method;
}

// A session the server offered (after a handshake, or later as a TLS 1.3 ticket): kept in the
// channel's context for the next connection to the same host and port.
int KeepNewSession(SSL *ssl, SSL_SESSION *session) {
    const auto *channel = static_cast<const TlsChannel *>(SSL_get_app_data(ssl));
    if (channel == nullptr || SSL_SESSION_is_resumable(session) != 1)
        return 0;
    // A copy: the connection goes on with its own, and no session object is ever shared by
    // two connections on two threads.
    if (SSL_SESSION *copy = SSL_SESSION_dup(session))
        channel->Context().KeepSession(channel->SessionKey(), copy);
    return 0;
}

std::string HostOf(TIdTCPConnection &connection) {
    if (auto *client = dynamic_cast<TIdTCPClient *>(&connection))
        return client->Host;
    return connection.Socket().PeerIP();
}

int PortOf(TIdTCPConnection &connection) {
    if (auto *client = dynamic_cast<TIdTCPClient *>(&connection))
        return client->Port;
    return connection.Socket().PeerPort();
}

} // namespace

TlsClientContext::TlsClientContext(const TlsSettings &settings) {
    context_ = SSL_CTX_new(TLS_client_method());
    if (context_ == nullptr)
        throw EIdTLSError("TLS cannot start: " + OpenSslErrorText("no TLS context."));
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    // Many servers close without a TLS close message; the HTTP framing tells a cut body.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE);
    // Sessions are kept here, by host and port, not in OpenSSL's store (which keys a client's
    // sessions by nothing a later connection could find them by).
    SSL_CTX_set_session_cache_mode(context_,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context_, KeepNewSession);
    const bool ownStore = !settings.CAFile.empty() || !settings.CADirectory.empty();
    const int loaded =
        ownStore ? SSL_CTX_load_verify_locations(
                       context_, settings.CAFile.empty() ? nullptr : settings.CAFile.c_str(),
                       settings.CADirectory.empty() ? nullptr : settings.CADirectory.c_str())
                 : SSL_CTX_set_default_verify_paths(context_);
    if (loaded != 1) {
        const std::string where =
            ownStore ? (settings.CAFile.empty() ? settings.CADirectory : settings.CAFile)
                     : std::string("OpenSSL's default paths");
        const std::string reason = OpenSslErrorText("unreadable.");
        SSL_CTX_free(context_);
        throw EIdTLSError("The trusted certificates in " + where + " cannot be loaded: " + reason);
    }
}

TlsClientContext::~TlsClientContext() {
    for (const KeptSession &kept : sessions_)
        SSL_SESSION_free(kept.session);
    SSL_CTX_free(context_);
}

std::string TlsClientContext::SessionKey(const std::string &host, int port) {
    return base::AsciiLower(host) + ":" + std::to_string(port);
}

ssl_session_st *TlsClientContext::TakeSession(const std::string &key) const {
    std::lock_guard lock(mutex_);
    const auto newest = std::find_if(sessions_.rbegin(), sessions_.rend(),
                                     [&](const KeptSession &kept) { return kept.key == key; });
    if (newest == sessions_.rend())
        return nullptr;
    SSL_SESSION *session = newest->session;
    sessions_.erase(std::next(newest).base());
    return session;
}

void TlsClientContext::KeepSession(const std::string &key, ssl_session_st *session) const {
    std::lock_guard lock(mutex_);
    const auto ofKey = static_cast<std::size_t>(
        std::count_if(sessions_.begin(), sessions_.end(),
                      [&](const KeptSession &kept) { return kept.key == key; }));
    if (ofKey >= kSessionsPerKey)
        DropOldestLocked(&key);
    if (sessions_.size() >= kSessionsInAll)
        DropOldestLocked(nullptr);
    sessions_.push_back({key, session});
}

std::size_t TlsClientContext::KeptSessions() const {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

void TlsClientContext::DropOldestLocked(const std::string *key) const {
    const auto oldest =
        std::find_if(sessions_.begin(), sessions_.end(),
                     [&](const KeptSession &kept) { return key == nullptr || kept.key == *key; });
    if (oldest == sessions_.end())
        return;
    SSL_SESSION_free(oldest->session);
    sessions_.erase(oldest);
}

TlsChannel::TlsChannel(std::shared_ptr<const TlsClientContext> context, std::string peerName,
                       std::string sessionKey)
    : context_(std::move(context)), peerName_(std::move(peerName)),
      sessionKey_(std::move(sessionKey)) {
    ssl_ = SSL_new(context_->Handle());
    BIO *bio = ssl_ != nullptr ? BIO_new(ConnectionBioMethod()) : nullptr;
    if (bio == nullptr) {
        SSL_free(ssl_);
        throw EIdTLSError("TLS cannot start: " + OpenSslErrorText("out of memory."));
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_app_data(ssl_, this);
}

TlsChannel::~TlsChannel() {
    // The socket is closed with the connection, so no close message is sent. Freed without one,
    // OpenSSL would take the session for a broken one and spoil it for resuming; only a
    // session that did fail is left to that.
    if (!failed_ && SSL_is_init_finished(ssl_) == 1)
        SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(ssl_);
}

void TlsChannel::StartOperation(int timeoutMs) {
    ERR_clear_error();
    timedOut_ = false;
    socketError_ = 0;
    pending_ = nullptr;
    if (timeoutMs < 0)
        deadline_.reset();
    else
        deadline_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
}

void TlsChannel::RethrowPending() {
    if (!pending_)
        return;
    failed_ = true;
    std::rethrow_exception(std::exchange(pending_, nullptr));
}

int TlsChannel::ReadRaw(BIO *bio, char *buffer, int length) {
    if (socket_ == nullptr)
        return -1;
    // OpenSSL is C: nothing may be thrown through it. A failure is kept and raised once the
    // OpenSSL call has returned.
    try {
        int wait = -1;
        if (deadline_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now());
            wait = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        if (!socket_->IsReadable(wait)) {
            // Asking again later finds OpenSSL where it stopped.
            timedOut_ = true;
            BIO_set_retry_read(bio);
            return -1;
        }
        const int received = socket_->ReceiveBytes(buffer, length);
        if (received == Id_SOCKET_ERROR) {
            socketError_ = socket_->Stack().WSGetLastError();
            return -1;
        }
        return received;
    } catch (...) {
        pending_ = std::current_exception();
        return -1;
    }
}

int TlsChannel::WriteRaw(const char *buffer, int length) {
    if (socket_ == nullptr)
        return -1;
    try {
        const int sent = socket_->SendBytes(buffer, length);
        if (sent == Id_SOCKET_ERROR) {
            socketError_ = socket_->Stack().WSGetLastError();
            return -1;
        }
        return sent;
    } catch (...) {
        pending_ = std::current_exception();
        return -1;
    }
}

void TlsChannel::Handshake(TIdSocketHandle &socket, int timeoutMs) {
    socket_ = &socket;
    if (TIdStack::IsAddressLiteral(peerName_)) {
        // An address is checked against the certificate's IP entries and is never sent as SNI.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), peerName_.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, peerName_.c_str());
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl_, peerName_.c_str());
    }
    // A session is kept under the name it verified, so resuming it vouches for the same name.
    if (SSL_SESSION *kept = context_->TakeSession(sessionKey_)) {
        SSL_set_session(ssl_, kept);
        SSL_SESSION_free(kept);
    }
    StartOperation(timeoutMs);
    const int result = SSL_connect(ssl_);
    RethrowPending();
    if (result != 1)
        FailHandshake(result);
    // A TLS 1.2 session may be resumed again and again, and resuming it brings no new one; a
    // TLS 1.3 server sends new tickets instead.
    if (SSL_session_reused(ssl_) == 1 && SSL_version(ssl_) < TLS1_3_VERSION)
        if (SSL_SESSION *copy = SSL_SESSION_dup(SSL_get0_session(ssl_)))
            context_->KeepSession(sessionKey_, copy);
}

void TlsChannel::FailHandshake(int result) {
    failed_ = true;
    const int error = SSL_get_error(ssl_, result);
    const long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        throw EIdTLSVerifyError("The certificate of " + peerName_ + " is not accepted: " +
                                X509_verify_cert_error_string(verified) + ".");
    }
    if (error == SSL_ERROR_WANT_READ && timedOut_)
        TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
    if (socketError_ != 0)
        TIdStack::FailWithSocketError(socketError_);
    throw EIdTLSError("The TLS handshake with " + peerName_ +
                      " failed: " + OpenSslErrorText("the server closed the connection."));
}

void TlsChannel::FailTransfer(const char *what) {
    failed_ = true;
    if (socketError_ != 0)
        TIdStack::FailWithSocketError(socketError_);
    throw EIdTLSError(std::string("TLS ") + what + " " + peerName_ +
                      " failed: " + OpenSslErrorText("the connection broke off."));
}

int TlsChannel::Receive(void *buffer, int length, int timeoutMs) {
    StartOperation(timeoutMs);
    const int received = SSL_read(ssl_, buffer, length);
    RethrowPending();
    if (received > 0)
        return received;
    switch (SSL_get_error(ssl_, received)) {
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_WANT_READ:
        return TIdConnectionIntercept::kInterceptTimedOut;
    case SSL_ERROR_SYSCALL:
        if (socketError_ == 0)
            return 0;
        break;
    default:
        break;
    }
    FailTransfer("read from");
}

int TlsChannel::Send(const void *buffer, int length, int timeoutMs) {
    StartOperation(timeoutMs);
    const int sent = SSL_write(ssl_, buffer, length);
    RethrowPending();
    if (sent > 0)
        return sent;
    if (SSL_get_error(ssl_, sent) == SSL_ERROR_WANT_READ && timedOut_)
        TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
    FailTransfer("write to");
}

bool TlsChannel::Keepable() const {
    return SSL_is_init_finished(ssl_) == 1 && SSL_pending(ssl_) == 0 &&
           (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) == 0;
}

bool TlsChannel::StillIdle(TIdSocketHandle &socket) {
    // Readable is not closed here: a TLS 1.3 server may send session tickets at any time after
    // the handshake. They are read through TLS (and kept); application bytes or an end are not
    // idle. Every read waits for nothing.
    socket_ = &socket;
    bool idle = false;
    for (int reads = 0; reads < kIdleRecordReads; ++reads) {
        if (!socket.IsReadable(0)) {
            idle = true;
            break;
        }
        char byte = 0;
        int received = 0;
        try {
            received = Receive(&byte, 1, 0);
        } catch (const std::exception &) {
            break;
        }
        if (received != TIdConnectionIntercept::kInterceptTimedOut)
            break;
    }
    socket_ = nullptr;
    return idle && Keepable();
}

TIdSSLConnectionIntercept::TIdSSLConnectionIntercept(
    std::shared_ptr<const TlsClientContext> context)
    : context_(std::move(context)) {
    if (!context_)
        context_ = std::make_shared<const TlsClientContext>();
}

TIdSSLConnectionIntercept::~TIdSSLConnectionIntercept() = default;

std::string TIdSSLConnectionIntercept::Protocol() const {
    return channel_ ? std::string(SSL_get_version(channel_->Handle())) : std::string();
}

bool TIdSSLConnectionIntercept::SessionResumed() const {
    return channel_ && SSL_session_reused(channel_->Handle()) == 1;
}

void TIdSSLConnectionIntercept::Connect(TIdTCPConnection &connection) {
    channel_.reset();
    peerName_ = HostOf(connection);
    auto channel = std::make_unique<TlsChannel>(
        context_, peerName_, TlsClientContext::SessionKey(peerName_, PortOf(connection)));
    // The handshake is part of the exchange: a stalled one ends when the exchange's time does.
    channel->Handshake(connection.Socket(), connection.WithinExchange(connection.ReadTimeout));
    channel_ = std::move(channel);
}

void TIdSSLConnectionIntercept::Disconnect(TIdTCPConnection &) {
    channel_.reset();
}

int TIdSSLConnectionIntercept::Receive(TIdTCPConnection &, void *buffer, int length,
                                       int timeoutMs) {
    if (!channel_)
        throw EIdConnClosedGracefully();
    return channel_->Receive(buffer, length, timeoutMs);
}

int TIdSSLConnectionIntercept::Send(TIdTCPConnection &connection, const void *buffer, int length) {
    if (!channel_)
        throw EIdConnClosedGracefully();
    return channel_->Send(buffer, length, connection.WithinExchange(connection.ReadTimeout));
}

std::unique_ptr<TIdInterceptState> TIdSSLConnectionIntercept::Detach(TIdTCPConnection &) {
    if (!channel_ || !channel_->Keepable())
        return nullptr;
    channel_->Attach(nullptr);
    return std::move(channel_);
}

bool TIdSSLConnectionIntercept::Adopt(TIdTCPConnection &connection,
                                      std::unique_ptr<TIdInterceptState> state) {
    auto *channel = dynamic_cast<TlsChannel *>(state.get());
    // A session verified against another trust store, or for another name, vouches for
    // nothing here.
    if (channel == nullptr || &channel->Context() != context_.get() ||
        channel->SessionKey() !=
            TlsClientContext::SessionKey(HostOf(connection), PortOf(connection)))
        return false;
    state.release();
    channel_.reset(channel);
    channel_->Attach(&connection.Socket());
    peerName_ = channel_->PeerName();
    return true;
}

} // namespace net
