#include "net/ConnectRouteStack.h"
#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdStackPosix.h"
#include "net/IdTCPClient.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using net::TIdStack;
using net::TIdStackPosix;
using namespace testsupport;

TEST(SocketLayer, LastComponentStopsItAndTheNextStartsItAgain) {
    net::NetworkContext context;
    context.Sockets = std::make_shared<net::SocketLayer>();
    const net::SocketLayer &layer = *context.Sockets;
    ASSERT_EQ(layer.LiveCount(), 0);
    {
        net::TIdTCPClient first(context);
        EXPECT_TRUE(layer.Started());
        {
            net::TIdTCPClient second(context);
            EXPECT_EQ(layer.LiveCount(), 2);
        }
        EXPECT_TRUE(layer.Started());
        EXPECT_EQ(layer.StartCount(), 1);
    }
    EXPECT_FALSE(layer.Started());
    EXPECT_EQ(layer.LiveCount(), 0);
    { net::TIdTCPClient again(context); }
    EXPECT_EQ(layer.StartCount(), 2);
}

TEST(SocketLayer, ThreadsShareOneLayerAndItStopsWithTheLastOfThem) {
    net::NetworkContext context;
    context.Sockets = std::make_shared<net::SocketLayer>();
    std::vector<std::thread> threads;
    net::TIdTCPClient keepsStackAlive(context);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&context] {
            for (int i = 0; i < 200; ++i)
                net::TIdTCPClient client(context);
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(context.Sockets->LiveCount(), 1);
    EXPECT_EQ(context.Sockets->StartCount(), 1);
}

TEST(SocketLayer, StartFailureRaisesFromTheConstructorAndCountsNothing) {
    const net::NetworkContext failing = testsupport::FailingNetworkContext();
    try {
        net::TIdTCPClient client(failing);
        FAIL() << "constructed";
    } catch (const net::EIdStackInitializationFailed &error) {
        EXPECT_STREQ(error.what(), "Winsock Initialization Error.");
    }
    EXPECT_EQ(failing.Sockets->LiveCount(), 0);
    EXPECT_FALSE(failing.Sockets->Started());
}

struct AddressCase {
    const char *name;
    const char *address;
    bool asksPlatform;
};

class HostToAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(HostToAddressTest, AsksThePlatformOnlyForNames) {
    const auto &param = GetParam();
    const testsupport::LoopbackNetwork stack(1);
    net::TIdTCPClient keepsStackAlive(stack.Context());
    EXPECT_EQ(keepsStackAlive.Stack().HostToAddress(param.name), param.address);
    const auto asked = stack.Resolved();
    EXPECT_EQ(asked.size(), param.asksPlatform ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Names, HostToAddressTest,
                         ::testing::Values(AddressCase{"localhost", "127.0.0.1", false},
                                           AddressCase{"LocalHost", "127.0.0.1", false},
                                           AddressCase{"10.0.0.1", "10.0.0.1", false},
                                           AddressCase{"1.2.3", "127.0.0.1", true},
                                           AddressCase{"www.fastcar.com", "127.0.0.1", true}));

TEST(SocketLayer, AsksThePlatformOnceForANameItResolvedButAgainForOneThatFailed) {
    const testsupport::LoopbackNetwork stack(1, {"gone.example"});
    net::TIdTCPClient keepsStackAlive(stack.Context());
    for (const char *name : {"search.example", "SEARCH.Example", "search.example"})
        EXPECT_EQ(keepsStackAlive.Stack().HostToAddress(name), "127.0.0.1");
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_THROW(keepsStackAlive.Stack().HostToAddress("gone.example"), net::EIdSocketError);
    const std::vector<std::string> asked = {"search.example", "gone.example", "gone.example"};
    EXPECT_EQ(stack.Resolved(), asked);
}

TEST(SocketLayer, PlatformResolvesNumericNamesItself) {
    net::TIdTCPClient keepsStackAlive;
    EXPECT_EQ(keepsStackAlive.Stack().HostToAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(TIdStackPosix().WSGetHostByName("127.0.0.2").value_or(""), "127.0.0.2");
}

TEST(SocketLayer, AddressLiteralsAreFourNumbersUpTo255) {
    const std::pair<const char *, bool> cases[] = {
        {"10.0.0.1", true},   {"255.255.255.255", true}, {"0.0.0.0", true},   {"1.2.3", false},
        {"1.2.3.256", false}, {"1.2.3.4.5", false},      {"a.b.c.d", false},  {"", false},
        {"1..2.3", false},    {" 1.2.3.4", true},        {"-1.2.3.4", false}, {"www.x.com", false}};
    for (const auto &[text, literal] : cases)
        EXPECT_EQ(TIdStack::IsAddressLiteral(text), literal) << text;
}

TEST(SocketErrors, TextsAreTheWindowsSocketsTexts) {
    const std::pair<int, const char *> cases[] = {
        {10004, "Interrupted system call."},
        {10035, "Operation would block. "},
        {10048, "Address already in use."},
        {10054, "Connection reset by peer."},
        {10058, "Cannot send or receive after socket is closed."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10066, "Directory not empty"},
        {10000, ""},
        {11001, ""},
        {5, ""}};
    for (const auto &[number, text] : cases)
        EXPECT_EQ(TIdStack::SocketErrorText(number), text) << number;
}

TEST(SocketErrors, PosixNumbersMapByName) {
    const std::pair<int, int> cases[] = {{ECONNREFUSED, 10061}, {ECONNRESET, 10054},
                                         {ETIMEDOUT, 10060},    {EHOSTUNREACH, 10065},
                                         {ENETUNREACH, 10051},  {EADDRINUSE, 10048},
                                         {ESHUTDOWN, 10058},    {EPIPE, 10058},
                                         {EAGAIN, 10035},       {EINPROGRESS, 10036},
                                         {ENOTSOCK, 10038},     {ENOTEMPTY, 10066},
                                         {EMFILE, 10024},       {EIO, EIO}};
    for (const auto &[error, number] : cases)
        EXPECT_EQ(TIdStackPosix::MapErrno(error), number) << error;
}

TEST(SocketErrors, CheckSocketResultRaisesUnlessIgnored) {
    struct FailingStack : TIdStackPosix {
        int Answer(int number) { return Fail(number); }
    } stack;
    EXPECT_FALSE(stack.CheckSocketResult(0));
    EXPECT_TRUE(stack.CheckSocketResult(stack.Answer(10048), {10048}));
    try {
        stack.CheckSocketResult(stack.Answer(10065), {10048});
        FAIL();
    } catch (const net::EIdSocketError &error) {
        EXPECT_EQ(error.SocketErrorCode(), 10065);
        EXPECT_STREQ(error.what(), "Socket Error # 10065\r\nNo route to host.");
    }
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST(SocketLayer, FailedConnectionsLeaveNoDescriptorBehind) {
    // Bound but not listening: connections to it are refused, and no one else can take it.
    LoopbackSocket closed;
    const int closedPort = closed.Port();
    const int before = OpenDescriptors();
    int refused = 0, reset = 0, timedOut = 0;
    {
        ScriptedServer server;
        for (int i = 0; i < 1000; ++i) {
            const int kind = i % 3;
            if (kind == 1)
                server.Enqueue({Reset()});
            if (kind == 2)
                server.Enqueue({Silent()});
            net::TIdTCPClient client;
            client.Host = "127.0.0.1";
            client.Port = kind == 0 ? closedPort : server.Port();
            client.ReadTimeout = kind == 2 ? 1 : 2000;
            try {
                client.OpenConnection();
                client.ReadLine();
            } catch (const net::EIdSocketError &error) {
                refused += error.SocketErrorCode() == 10061;
                // A reset that beats the client to reading its peer's address gives 10057.
                reset += error.SocketErrorCode() == 10054 || error.SocketErrorCode() == 10057;
                timedOut += error.SocketErrorCode() == 10060;
            } catch (const net::EIdConnClosedGracefully &) {
                ADD_FAILURE() << "a reset read as a close";
            }
        }
    }
    EXPECT_EQ(refused, 334);
    EXPECT_EQ(reset, 333);
    EXPECT_EQ(timedOut, 333);
    EXPECT_EQ(OpenDescriptors(), before);
}

} // namespace

namespace {

// A name lookup that answers every name with 127.0.0.1 and notes each name it was asked.
class CountedLookups {
public:
    net::NameLookup Lookup() {
        return [this](const std::string &name, std::string &address) {
            std::lock_guard lock(mutex_);
            asked_.push_back(name);
            address = "127.0.0.1";
            return 0;
        };
    }
    std::vector<std::string> Asked() const {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> asked_;
};

} // namespace

TEST(LookAhead, ANameLookedUpAheadIsAskedOnceAndOnlyWhenItNeedsAskingAtAll) {
    CountedLookups lookups;
    net::TIdStackPosix stack(lookups.Lookup());
    stack.ResolveAhead("site.test");
    stack.ResolveAhead("Site.test"); // already under way
    EXPECT_EQ(stack.LookupsWaitingAhead(), 1u);
    EXPECT_EQ(stack.HostToAddress("SITE.test"), "127.0.0.1");
    EXPECT_EQ(stack.LookupsWaitingAhead(), 0u);
    // Answered without the platform: remembered, local, or an address.
    for (const char *name : {"site.test", "localhost", "10.1.2.3"})
        stack.ResolveAhead(name);
    EXPECT_EQ(stack.LookupsWaitingAhead(), 0u);
    EXPECT_EQ(stack.HostToAddress("site.test"), "127.0.0.1");
    EXPECT_EQ(lookups.Asked(), (std::vector<std::string>{"site.test"}));
}

TEST(LookAhead, NeitherARoutedNameNorAnInterruptedLayerLooksAhead) {
    CountedLookups lookups;
    net::TIdStackConnectRoutes stack({{"routed.test", 80, "127.0.0.1", 8080}}, lookups.Lookup());
    stack.ResolveAhead("routed.test");
    EXPECT_EQ(stack.LookupsWaitingAhead(), 0u);
    stack.ResolveAhead("other.test");
    EXPECT_EQ(stack.LookupsWaitingAhead(), 1u);
    EXPECT_EQ(stack.HostToAddress("other.test"), "127.0.0.1");
    EXPECT_EQ(lookups.Asked(), (std::vector<std::string>{"other.test"}));

    net::TIdStackConnectRoutes everything({{"", std::nullopt, "127.0.0.1", 8080}},
                                          lookups.Lookup());
    everything.ResolveAhead("any.test");
    EXPECT_EQ(everything.LookupsWaitingAhead(), 0u);
    stack.Interrupt();
    stack.ResolveAhead("late.test");
    EXPECT_EQ(stack.LookupsWaitingAhead(), 0u);
    EXPECT_EQ(lookups.Asked(), (std::vector<std::string>{"other.test"}));
}

TEST(LookupPool, NamesAskedOneAfterTheOtherShareOneThreadAndManyAtOnceAFewThreads) {
    CountedLookups lookups;
    net::TIdStackPosix stack(lookups.Lookup());
    for (const char *name : {"one.test", "two.test", "three.test"})
        EXPECT_EQ(stack.HostToAddress(name), "127.0.0.1");
    EXPECT_EQ(stack.LookupThreads(), 1u);
    for (int i = 0; i < 40; ++i)
        stack.ResolveAhead("ahead" + std::to_string(i) + ".test");
    EXPECT_LE(stack.LookupThreads(), 4u);
    // The stack's end joins its threads: nothing is left running (ThreadSanitizer and the
    // test's own end would see it).
}
