#include "net/ConnectionPool.h"
#include "net/IdHTTP.h"
#include "net/IdSSLConnectionIntercept.h"
#include "tests/net/HttpTestSupport.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;

constexpr const char *kHost = "rdap.test";

// A client with short waits and a TLS intercept over context.
struct SecureClient {
    explicit SecureClient(std::shared_ptr<const net::TlsClientContext> context,
                          const net::NetworkContext &network = {})
        : tls(std::move(context)), client(network) {
        client.ConnectTimeout = 2000;
        client.ReadTimeout = 1000;
        client.SetIntercept(&tls);
    }
    net::TIdSSLConnectionIntercept tls;
    net::TIdHTTP client;
};

std::string Url(int port, const std::string &target = "/") {
    return "https://" + std::string(kHost) + ":" + std::to_string(port) + target;
}

TEST(Tls, TrustedChainCarriesTheExchangeAndSendsTheHostName) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    server.plain.Enqueue(Respond(HttpReply(200, "{\"objectClassName\":\"domain\"}")));
    const LoopbackNetwork stack(server.plain.Port());
    SecureClient secure(trust.Context(), stack.Context());

    EXPECT_EQ(secure.client.FetchText(Url(server.tls.Port(), "/domain/fastcar.com")),
              "{\"objectClassName\":\"domain\"}");
    EXPECT_EQ(secure.client.StatusCode(), 200);
    ASSERT_EQ(server.tls.ServerNames().size(), 1u);
    EXPECT_EQ(server.tls.ServerNames().at(0), kHost);
    EXPECT_EQ(server.tls.Handshakes(), 1u);
    EXPECT_EQ(server.plain.Requests().at(0),
              "GET /domain/fastcar.com HTTP/1.1\r\nHost: rdap.test\r\n"
              "Accept: text/html, */*\r\n"
              "User-Agent: Mozilla/3.0 (compatible; Nimbrel)\r\n\r\n");
}

struct RefusedCase {
    const char *name;
    std::vector<std::string> names;
    long notBefore;
    long notAfter;
    bool signedByTrusted;
    const char *reason;
};

void PrintTo(const RefusedCase &c, std::ostream *os) {
    *os << c.name;
}

const RefusedCase kRefused[] = {
    {"UntrustedChain", {kHost}, -3600, 86400, false, "unable to get local issuer certificate"},
    {"WrongHostName", {"other.test"}, -3600, 86400, true, "hostname mismatch"},
    {"Expired", {kHost}, -7200, -60, true, "certificate has expired"},
    {"NotYetValid", {kHost}, 3600, 7200, true, "certificate is not yet valid"},
};

class TlsRefusalTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(TlsRefusalTest, FailsWithAClearMessageAndSendsNoRequest) {
    const auto &c = GetParam();
    TrustedAuthority trust;
    const auto stranger = MakeCertificateAuthority("Someone Else");
    const auto leaf = MakeLeafCertificate(c.signedByTrusted ? trust.Authority() : stranger,
                                          {c.names, c.notBefore, c.notAfter});
    ScriptedServer plain;
    TlsServer server(plain.Port(), leaf.certificatePem, leaf.keyPem);
    const LoopbackNetwork stack(plain.Port());
    SecureClient secure(trust.Context(), stack.Context());

    std::string message;
    try {
        secure.client.FetchText(Url(server.Port()));
        ADD_FAILURE() << "the request succeeded";
    } catch (const net::EIdTLSVerifyError &error) {
        message = error.what();
    }
    EXPECT_EQ(message,
              std::string("The certificate of rdap.test is not accepted: ") + c.reason + ".");
    EXPECT_FALSE(secure.client.Connected());
    EXPECT_EQ(secure.client.StatusCode(), 0);
    EXPECT_TRUE(server.WaitForEnded(1, std::chrono::milliseconds(5000)));
    EXPECT_EQ(plain.Accepted(), 0u);
    EXPECT_EQ(server.ServerNames().at(0), kHost);
}

INSTANTIATE_TEST_SUITE_P(Certificates, TlsRefusalTest, ::testing::ValuesIn(kRefused),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Tls, AddressLiteralIsVerifiedAgainstTheCertificatesAddressesAndSendsNoName) {
    TrustedAuthority trust;
    const auto leaf = trust.Leaf({"IP:127.0.0.1"});
    ScriptedServer plain;
    plain.Enqueue(Respond(HttpReply(200, "ok")));
    TlsServer server(plain.Port(), leaf.certificatePem, leaf.keyPem);
    SecureClient secure(trust.Context());
    EXPECT_EQ(secure.client.FetchText("https://127.0.0.1:" + std::to_string(server.Port()) + "/"),
              "ok");
    EXPECT_EQ(server.ServerNames().at(0), "");
}

TEST(Tls, ProtocolsBeforeTls12AreRefused) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost, {TLS1_1_VERSION});
    const LoopbackNetwork stack(server.plain.Port());
    SecureClient secure(trust.Context(), stack.Context());
    const auto outcome =
        nettest::OutcomeOf([&] { secure.client.FetchText(Url(server.tls.Port())); });
    EXPECT_EQ(outcome.kind, "EIdException");
    EXPECT_EQ(outcome.message.rfind("The TLS handshake with rdap.test failed: ", 0), 0u)
        << outcome.message;
    EXPECT_EQ(server.plain.Accepted(), 0u);
}

TEST(Tls, ServerThatNeverAnswersTheHandshakeTimesOutWithinTheReadTimeout) {
    TrustedAuthority trust;
    ScriptedServer silent;
    silent.SetDefault({Silent()});
    const LoopbackNetwork stack(silent.Port());
    SecureClient secure(trust.Context(), stack.Context());
    const auto start = Clock::now();
    const auto outcome = nettest::OutcomeOf([&] { secure.client.FetchText(Url(silent.Port())); });
    const auto took = Clock::now() - start;
    EXPECT_EQ(outcome.kind, "EIdSocketError 10060");
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    EXPECT_FALSE(secure.client.Connected());
}

TEST(Tls, StalledHandshakeEndsWithTheExchangesTime) {
    TrustedAuthority trust;
    ScriptedServer silent;
    silent.SetDefault({Silent()});
    const LoopbackNetwork stack(silent.Port());
    SecureClient secure(trust.Context(), stack.Context());
    // A read time-out far past the exchange's: the handshake must give up with the exchange.
    secure.client.ReadTimeout = 20000;
    secure.client.RequestTimeout = 300;
    const auto start = Clock::now();
    const auto outcome = nettest::OutcomeOf([&] { secure.client.FetchText(Url(silent.Port())); });
    EXPECT_EQ(outcome.kind, "EIdSocketError 10060");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
}

TEST(Tls, ServerThatSendsPlainTextFailsTheHandshake) {
    TrustedAuthority trust;
    ScriptedServer plain;
    plain.SetDefault({Send(HttpReply(200, "not tls")), Close()});
    const LoopbackNetwork stack(plain.Port());
    SecureClient secure(trust.Context(), stack.Context());
    const auto outcome = nettest::OutcomeOf([&] { secure.client.FetchText(Url(plain.Port())); });
    EXPECT_EQ(outcome.kind, "EIdException");
    EXPECT_NE(outcome.message.find("The TLS handshake with rdap.test failed"), std::string::npos)
        << outcome.message;
}

TEST(Tls, ChunkedBodyInSmallPiecesAndKeepAliveWork) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n";
    const std::string second = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond";
    server.plain.Enqueue(
        {ReadRequest(), SendCut(chunked, 7), ReadRequest(), Send(second), Silent()});
    const LoopbackNetwork stack(server.plain.Port());
    SecureClient secure(trust.Context(), stack.Context());
    EXPECT_EQ(secure.client.FetchText(Url(server.tls.Port(), "/a")), "hello world");
    EXPECT_TRUE(secure.client.Connected());
    EXPECT_EQ(secure.client.FetchText(Url(server.tls.Port(), "/b")), "second");
    EXPECT_EQ(server.tls.Handshakes(), 1u);
    EXPECT_EQ(server.plain.Accepted(), 1u);
}

// A run's context over the loopback layer: a socket layer and a connection pool of its own.
class PooledSecureNetwork {
public:
    explicit PooledSecureNetwork(int port80) : network_(port80), context_(network_.Context()) {
        context_.Sockets = context_.Sockets->Fresh(60000);
        context_.Connections =
            std::make_shared<net::ConnectionPool>(context_.Sockets, net::ConnectionPool::Limits{});
    }
    const net::NetworkContext &Context() const { return context_; }
    net::ConnectionPool &Pool() const { return *context_.Connections; }
    void Abandon() const { context_.Sockets->Interrupt(); }

private:
    LoopbackNetwork network_;
    net::NetworkContext context_;
};

// One request by a client made for it, sharing the run's connections, as an RDAP lookup does.
std::string SharedSecureFetch(std::shared_ptr<const net::TlsClientContext> tls,
                              const net::NetworkContext &network, const std::string &url) {
    SecureClient secure(std::move(tls), network);
    secure.client.ShareConnections = true;
    secure.client.KeepConnection = false;
    std::string body;
    try {
        body = secure.client.FetchText(url);
    } catch (const net::EIdProtocolReplyError &) {
        body = "HTTP " + std::to_string(secure.client.StatusCode());
    }
    return body;
}

struct KeptTlsCase {
    const char *name;
    testsupport::TlsServerOptions options;
    // The server's answer to every request: the reply leaves the connection open unless it says
    // "close".
    testsupport::Script answer;
    std::string body;
    std::size_t handshakes;
    std::size_t resumed;
};

void PrintTo(const KeptTlsCase &c, std::ostream *os) {
    *os << c.name;
}

const KeptTlsCase kKeptTls[] = {
    {"KeptAliveOneHandshake", {}, {Send(HttpKeepAliveReply(200, "rec"))}, "rec", 1, 0},
    // An idle socket made readable by a session ticket is still idle.
    {"TicketWhileIdleIsNotAClose", {0, true}, {Send(HttpKeepAliveReply(200, "rec"))}, "rec", 1, 0},
    {"KeptAliveTls12", {TLS1_2_VERSION}, {Send(HttpKeepAliveReply(200, "rec"))}, "rec", 1, 0},
    // "Not found" is what a free name gets: its connection serves the next lookup too.
    {"NotFoundKeptAlive", {}, {Send(HttpKeepAliveReply(404, "{}"))}, "HTTP 404", 1, 0},
    // A server that closes after every reply: each new connection resumes the last session.
    {"ClosedEachTimeResumes", {}, {Send(HttpReply(200, "rec"))}, "rec", 4, 3},
    {"ClosedEachTimeResumesTls12", {TLS1_2_VERSION}, {Send(HttpReply(200, "rec"))}, "rec", 4, 3},
    // A kept connection the server closed while it was idle is not used (or, closed just as the
    // request goes out, the request goes again on a new one).
    {"ClosedWhileIdle", {}, {Send(HttpKeepAliveReply(200, "rec")), Close()}, "rec", 4, 3},
};

class KeptTlsTest : public ::testing::TestWithParam<KeptTlsCase> {};

TEST_P(KeptTlsTest, RequestsOfOneRunShareConnectionsAndSessions) {
    const auto &c = GetParam();
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost, c.options);
    server.plain.KeepRoutedConnections();
    server.plain.Route("*", "*", c.answer);
    {
        const PooledSecureNetwork network(server.plain.Port());
        const auto tls = trust.Context();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(SharedSecureFetch(tls, network.Context(),
                                        Url(server.tls.Port(), "/domain/n" + std::to_string(i))),
                      c.body);
        EXPECT_EQ(server.tls.Handshakes(), c.handshakes);
        EXPECT_EQ(server.tls.ResumedHandshakes(), c.resumed);
        EXPECT_EQ(server.plain.Requests().size(), 4u);
        EXPECT_TRUE(server.tls.FailedHandshakes().empty());
    }
    // The run's end closes what its pool kept.
    EXPECT_TRUE(server.tls.WaitForEnded(c.handshakes, std::chrono::milliseconds(5000)));
}

INSTANTIATE_TEST_SUITE_P(Reuse, KeptTlsTest, ::testing::ValuesIn(kKeptTls),
                         [](const auto &info) { return std::string(info.param.name); });

// A kept connection vouches only for the trust store that verified it: a client of another store
// makes its own connection, and its own verification refuses the server.
TEST(Tls, AKeptConnectionIsNotCarriedOnUnderAnotherTrustStore) {
    TrustedAuthority trust;
    TrustedAuthority stranger;
    ScriptedTlsServer server(trust, kHost);
    server.plain.KeepRoutedConnections();
    server.plain.Route("*", "*", {Send(HttpKeepAliveReply(200, "rec"))});
    const PooledSecureNetwork network(server.plain.Port());
    EXPECT_EQ(SharedSecureFetch(trust.Context(), network.Context(), Url(server.tls.Port())), "rec");
    const auto outcome = nettest::OutcomeOf([&] {
        SecureClient secure(stranger.Context(), network.Context());
        secure.client.ShareConnections = true;
        secure.client.FetchText(Url(server.tls.Port()));
    });
    EXPECT_NE(outcome.message.find("is not accepted"), std::string::npos) << outcome.message;
    // The kept connection was closed, and the new one's handshake refused.
    EXPECT_TRUE(server.tls.WaitForEnded(2, std::chrono::milliseconds(5000)));
    EXPECT_EQ(server.tls.Handshakes(), 1u);
    EXPECT_EQ(server.tls.FailedHandshakes().size(), 1u);
    EXPECT_EQ(server.plain.Requests().size(), 1u);
}

TEST(Tls, AbandonClosesTheKeptConnections) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    server.plain.KeepRoutedConnections();
    server.plain.Route("*", "*", {Send(HttpKeepAliveReply(200, "rec"))});
    const PooledSecureNetwork network(server.plain.Port());
    EXPECT_EQ(SharedSecureFetch(trust.Context(), network.Context(), Url(server.tls.Port())), "rec");
    EXPECT_EQ(network.Pool().IdleCount(), 1u);
    network.Abandon();
    EXPECT_EQ(network.Pool().IdleCount(), 0u);
    EXPECT_TRUE(server.tls.WaitForEnded(1, std::chrono::milliseconds(5000)));
}

TEST(Tls, PlainAddressAfterSecureOneUsesNoTls) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    server.plain.Enqueue(Respond(HttpReply(200, "secure")));
    server.plain.Enqueue(Respond(HttpReply(200, "plain")));
    const LoopbackNetwork stack(server.plain.Port());
    SecureClient secure(trust.Context(), stack.Context());
    EXPECT_EQ(secure.client.FetchText(Url(server.tls.Port())), "secure");
    EXPECT_EQ(secure.client.FetchText("http://www.fastcar.com/"), "plain");
    EXPECT_FALSE(secure.client.InterceptEnabled());
    EXPECT_EQ(server.tls.Handshakes(), 1u);
}

// The loopback layer, with port 443 sent to the TLS test server.
class SecurePortStack : public LoopbackStack {
public:
    SecurePortStack(int port80, int port443)
        : LoopbackStack(port80, {}, std::make_shared<ResolvedNames>()), port443_(port443) {}
    int WSConnect(net::TIdStackSocketHandle socket, const std::string &ip, int port,
                  int timeoutMs) override {
        return LoopbackStack::WSConnect(socket, ip, port == 443 ? port443_ : port, timeoutMs);
    }

private:
    int port443_;
};

TEST(Tls, HttpsWithoutAPortGoesTo443) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    server.plain.Enqueue(Respond(HttpReply(200, "on 443")));
    const int tlsPort = server.tls.Port();
    net::NetworkContext network;
    network.Sockets = std::make_shared<net::SocketLayer>(
        [port80 = server.plain.Port(), tlsPort]() -> std::unique_ptr<net::TIdStack> {
            return std::make_unique<SecurePortStack>(port80, tlsPort);
        });
    SecureClient secure(trust.Context(), network);
    EXPECT_EQ(secure.client.FetchText("https://rdap.test/"), "on 443");
    EXPECT_EQ(secure.client.Port, 443);
}

TEST(Tls, DefaultTrustStoreHonoursSslCertFile) {
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, kHost);
    server.plain.Enqueue(Respond(HttpReply(200, "trusted by environment")));
    const LoopbackNetwork stack(server.plain.Port());
    const char *previous = std::getenv("SSL_CERT_FILE");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("SSL_CERT_FILE", trust.File().c_str(), 1);
    auto context = std::make_shared<const net::TlsClientContext>();
    if (previous != nullptr)
        setenv("SSL_CERT_FILE", saved.c_str(), 1);
    else
        unsetenv("SSL_CERT_FILE");
    SecureClient secure(context, stack.Context());
    EXPECT_EQ(secure.client.FetchText(Url(server.tls.Port())), "trusted by environment");
}

TEST(Tls, UnreadableTrustStoreIsAnError) {
    try {
        net::TlsClientContext context(net::TlsSettings{"/nonexistent/ca.pem", {}});
        ADD_FAILURE() << "no error";
    } catch (const net::EIdTLSError &error) {
        EXPECT_EQ(
            std::string(error.what())
                .rfind("The trusted certificates in /nonexistent/ca.pem cannot be loaded: ", 0),
            0u)
            << error.what();
    }
}

} // namespace
