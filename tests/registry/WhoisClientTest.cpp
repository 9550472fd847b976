#include "registry/WhoisClient.h"
#include "registry/WhoisPacer.h"
#include "registry/WhoisReply.h"

#include "net/ConnectRouteStack.h"
#include "tests/registry/PacedTime.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <vector>

namespace registry {
namespace {

using namespace std::chrono_literals;
using testsupport::ReadLine;

// A WHOIS server reads one query line, then answers with a text and closes, stays silent until
// the client goes, or closes before reading anything. Beyond its queue it answers nothing and
// closes; its requests are the query lines, CR LF included.
class WhoisTestServer : public testsupport::ScriptedServer {
public:
    WhoisTestServer() { SetDefault({ReadLine(), testsupport::Close()}); }
    std::vector<std::string> Queries() const { return Requests(); }
};

testsupport::Script Answer(std::string text) {
    return {ReadLine(), testsupport::Send(std::move(text)), testsupport::Close()};
}
testsupport::Script Silent() {
    return {ReadLine(), testsupport::Silent()};
}
testsupport::Script CloseAtOnce() {
    return {testsupport::Close()};
}

// A network context whose connections to port 43 of any host go to port instead, the way
// --connect-to routes them.
net::NetworkContext RoutedTo(int port, int requestTimeoutMs = 5000) {
    net::NetworkContext context;
    context.Sockets = net::RoutedSocketLayer({{"", 43, "127.0.0.1", port}});
    context.ConnectTimeout = 2000;
    context.ReadTimeout = 5000;
    context.RequestTimeout = requestTimeoutMs;
    return context;
}

WhoisServer ServerFor(const std::string &name) {
    return WhoisServers::BuiltIn().ServerFor(name).value();
}

struct WireCase {
    const char *name;
    const char *query;
    const char *notFound;
};

TEST(WhoisClient, AsksEachServerInItsFormAndReadsItsNotFound) {
    const WireCase rows[] = {
        {"fastcar.us", "fastcar.us\r\n", "No Data Found\r\n"},
        {"fastcar.de", "-T dn,ace fastcar.de\r\n", "Domain: fastcar.de\nStatus: free\n"},
        {"fastcar.io", "fastcar.io\r\n", "NOT FOUND\n>>> Last update of WHOIS database <<<\n"},
        {"fastcar.co", "fastcar.co\r\n", "No Data Found\r\n"},
        {"fastcar.eu", "fastcar.eu\r\n", "Domain: fastcar.eu\n\nStatus: AVAILABLE\n"},
        {"fastcar.jp", "fastcar.jp/e\r\n", "[ JPRS database ]\n\nNo match!!\n"},
    };
    WhoisTestServer server;
    for (const WireCase &row : rows)
        server.Enqueue(Answer(row.notFound));
    const WhoisClient client(RoutedTo(server.Port()));
    for (const WireCase &row : rows) {
        const WhoisServer whois = ServerFor(row.name);
        const WhoisExchange exchange = client.Ask(whois, row.name);
        ASSERT_EQ(exchange.failure, WhoisFailure::None) << row.name << ": " << exchange.detail;
        EXPECT_EQ(exchange.reply, row.notFound);
        EXPECT_EQ(ReadWhoisReply(exchange.reply, exchange.cut, row.name, whois.notFound).verdict,
                  WhoisVerdict::Free)
            << row.name;
    }
    std::vector<std::string> queries;
    for (const WireCase &row : rows)
        queries.emplace_back(row.query);
    EXPECT_EQ(server.Queries(), queries);
}

TEST(WhoisClient, RepliesThatEndBadly) {
    WhoisTestServer server;
    server.Enqueue(Answer("NOT FOUND\n" + std::string(100 * 1024, 'x')));
    server.Enqueue(CloseAtOnce());
    const WhoisClient client(RoutedTo(server.Port()));
    const WhoisServer io = ServerFor("fastcar.io");

    const WhoisExchange large = client.Ask(io, "fastcar.io");
    EXPECT_EQ(large.failure, WhoisFailure::None);
    EXPECT_TRUE(large.cut);
    EXPECT_EQ(large.reply.size(), kLargestWhoisReply);
    EXPECT_EQ(ReadWhoisReply(large.reply, large.cut, "fastcar.io", io.notFound).reason,
              WhoisReason::ReplyCut);

    const WhoisExchange closed = client.Ask(io, "fastcar.io");
    EXPECT_EQ(closed.failure, WhoisFailure::None) << closed.detail;
    EXPECT_EQ(ReadWhoisReply(closed.reply, closed.cut, "fastcar.io", io.notFound).reason,
              WhoisReason::EmptyReply);
}

TEST(WhoisClient, ASilentServerEndsAtTheDeadline) {
    WhoisTestServer server;
    server.Enqueue(Silent());
    const WhoisClient client(RoutedTo(server.Port(), 300));
    const WhoisExchange exchange = client.Ask(ServerFor("fastcar.eu"), "fastcar.eu");
    EXPECT_EQ(exchange.failure, WhoisFailure::TimedOut) << exchange.detail;
    EXPECT_EQ(WhoisFailureText(exchange.failure), "whois: no answer in time");
}

TEST(WhoisClient, RefusedInterruptedAndUnsendableAreTyped) {
    testsupport::LoopbackSocket closedPort;
    const WhoisClient refused(RoutedTo(closedPort.Port()));
    EXPECT_EQ(refused.Ask(ServerFor("fastcar.us"), "fastcar.us").failure,
              WhoisFailure::ConnectRefused);
    EXPECT_EQ(refused.Ask(ServerFor("fastcar.us"), "fast car.us\r\nsecond").failure,
              WhoisFailure::NotAName);

    // An interruption ends an exchange with a silent server long before its deadline.
    WhoisTestServer server;
    server.Enqueue(Silent());
    const net::NetworkContext context = RoutedTo(server.Port(), 60000);
    const WhoisClient client(context);
    auto asking = std::async(std::launch::async,
                             [&] { return client.Ask(ServerFor("fastcar.co"), "fastcar.co"); });
    context.Sockets->Interrupt();
    EXPECT_EQ(asking.get().failure, WhoisFailure::Interrupted);
}

TEST(WhoisClient, PacesQueriesToOneServerOnly) {
    WhoisTestServer server;
    const auto time = std::make_shared<registrytest::JumpingTime>();
    WhoisPacer pacer(1000ms, time);
    const WhoisClient client(RoutedTo(server.Port()), &pacer);
    EXPECT_EQ(client.Ask(ServerFor("fastcar.de"), "fastcar.de").failure, WhoisFailure::None);
    EXPECT_EQ(client.Ask(ServerFor("fastcar.eu"), "fastcar.eu").failure, WhoisFailure::None);
    EXPECT_TRUE(time->Jumps().empty());
    EXPECT_EQ(client.Ask(ServerFor("slowcar.de"), "slowcar.de").failure, WhoisFailure::None);
    // The second name of DENIC waited out the pause after the first; whois.eu waited for none.
    EXPECT_EQ(time->Jumps(), (std::vector<std::chrono::milliseconds>{1000ms}));
    EXPECT_EQ(server.Queries().size(), 3u);
}

TEST(WhoisClient, ThreadsAskOneServerOneAtATime) {
    WhoisTestServer server;
    WhoisPacer pacer(5ms);
    const WhoisClient client(RoutedTo(server.Port()), &pacer);
    std::vector<std::future<WhoisExchange>> asking;
    for (const char *name : {"a.de", "b.de", "c.de", "d.de"})
        asking.push_back(std::async(std::launch::async,
                                    [&, name] { return client.Ask(ServerFor(name), name); }));
    for (auto &exchange : asking)
        EXPECT_EQ(exchange.get().failure, WhoisFailure::None);
    EXPECT_EQ(server.Queries().size(), 4u);
    EXPECT_EQ(server.MostAnsweringAtOnce(), 1u);
}

} // namespace
} // namespace registry
