#include "core/CheckPool.h"

#include "net/HostLimiter.h"
#include "net/IdHTTP.h"
#include "net/IdStackPosix.h"
#include "net/IdTCPClient.h"
#include "registry/CancellableWait.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr auto kPatience = 5s;
// Each wait ends within a few milliseconds of the abandon; the bound is loose so that a loaded
// machine does not fail the test, and the figures are printed.
constexpr auto kBound = 1s;

// A latch that one thread opens and another waits on, at most kPatience.
class Signal {
public:
    void Raise() {
        std::lock_guard lock(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    bool Wait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

// A probe that blocks its name in one wait of the run and notes when the wait ended.
class BlockedProbe : public probes::Probe {
public:
    using Block = std::function<void(const net::NetworkContext &)>;
    explicit BlockedProbe(Block block) : block_(std::move(block)) {}

    std::vector<std::string> Fills() const override { return {}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &, const net::NetworkContext &context,
             const probes::Pause &) const override {
        entered.Raise();
        try {
            block_(context);
        } catch (...) {
            // How it ended does not matter here, only when.
        }
        std::lock_guard lock(mutex_);
        endedAt_ = Clock::now();
        changed_.notify_all();
    }

    std::optional<Clock::time_point> WaitEnded() const {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [this] { return endedAt_.has_value(); });
        return endedAt_;
    }

    mutable Signal entered;

private:
    Block block_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::optional<Clock::time_point> endedAt_;
};

// A name lookup that waits until the test lets it go, as a stuck resolver does.
class StuckLookup {
public:
    net::NameLookup Lookup() {
        return [this](const std::string &, std::string &address) {
            asked.Raise();
            released_.Wait();
            address = "127.0.0.1";
            return 0;
        };
    }
    void Release() { released_.Raise(); }
    Signal asked;

private:
    Signal released_;
};

enum class WaitKind { Lookup, Connect, Read, HostLimit, RdapTurn, RetryWait, CheckPoolNext };

struct AbandonCase {
    const char *name;
    WaitKind kind;
};

class RunAbandonTest : public ::testing::TestWithParam<AbandonCase> {};

// Abandoning a run is one call on its pool (the run's InterruptToken), and a name blocked in any
// wait of the run is woken by it.
TEST_P(RunAbandonTest, ANameBlockedInTheWaitEndsSoonAfterTheAbandon) {
    ScriptedServer server;
    server.SetDefault({ReadRequest(), Hold()});
    const LoopbackNetwork network(server.Port());
    net::NetworkContext base = network.Context(30000, 30000);
    StuckLookup lookup;
    // A listener whose queue is full drops further connection requests: a connect waits.
    LoopbackSocket full;
    full.Listen(0);
    std::vector<std::unique_ptr<net::TIdTCPClient>> fillers;
    net::HostLimiter rdapHosts({.atOnce = 1, .slowedGap = 0ms});
    const auto rdapHeld = rdapHosts.Acquire("rdap.test");
    registry::CancellableWait pauses;
    std::function<bool()> blocked = [] { return true; };
    BlockedProbe::Block block;

    switch (GetParam().kind) {
    case WaitKind::Lookup:
        base.Sockets = std::make_shared<net::SocketLayer>(
            [&] { return std::make_unique<net::TIdStackPosix>(lookup.Lookup()); });
        block = [](const net::NetworkContext &context) {
            net::TIdHTTP(context).FetchText("http://stuck.test/");
        };
        blocked = [&] { return lookup.asked.Wait(); };
        break;
    case WaitKind::Connect:
        for (int i = 0; i < 2; ++i) {
            auto filler = std::make_unique<net::TIdTCPClient>(network.Context(100, 100));
            filler->Host = "127.0.0.1";
            filler->Port = full.Port();
            try {
                filler->OpenConnection();
            } catch (...) {
            }
            fillers.push_back(std::move(filler));
        }
        block = [&](const net::NetworkContext &context) {
            net::TIdTCPClient client(context);
            client.Host = "127.0.0.1";
            client.Port = full.Port();
            client.OpenConnection();
            client.ReadLine();
        };
        break;
    case WaitKind::Read:
        block = [](const net::NetworkContext &context) {
            net::TIdHTTP(context).FetchText("http://www.silent.com/");
        };
        blocked = [&] { return server.WaitForHeld(1); };
        break;
    case WaitKind::HostLimit:
        // The first exchange holds the host's one place; the second waits for it.
        block = [&](const net::NetworkContext &context) {
            std::thread first([&] {
                try {
                    net::TIdHTTP(context).FetchText("http://www.silent.com/");
                } catch (...) {
                }
            });
            server.WaitForHeld(1);
            try {
                net::TIdHTTP(context).FetchText("http://www.silent.com/second");
            } catch (...) {
            }
            first.join();
        };
        blocked = [&] { return server.WaitForHeld(1); };
        break;
    case WaitKind::RdapTurn:
        block = [&](const net::NetworkContext &context) {
            rdapHosts.Acquire("rdap.test", context.Sockets->QueuedWaitsToken());
        };
        break;
    case WaitKind::RetryWait:
        block = [&](const net::NetworkContext &context) {
            pauses.WaitFor(1h, context.Sockets->QueuedWaitsToken());
        };
        break;
    case WaitKind::CheckPoolNext:
        block = [&](const net::NetworkContext &context) {
            pauses.WaitFor(1h, context.Sockets->QueuedWaitsToken());
        };
        break;
    }

    const auto probe = std::make_shared<BlockedProbe>(block);
    std::optional<Clock::duration> elapsed;
    {
        core::CheckPool pool(std::vector<std::string>{"name.com"}, {probe},
                             core::ContextForRun(base, 1), 1, {});
        ASSERT_TRUE(probe->entered.Wait());
        ASSERT_TRUE(blocked());
        if (GetParam().kind == WaitKind::CheckPoolNext) {
            // The run's own thread waits for the next outcome; the abandon comes from another.
            std::optional<Clock::time_point> returned;
            std::thread waiter([&] {
                pool.Next(std::chrono::hours(1));
                returned = Clock::now();
            });
            const auto start = Clock::now();
            pool.Abandon();
            waiter.join();
            elapsed = *returned - start;
        } else {
            const auto start = Clock::now();
            pool.Abandon();
            const auto ended = probe->WaitEnded();
            ASSERT_TRUE(ended.has_value());
            elapsed = *ended - start;
        }
        // A lookup the platform cannot interrupt finishes aside; the layer's end joins it.
        lookup.Release();
        server.Release();
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(*elapsed).count();
    std::cout << "[ abandon ] " << GetParam().name << " ended " << micros << " us after it\n";
    RecordProperty("elapsed_us", std::to_string(micros));
    EXPECT_LT(*elapsed, kBound);
}

INSTANTIATE_TEST_SUITE_P(EveryWait, RunAbandonTest,
                         ::testing::Values(AbandonCase{"Lookup", WaitKind::Lookup},
                                           AbandonCase{"Connect", WaitKind::Connect},
                                           AbandonCase{"Read", WaitKind::Read},
                                           AbandonCase{"HostLimit", WaitKind::HostLimit},
                                           AbandonCase{"RdapTurn", WaitKind::RdapTurn},
                                           AbandonCase{"RetryWait", WaitKind::RetryWait},
                                           AbandonCase{"CheckPoolNext", WaitKind::CheckPoolNext}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
