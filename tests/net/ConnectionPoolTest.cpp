#include "HttpTestSupport.h"

#include "net/ConnectionPool.h"
#include "net/HostLimiter.h"
#include "net/IdHTTP.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace testsupport;
using nettest::OutcomeOf;

namespace {

const std::string kUrl = "http://www.one.com/page";
const std::string kKey = net::ConnectionPool::KeyFor("http", "www.one.com", 80);

// A context over the loopback layer with a socket layer and a connection pool of its own.
class PooledNetwork {
public:
    explicit PooledNetwork(int port, net::ConnectionPool::Limits limits = {})
        : network_(port), context_(network_.Context(5000, 5000)) {
        context_.Sockets = context_.Sockets->Fresh(60000);
        context_.Connections = std::make_shared<net::ConnectionPool>(context_.Sockets, limits);
    }

    const net::NetworkContext &Context() const { return context_; }
    net::ConnectionPool &Pool() const { return *context_.Connections; }

private:
    LoopbackNetwork network_;
    net::NetworkContext context_;
};

// One page by a client made for it, as the service pages are fetched.
std::string SharedFetch(const net::NetworkContext &context, const std::string &url = kUrl) {
    net::TIdHTTP client(context);
    client.KeepConnection = false;
    client.ShareConnections = true;
    return client.FetchText(url);
}

// A kept-alive web server answering "page" to every request.
void AnswerEveryRequestKeptAlive(ScriptedServer &server) {
    server.KeepRoutedConnections();
    server.Route("*", "*", {Send(HttpKeepAliveReply(200, "page"))});
}

Script KeepAliveAnswer(const std::string &body) {
    return AfterRequest({Send(HttpKeepAliveReply(200, body))});
}

} // namespace

TEST(ConnectionPool, SequentialFetchesToOneHostShareOneConnection) {
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    const PooledNetwork network(server.Port());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SharedFetch(network.Context()), "page");
    // Host names compare without case; a default port is the same endpoint as an explicit one.
    EXPECT_EQ(SharedFetch(network.Context(), "http://WWW.One.com:80/other"), "page");
    EXPECT_EQ(server.Accepted(), 1u);
    EXPECT_EQ(server.Requests().size(), 4u);
    EXPECT_EQ(network.Pool().IdleCount(kKey), 1u);
}

TEST(ConnectionPool, AClientWithoutSharingNeitherTakesNorGives) {
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    const PooledNetwork network(server.Port());
    for (int i = 0; i < 2; ++i) {
        net::TIdHTTP client(network.Context());
        client.KeepConnection = false;
        EXPECT_EQ(client.FetchText(kUrl), "page");
    }
    EXPECT_EQ(server.Accepted(), 2u);
    EXPECT_EQ(network.Pool().IdleCount(), 0u);
}

TEST(ConnectionPool, AClientOfItsOwnKeepsItsConnectionForTheSameHostAtTheDefaultPort) {
    ScriptedServer server;
    server.Enqueue({ReadRequest(), Send(HttpKeepAliveReply(200, "one")), ReadRequest(),
                    Send(HttpKeepAliveReply(200, "two")), Silent()});
    const LoopbackNetwork network(server.Port());
    net::TIdHTTP client(network.Context(5000, 5000));
    EXPECT_EQ(client.FetchText("http://www.one.com/a"), "one");
    EXPECT_EQ(client.FetchText("http://www.one.com/b"), "two");
    EXPECT_EQ(server.Accepted(), 1u);
}

struct ReplyCase {
    const char *name;
    Script script;
    bool pooled;
};

class ReplyReuseTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyReuseTest, OnlyACompleteKeptAliveReplyGoesBackToThePool) {
    ScriptedServer server;
    server.Enqueue(GetParam().script);
    server.SetDefault(KeepAliveAnswer("next"));
    const PooledNetwork network(server.Port());
    OutcomeOf([&] { SharedFetch(network.Context()); });
    EXPECT_EQ(network.Pool().IdleCount(kKey), GetParam().pooled ? 1u : 0u);
    EXPECT_EQ(SharedFetch(network.Context()), GetParam().pooled ? "again" : "next");
    EXPECT_EQ(server.Accepted(), GetParam().pooled ? 1u : 2u);
}

const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "5\r\nhello\r\n0\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyReuseTest,
    ::testing::Values(
        ReplyCase{"ContentLength",
                  {ReadRequest(), Send(HttpKeepAliveReply(200, "first")), ReadRequest(),
                   Send(HttpKeepAliveReply(200, "again")), Silent()},
                  true},
        ReplyCase{"Chunked",
                  {ReadRequest(), SendPieces(kChunked, {20, 30, 3}), ReadRequest(),
                   Send(HttpKeepAliveReply(200, "again")), Silent()},
                  true},
        ReplyCase{
            "ConnectionClose", {ReadRequest(), Send(HttpReply(200, "first")), Silent()}, false},
        ReplyCase{
            "Http10",
            {ReadRequest(), Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfirst"), Silent()},
            false},
        ReplyCase{"ReadUntilClose",
                  {ReadRequest(), Send("HTTP/1.1 200 OK\r\n\r\nfirst"), testsupport::Close()},
                  false},
        ReplyCase{"LengthAndChunked",
                  {ReadRequest(),
                   Send("HTTP/1.1 200 OK\r\nContent-Length: 15\r\nTransfer-Encoding: "
                        "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"),
                   Silent()},
                  false},
        ReplyCase{
            "BytesBeyondTheBody",
            {ReadRequest(), Send(HttpKeepAliveReply(200, "first") + "HTTP/1.1 200"), Silent()},
            false},
        // An error page read to its end leaves the connection as fit as a 200 does.
        ReplyCase{"ErrorStatus",
                  {ReadRequest(), Send(HttpKeepAliveReply(404, "gone")), ReadRequest(),
                   Send(HttpKeepAliveReply(200, "again")), Silent()},
                  true},
        ReplyCase{"ErrorStatusWithClose",
                  {ReadRequest(), Send(HttpReply(404, "gone")), Silent()},
                  false}),
    [](const auto &info) { return std::string(info.param.name); });

// The Connection header is a list of options; only an option "close" (any case, blanks around
// it aside) ends the connection with its reply, and an HTTP/1.0 reply always does. A client that
// shares connections and a client of its own decide alike.
TEST(ConnectionPool, OnlyACloseOptionOrHttp10EndsTheConnection) {
    const struct {
        const char *version;
        const char *connection;
        bool closes;
    } cases[] = {
        {"1.1", "close", true},
        {"1.1", " CLOSE ", true},
        {"1.1", "something-close, close-something, close", true},
        {"1.1", "keep-alive,close", true},
        {"1.1", "something-close", false},
        {"1.1", "close-something, keep-alive", false},
        {"1.1", "keep-alive", false},
        {"1.1", "", false},
        {"1.0", "keep-alive", true},
        {"1.0", "", true},
    };
    for (const auto &c : cases) {
        const std::string label = std::string("HTTP/") + c.version + " Connection: " + c.connection;
        const std::string first = std::string("HTTP/") + c.version +
                                  " 200 OK\r\nContent-Length: 5\r\nConnection: " + c.connection +
                                  "\r\n\r\nfirst";
        const Script reused{ReadRequest(), Send(first), ReadRequest(),
                            Send(HttpKeepAliveReply(200, "again")), Silent()};
        const char *second = c.closes ? "next" : "again";
        {
            ScriptedServer server;
            server.Enqueue(reused);
            server.SetDefault(KeepAliveAnswer("next"));
            const PooledNetwork network(server.Port());
            EXPECT_EQ(SharedFetch(network.Context()), "first") << label;
            EXPECT_EQ(network.Pool().IdleCount(kKey), c.closes ? 0u : 1u) << label;
            EXPECT_EQ(SharedFetch(network.Context()), second) << label;
        }
        {
            ScriptedServer server;
            server.Enqueue(reused);
            server.SetDefault(KeepAliveAnswer("next"));
            const LoopbackNetwork network(server.Port());
            net::TIdHTTP client(network.Context(5000, 5000));
            EXPECT_EQ(client.FetchText(kUrl), "first") << label;
            EXPECT_EQ(client.FetchText(kUrl), second) << label << " (a client of its own)";
        }
    }
}

struct ClosedCase {
    const char *name;
    // What the first connection does after its first reply.
    Script afterFirstReply;
    // The script of the connection opened next.
    Script next;
    const char *outcome;
    std::size_t accepted;
};

class ClosedIdleConnectionTest : public ::testing::TestWithParam<ClosedCase> {};

TEST_P(ClosedIdleConnectionTest, TheNextFetchGoesOnANewConnectionOnce) {
    ScriptedServer server;
    Script first{ReadRequest(), Send(HttpKeepAliveReply(200, "first"))};
    first.insert(first.end(), GetParam().afterFirstReply.begin(), GetParam().afterFirstReply.end());
    server.Enqueue(first);
    server.Enqueue(GetParam().next);
    server.SetDefault(KeepAliveAnswer("third connection"));
    const PooledNetwork network(server.Port());
    EXPECT_EQ(SharedFetch(network.Context()), "first");
    std::string body;
    const auto outcome = OutcomeOf([&] { body = SharedFetch(network.Context()); });
    EXPECT_EQ(outcome.kind, GetParam().outcome) << outcome.message;
    if (outcome.kind == "none") {
        EXPECT_EQ(body, "second");
    }
    EXPECT_EQ(server.Accepted(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Closes, ClosedIdleConnectionTest,
    ::testing::Values(
        // Noticed before the request goes out: no request is lost on it.
        ClosedCase{"WhileIdle", {testsupport::Close()}, KeepAliveAnswer("second"), "none", 2},
        // The request went out and the close came back instead of a reply.
        ClosedCase{"OnTheRequest",
                   {ReadRequest(), testsupport::Close()},
                   KeepAliveAnswer("second"),
                   "none",
                   2},
        ClosedCase{"ResetOnTheRequest",
                   {ReadRequest(), testsupport::Reset()},
                   KeepAliveAnswer("second"),
                   "none",
                   2},
        // The new connection fails too: that failure is the answer, there is no third try.
        ClosedCase{"AlsoOnTheRetry",
                   {ReadRequest(), testsupport::Close()},
                   {ReadRequest(), testsupport::Close()},
                   "EIdConnClosedGracefully",
                   2},
        // Part of a reply arrived: the request may have been served, so it is not sent again
        // (the status line cut short reads as no status code).
        ClosedCase{"AfterPartOfTheReply",
                   {ReadRequest(), Send("HTTP/1.1 2"), testsupport::Close()},
                   KeepAliveAnswer("second"),
                   "EConvertError",
                   1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ConnectionPool, AnIdleConnectionPastTheIdleLimitIsNotReused) {
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    net::ConnectionPool::Limits limits;
    limits.IdleLimit = std::chrono::milliseconds(0);
    const PooledNetwork network(server.Port(), limits);
    EXPECT_EQ(SharedFetch(network.Context()), "page");
    EXPECT_EQ(SharedFetch(network.Context()), "page");
    EXPECT_EQ(server.Accepted(), 2u);
    // The stale one was closed, not left open.
    EXPECT_TRUE(server.WaitForFinished(1));
}

// Fetches with several clients at once, every server connection held until the test lets it
// answer, so that count connections are open together.
void FetchTogether(const net::NetworkContext &context, ScriptedServer &server, std::size_t count,
                   const std::vector<std::string> &urls) {
    std::vector<std::thread> fetches;
    for (std::size_t i = 0; i < count; ++i)
        fetches.emplace_back([&, i] {
            EXPECT_EQ(OutcomeOf([&] { SharedFetch(context, urls[i % urls.size()]); }).kind, "none");
        });
    EXPECT_TRUE(server.WaitForHeld(count));
    server.Release(count);
    for (auto &fetch : fetches)
        fetch.join();
}

TEST(ConnectionPool, KeepsAtMostItsLimitPerEndpointAndInAll) {
    ScriptedServer server;
    server.KeepRoutedConnections();
    server.Route("*", "*", {Hold(), Send(HttpKeepAliveReply(200, "page"))});
    net::ConnectionPool::Limits limits;
    limits.PerEndpoint = 2;
    limits.Total = 3;
    const PooledNetwork network(server.Port(), limits);
    FetchTogether(network.Context(), server, 4, {kUrl});
    EXPECT_EQ(network.Pool().IdleCount(kKey), 2u);
    // The two connections beyond the limit were closed.
    EXPECT_TRUE(server.WaitForFinished(2));

    FetchTogether(network.Context(), server, 2, {"http://www.two.com/"});
    EXPECT_EQ(network.Pool().IdleCount(), 3u);
    EXPECT_EQ(network.Pool().IdleCount(net::ConnectionPool::KeyFor("http", "www.two.com", 80)), 2u);
}

TEST(ConnectionPool, InterruptingTheRunClosesIdleConnectionsAndEndsAWaitOnAReusedOne) {
    ScriptedServer server;
    server.Enqueue({ReadRequest(), Send(HttpKeepAliveReply(200, "first")), ReadRequest(), Hold()});
    server.Enqueue(KeepAliveAnswer("second"));
    const PooledNetwork network(server.Port());
    ASSERT_EQ(SharedFetch(network.Context()), "first");
    ASSERT_EQ(SharedFetch(network.Context(), "http://www.two.com/"), "second");
    nettest::Outcome outcome;
    std::thread fetch([&] { outcome = OutcomeOf([&] { SharedFetch(network.Context()); }); });
    ASSERT_TRUE(server.WaitForHeld(1));
    network.Context().Sockets->Interrupt();
    fetch.join();
    server.Release();
    EXPECT_EQ(outcome.kind, "EIdSocketError 10004");
    // The layer's interruption closes what the pool held at once, with no call of its own.
    EXPECT_EQ(network.Pool().IdleCount(), 0u);
    EXPECT_TRUE(server.WaitForFinished(2));
    EXPECT_EQ(network.Context().Sockets->LiveCount(), 0);
}

TEST(ConnectionPool, AnInterruptedLayerIsNoLongerServed) {
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    const PooledNetwork network(server.Port());
    ASSERT_EQ(SharedFetch(network.Context()), "page");
    ASSERT_EQ(network.Pool().IdleCount(), 1u);
    network.Context().Sockets->Interrupt();
    EXPECT_EQ(OutcomeOf([&] { SharedFetch(network.Context()); }).kind, "EIdSocketError 10004");
    EXPECT_EQ(network.Pool().IdleCount(), 0u);
    EXPECT_TRUE(server.WaitForFinished(1));
}

TEST(ConnectionPool, ClosesWhatItHoldsWhenItGoes) {
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    {
        const PooledNetwork network(server.Port());
        ASSERT_EQ(SharedFetch(network.Context()), "page");
        ASSERT_EQ(SharedFetch(network.Context(), "http://www.two.com/"), "page");
        // The pool keeps the layer started while it holds connections.
        EXPECT_EQ(network.Context().Sockets->LiveCount(), 1);
    }
    EXPECT_TRUE(server.WaitForFinished(2));
}

TEST(ConnectionPool, ManyThreadsShareConnectionsWithinTheHostLimit) {
    constexpr int kPerHost = 4;
    constexpr int kThreads = 12;
    constexpr int kFetchesEach = 10;
    ScriptedServer server;
    AnswerEveryRequestKeptAlive(server);
    PooledNetwork network(server.Port());
    net::NetworkContext context = network.Context();
    context.Hosts =
        std::make_shared<net::HostLimiter>(net::HostLimiter::HostSettings{.atOnce = kPerHost});
    const std::vector<std::string> urls{"http://search.one.com/q", "http://rank.two.com/r"};
    std::vector<std::thread> threads;
    std::vector<int> pages(kThreads, 0);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFetchesEach; ++i)
                if (SharedFetch(context, urls[(t + i) % urls.size()]) == "page")
                    ++pages[t];
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(pages, std::vector<int>(kThreads, kFetchesEach));
    EXPECT_EQ(server.Requests().size(), static_cast<std::size_t>(kThreads * kFetchesEach));
    // A connection is given back before its exchange's place with the host is: never more
    // connections to a host than exchanges at once.
    EXPECT_LE(server.Accepted(), static_cast<std::size_t>(kPerHost * urls.size()));
    EXPECT_LE(context.Hosts->MostAtOnce("search.one.com"), kPerHost);
}
