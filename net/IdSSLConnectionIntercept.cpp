#include "net/IdSSLConnectionIntercept.h"

#include "net/IdStack.h"
#include "net/IdTCPClient.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <utility>

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

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

TIdSSLConnectionIntercept *Owner(BIO *bio) {
    return static_cast<TIdSSLConnectionIntercept *>(BIO_get_data(bio));
}

int BioWrite(BIO *bio, const char *buffer, int length) {
    BIO_clear_retry_flags(bio);
    return Owner(bio)->WriteRaw(bio, buffer, length);
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

std::string HostOf(TIdTCPConnection &connection) {
    if (auto *client = dynamic_cast<TIdTCPClient *>(&connection))
        return client->Host;
    return connection.Socket().PeerIP();
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
    SSL_CTX_free(context_);
}

TIdSSLConnectionIntercept::TIdSSLConnectionIntercept(
    std::shared_ptr<const TlsClientContext> context)
    : context_(std::move(context)) {
    if (!context_)
        context_ = std::make_shared<const TlsClientContext>();
}

TIdSSLConnectionIntercept::~TIdSSLConnectionIntercept() {
    FreeSession();
}

void TIdSSLConnectionIntercept::FreeSession() {
    if (ssl_ != nullptr)
        SSL_free(ssl_);
    ssl_ = nullptr;
    connection_ = nullptr;
}

std::string TIdSSLConnectionIntercept::Protocol() const {
    return ssl_ == nullptr ? std::string() : std::string(SSL_get_version(ssl_));
}

void TIdSSLConnectionIntercept::StartOperation(int timeoutMs) {
    ERR_clear_error();
    timedOut_ = false;
    socketError_ = 0;
    pending_ = nullptr;
    if (timeoutMs < 0)
        deadline_.reset();
    else
        deadline_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
}

void TIdSSLConnectionIntercept::RethrowPending() {
    if (pending_)
        std::rethrow_exception(std::exchange(pending_, nullptr));
}

int TIdSSLConnectionIntercept::ReadRaw(BIO *bio, char *buffer, int length) {
    if (connection_ == nullptr)
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
        auto &socket = connection_->Socket();
        if (!socket.IsReadable(wait)) {
            // Asking again later finds OpenSSL where it stopped.
            timedOut_ = true;
            BIO_set_retry_read(bio);
            return -1;
        }
        const int received = socket.ReceiveBytes(buffer, length);
        if (received == Id_SOCKET_ERROR) {
            socketError_ = connection_->Stack().WSGetLastError();
            return -1;
        }
        return received;
    } catch (...) {
        pending_ = std::current_exception();
        return -1;
    }
}

int TIdSSLConnectionIntercept::WriteRaw(BIO *, const char *buffer, int length) {
    if (connection_ == nullptr)
        return -1;
    try {
        const int sent = connection_->Socket().SendBytes(buffer, length);
        if (sent == Id_SOCKET_ERROR) {
            socketError_ = connection_->Stack().WSGetLastError();
            return -1;
        }
        return sent;
    } catch (...) {
        pending_ = std::current_exception();
        return -1;
    }
}

void TIdSSLConnectionIntercept::Connect(TIdTCPConnection &connection) {
    FreeSession();
    connection_ = &connection;
    peerName_ = HostOf(connection);
    ssl_ = SSL_new(context_->Handle());
    BIO *bio = ssl_ != nullptr ? BIO_new(ConnectionBioMethod()) : nullptr;
    if (bio == nullptr)
        throw EIdTLSError("TLS cannot start: " + OpenSslErrorText("out of memory."));
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);

    if (TIdStack::IsAddressLiteral(peerName_)) {
        // An address is checked against the certificate's IP entries and is never sent as SNI.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), peerName_.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, peerName_.c_str());
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl_, peerName_.c_str());
    }
    // The handshake is part of the exchange: a stalled one ends when the exchange's time does.
    StartOperation(connection.WithinExchange(connection.ReadTimeout));
    const int result = SSL_connect(ssl_);
    RethrowPending();
    if (result != 1)
        FailHandshake(result);
}

void TIdSSLConnectionIntercept::FailHandshake(int result) {
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

void TIdSSLConnectionIntercept::FailTransfer(const char *what) {
    if (socketError_ != 0)
        TIdStack::FailWithSocketError(socketError_);
    throw EIdTLSError(std::string("TLS ") + what + " " + peerName_ +
                      " failed: " + OpenSslErrorText("the connection broke off."));
}

void TIdSSLConnectionIntercept::Disconnect(TIdTCPConnection &) {
    // The socket is already closed, so no close message can be sent.
    FreeSession();
}

int TIdSSLConnectionIntercept::Receive(TIdTCPConnection &, void *buffer, int length,
                                       int timeoutMs) {
    if (ssl_ == nullptr)
        throw EIdConnClosedGracefully();
    StartOperation(timeoutMs);
    const int received = SSL_read(ssl_, buffer, length);
    RethrowPending();
    if (received > 0)
        return received;
    switch (SSL_get_error(ssl_, received)) {
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_WANT_READ:
        return kInterceptTimedOut;
    case SSL_ERROR_SYSCALL:
        if (socketError_ == 0)
            return 0;
        break;
    default:
        break;
    }
    FailTransfer("read from");
}

int TIdSSLConnectionIntercept::Send(TIdTCPConnection &connection, const void *buffer, int length) {
    if (ssl_ == nullptr)
        throw EIdConnClosedGracefully();
    StartOperation(connection.WithinExchange(connection.ReadTimeout));
    const int sent = SSL_write(ssl_, buffer, length);
    RethrowPending();
    if (sent > 0)
        return sent;
    if (SSL_get_error(ssl_, sent) == SSL_ERROR_WANT_READ && timedOut_)
        TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
    FailTransfer("write to");
}

} // namespace net
