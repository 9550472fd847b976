#include "net/HostLimiter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = net::HostLimiter::Clock;

TEST(HostLimiter, HoldsEachHostToItsExchangesAtOnce) {
    net::HostLimiter limiter({.atOnce = 4, .slowedGap = 1000ms});
    std::vector<net::HostLimiter::Slot> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(limiter.Acquire(i % 2 ? "ONE.test" : "one.test"));
    // Host names compare without case: both spellings count against one limit.
    EXPECT_EQ(limiter.InUse("One.Test"), 4);
    EXPECT_EQ(limiter.MostAtOnce("one.test"), 4);
    EXPECT_TRUE(limiter.Acquire("other.test")); // another host is not held up
    EXPECT_EQ(limiter.MostAtOnce("other.test"), 0);
    auto fifth = std::async(std::launch::async, [&] { return bool(limiter.Acquire("one.test")); });
    EXPECT_EQ(fifth.wait_for(50ms), std::future_status::timeout);
    held.pop_back();
    EXPECT_TRUE(fifth.get());
    EXPECT_EQ(limiter.InUse("one.test"), 3);
    held.clear();
    EXPECT_EQ(limiter.InUse("one.test"), 0);
}

// Every way a wait for a place ends without one: the caller's deadline, or its stop raised before
// or during the wait, for a full host and for a slowed host's gap alike.
TEST(HostLimiter, AWaitEndsEmptyAtTheDeadlineOrOnStop) {
    enum class End { Deadline, StopBefore, StopDuring };
    struct Case {
        const char *name;
        bool slowed; // else full
        End end;
    };
    const Case cases[] = {
        {"full host, deadline", false, End::Deadline},
        {"full host, stop before", false, End::StopBefore},
        {"full host, stop during", false, End::StopDuring},
        {"slowed host, deadline", true, End::Deadline},
        {"slowed host, stop during", true, End::StopDuring},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        net::HostLimiter limiter({.atOnce = 1, .slowedGap = 60000ms});
        net::HostLimiter::Slot held;
        if (c.slowed)
            limiter.SlowDown("one.test"); // its gap starts now
        else
            held = limiter.Acquire("one.test");
        std::stop_source stop;
        if (c.end == End::StopBefore)
            stop.request_stop();
        const auto deadline = c.end == End::Deadline ? Clock::now() : Clock::time_point::max();
        auto waiting = std::async(std::launch::async, [&] {
            return bool(limiter.Acquire("ONE.test", stop.get_token(), deadline));
        });
        if (c.end == End::StopDuring)
            stop.request_stop();
        EXPECT_FALSE(waiting.get());
        // Another host is not held up, unless the stop is raised: then nothing is let through.
        EXPECT_EQ(bool(limiter.Acquire("two.test", stop.get_token())), c.end == End::Deadline);
    }
}

TEST(HostLimiter, ASlowedHostStartsItsExchangesAGapApart) {
    net::HostLimiter limiter({.atOnce = 4, .slowedGap = 60000ms});
    EXPECT_TRUE(limiter.Acquire("one.test"));
    EXPECT_FALSE(limiter.IsSlowed("one.test"));
    limiter.SlowDown("ONE.test");
    EXPECT_TRUE(limiter.IsSlowed("one.test"));
    EXPECT_FALSE(limiter.IsSlowed("other.test"));
    // A place is free, but the gap has not passed.
    EXPECT_FALSE(limiter.Acquire("one.test", {}, Clock::now() + 20ms));

    net::HostLimiter quick({.atOnce = 4, .slowedGap = 0ms});
    quick.SlowDown("one.test");
    EXPECT_TRUE(quick.Acquire("one.test", {}, Clock::now()));
    EXPECT_TRUE(quick.IsSlowed("one.test")) << "kept slowed with nothing under way";
}

} // namespace
