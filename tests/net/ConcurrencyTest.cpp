#include "HttpTestSupport.h"

#include "net/HostLimiter.h"
#include "net/IdHTTP.h"
#include "net/IdStackPosix.h"
#include "net/IdTCPClient.h"
#include "net/SocketLayer.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace testsupport;
using nettest::OutcomeOf;

namespace {

// A context over the loopback layer with a socket layer of its own, so that interrupting it
// touches no other test.
net::NetworkContext OwnLayer(const LoopbackNetwork &network, int readTimeout) {
    net::NetworkContext context = network.Context(30000, readTimeout);
    context.Sockets = context.Sockets->Fresh(60000);
    return context;
}

} // namespace

TEST(RequestTimeout, EndsAnExchangeWhoseBytesEachArriveWithinTheReadTimeout) {
    ScriptedServer server;
    server.Enqueue(AfterRequest({Drip(HttpReply(200, std::string(100, 'x')), Millis(100))}));
    const LoopbackNetwork network(server.Port());
    net::NetworkContext context = network.Context(2000, 2000);
    context.RequestTimeout = 300;
    net::TIdHTTP client(context);
    const auto outcome = OutcomeOf([&] { client.FetchText("http://www.drip.com/"); });
    EXPECT_EQ(outcome.kind, "EIdSocketError 10060");
}

TEST(HostLimiter, ManyFetchesToOneHostNeverExceedTheLimit) {
    constexpr std::size_t kFetches = 16;
    constexpr std::size_t kPerHost = 4;
    ScriptedServer server;
    server.SetDefault({ReadRequest(), Hold(), Send(HttpReply(200, "ok")), testsupport::Close()});
    const LoopbackNetwork network(server.Port());
    net::NetworkContext context = network.Context(5000, 5000);
    context.Hosts = std::make_shared<net::HostLimiter>(
        net::HostLimiter::HostSettings{.atOnce = static_cast<int>(kPerHost)});
    std::vector<std::string> bodies(kFetches);
    std::vector<std::thread> fetches;
    for (std::size_t i = 0; i < kFetches; ++i)
        fetches.emplace_back([&, i] {
            net::TIdHTTP client(context);
            // Host names compare without case: both spellings count against one limit.
            const auto outcome = OutcomeOf([&] {
                bodies[i] = client.FetchText(i % 2 ? "http://WWW.One.com/" : "http://www.one.com/");
            });
            EXPECT_EQ(outcome.kind, "none") << outcome.message;
        });
    for (std::size_t left = kFetches; left > 0; --left) {
        EXPECT_TRUE(server.WaitForHeld(std::min(left, kPerHost)));
        server.Release();
    }
    for (auto &fetch : fetches)
        fetch.join();
    EXPECT_EQ(bodies, std::vector<std::string>(kFetches, "ok"));
    EXPECT_EQ(server.MostHeldAtOnce(), kPerHost);
    EXPECT_EQ(context.Hosts->MostAtOnce("www.one.com"), static_cast<int>(kPerHost));
}

// The wait for a full host's place ends the exchange as the socket layer's waits do: at the
// request's deadline, or at once when the run is abandoned.
TEST(HostLimiter, AFetchThatFindsItsHostFullFailsAtItsDeadlineOrOnAbandon) {
    struct Case {
        const char *name;
        bool abandon;
        const char *kind;
    };
    const Case cases[] = {{"at the deadline", false, "EIdSocketError 10060"},
                          {"on abandon", true, "EIdSocketError 10004"}};
    ScriptedServer server;
    const LoopbackNetwork network(server.Port());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        net::NetworkContext context = OwnLayer(network, 2000);
        context.RequestTimeout = 20;
        context.Hosts =
            std::make_shared<net::HostLimiter>(net::HostLimiter::HostSettings{.atOnce = 1});
        const auto held = context.Hosts->Acquire("www.one.com");
        if (c.abandon) {
            context.RequestTimeout = 60000;
            context.Sockets->Interrupt();
        }
        net::TIdHTTP client(context);
        EXPECT_EQ(OutcomeOf([&] { client.FetchText("http://WWW.one.com/"); }).kind, c.kind);
        EXPECT_EQ(server.Accepted(), 0u) << "no connection is made without a place";
    }
}

TEST(SocketLayerInterrupt, EndsAReadBlockedOnASilentServer) {
    ScriptedServer server;
    server.SetDefault({ReadRequest(), Hold()});
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = OwnLayer(network, 30000);
    nettest::Outcome outcome;
    std::thread fetch([&] {
        net::TIdHTTP client(context);
        outcome = OutcomeOf([&] { client.FetchText("http://www.silent.com/"); });
    });
    ASSERT_TRUE(server.WaitForHeld(1));
    context.Sockets->Interrupt();
    fetch.join();
    EXPECT_EQ(outcome.kind, "EIdSocketError 10004");
}

TEST(SocketLayerInterrupt, EndsAConnectThatIsNotAnswered) {
    // A listener whose queue is full drops further connection requests: a connect waits.
    LoopbackSocket full;
    full.Listen(0);
    std::vector<std::unique_ptr<net::TIdTCPClient>> fillers;
    const LoopbackNetwork network(full.Port());
    for (int i = 0; i < 2; ++i) {
        auto filler = std::make_unique<net::TIdTCPClient>(network.Context(100, 100));
        filler->Host = "127.0.0.1";
        filler->Port = full.Port();
        OutcomeOf([&] { filler->OpenConnection(); });
        fillers.push_back(std::move(filler));
    }
    const net::NetworkContext context = OwnLayer(network, 30000);
    nettest::Outcome outcome;
    std::thread connect([&] {
        net::TIdTCPClient client(context);
        client.Host = "127.0.0.1";
        client.Port = full.Port();
        outcome = OutcomeOf([&] {
            client.OpenConnection();
            client.ReadLine();
        });
    });
    // Whether the interruption finds the client before, in or after its connect, it ends it.
    context.Sockets->Interrupt();
    connect.join();
    EXPECT_EQ(outcome.kind, "EIdSocketError 10004") << outcome.message;
}

TEST(SocketLayerInterrupt, FailsALookupAfterIt) {
    net::TIdStackPosix stack;
    stack.Interrupt();
    EXPECT_FALSE(stack.WSGetHostByName("localhost"));
    EXPECT_EQ(stack.WSGetLastError(), net::Id_WSAEINTR);
}
