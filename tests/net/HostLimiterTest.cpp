#include "net/HostLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = net::HostLimiter::Clock;

// A clock the test moves by hand.
struct HandClock {
    Clock::time_point now = Clock::now();
    std::function<Clock::time_point()> Reader() {
        return [this] { return now; };
    }
};

// The starts a limiter lets through, taken as soon as it lets them, as the clock steps a
// millisecond at a time through length; each start's place is given back at once.
std::vector<Clock::time_point> StartsOver(net::HostLimiter &limiter, HandClock &clock,
                                          std::chrono::milliseconds length) {
    std::vector<Clock::time_point> starts;
    for (const auto end = clock.now + length; clock.now <= end; clock.now += 1ms)
        while (limiter.Acquire("one.test", {}, clock.now))
            starts.push_back(clock.now);
    return starts;
}

// The most starts in any window [t, t + length).
std::size_t MostWithin(const std::vector<Clock::time_point> &starts, Clock::duration length) {
    std::size_t most = 0;
    for (std::size_t i = 0, first = 0; i < starts.size(); ++i) {
        while (starts[i] - starts[first] >= length)
            ++first;
        most = std::max(most, i - first + 1);
    }
    return most;
}

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

// A place freed with one host goes to a waiter of that host, never to one of another host, and
// a waiter that stops meanwhile takes nothing from the others.
TEST(HostLimiter, AFreedPlaceGoesToAWaiterOfItsOwnHost) {
    net::HostLimiter limiter({.atOnce = 1});
    auto placeA = limiter.Acquire("a.test");
    auto placeB = limiter.Acquire("b.test");
    std::stop_source quit;
    auto quitter = std::async(std::launch::async,
                              [&] { return bool(limiter.Acquire("a.test", quit.get_token())); });
    auto waiterA = std::async(std::launch::async, [&] { return limiter.Acquire("a.test"); });
    auto waiterB = std::async(std::launch::async, [&] { return limiter.Acquire("b.test"); });
    while (limiter.Waiting("a.test") < 2 || limiter.Waiting("b.test") < 1)
        std::this_thread::yield();
    quit.request_stop();
    EXPECT_FALSE(quitter.get());
    placeA = {};
    auto slotA = waiterA.get();
    EXPECT_TRUE(slotA);
    EXPECT_EQ(waiterB.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(limiter.InUse("b.test"), 1);
    placeB = {};
    EXPECT_TRUE(waiterB.get());
    EXPECT_EQ(limiter.Waiting("a.test") + limiter.Waiting("b.test"), 0);
}

// Every way a wait for a place ends without one: the caller's deadline, or its stop raised before
// or during the wait, for a full host and for a slowed host's gap alike.
TEST(HostLimiter, AWaitEndsEmptyAtTheDeadlineOrOnStop) {
    enum class End { Deadline, StopBefore, StopDuring };
    // Why the host makes the caller wait: no place free, a slowed host's gap, its next token
    // (a tenth of a start a second: ten seconds away), a "too many requests" hold.
    enum class Wait { Full, Slowed, Token, Held };
    struct Case {
        const char *name;
        Wait wait;
        End end;
    };
    const Case cases[] = {
        {"full host, deadline", Wait::Full, End::Deadline},
        {"full host, stop before", Wait::Full, End::StopBefore},
        {"full host, stop during", Wait::Full, End::StopDuring},
        {"slowed host, deadline", Wait::Slowed, End::Deadline},
        {"slowed host, stop during", Wait::Slowed, End::StopDuring},
        {"paced host, deadline", Wait::Token, End::Deadline},
        {"paced host, stop during", Wait::Token, End::StopDuring},
        {"held host, deadline", Wait::Held, End::Deadline},
        {"held host, stop during", Wait::Held, End::StopDuring},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        net::HostLimiter limiter({.atOnce = 1, .slowedGap = 60000ms});
        net::HostLimiter paced({.atOnce = 1, .rate = 0.1});
        net::HostLimiter::Slot held;
        net::HostLimiter::Hold hold;
        if (c.wait == Wait::Slowed)
            limiter.SlowDown("one.test"); // its gap starts now
        else if (c.wait == Wait::Held)
            hold = limiter.TooManyRequests("one.test");
        else if (c.wait == Wait::Full)
            held = limiter.Acquire("one.test");
        // A paced host's bucket starts empty.
        net::HostLimiter &waited = c.wait == Wait::Token ? paced : limiter;
        std::stop_source stop;
        if (c.end == End::StopBefore)
            stop.request_stop();
        const auto deadline = c.end == End::Deadline ? Clock::now() : Clock::time_point::max();
        auto waiting = std::async(std::launch::async, [&] {
            return bool(waited.Acquire("ONE.test", stop.get_token(), deadline));
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

// A paced host lets no start through before its first token comes, then no more than its rate in
// any window, and keeps up that rate.
TEST(HostLimiter, APacedHostStartsEmptyAndNeverGoesAboveItsRate) {
    struct Case {
        double rate;
        std::chrono::milliseconds window;
        std::size_t most;   // starts in any one window at most
        std::size_t starts; // in the first three seconds
        std::chrono::milliseconds first;
    };
    const Case cases[] = {
        {10, 1000ms, 10, 30, 100ms}, {20, 1000ms, 20, 60, 50ms},      {2.5, 1000ms, 2, 6, 500ms},
        {0.5, 2000ms, 1, 1, 2000ms}, {1000, 1000ms, 1000, 3000, 1ms},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        HandClock clock;
        const auto begin = clock.now;
        net::HostLimiter limiter({.atOnce = 4, .rate = c.rate}, clock.Reader());
        const auto starts = StartsOver(limiter, clock, 3000ms);
        ASSERT_EQ(starts.size(), c.starts);
        EXPECT_EQ(starts.front() - begin, c.first);
        EXPECT_EQ(MostWithin(starts, c.window), c.most);
        EXPECT_EQ(limiter.Rate("one.test"), c.rate);
    }
}

TEST(HostLimiter, TooManyRequestsHoldsTheHostThenHalvesItsRate) {
    HandClock clock;
    net::HostLimiter limiter({.atOnce = 4, .rate = 10}, clock.Reader());
    EXPECT_EQ(StartsOver(limiter, clock, 1000ms).size(), 10u);
    auto hold = limiter.TooManyRequests("ONE.test");
    EXPECT_TRUE(limiter.IsSlowed("one.test"));
    EXPECT_EQ(limiter.Rate("one.test"), 5);
    clock.now += 5000ms; // every token is back, but the host is held
    EXPECT_FALSE(limiter.Acquire("one.test", {}, clock.now));
    hold = {};
    const auto starts = StartsOver(limiter, clock, 3000ms);
    EXPECT_GE(starts.size(), 15u);
    EXPECT_EQ(MostWithin(starts, 1000ms), 5u);
    // Each answer halves again, down to one start a minute at the slowest.
    for (int i = 0; i < 20; ++i)
        limiter.SlowDown("one.test");
    EXPECT_EQ(limiter.Rate("one.test"), 1.0 / 60);

    // A hold let go wakes the one waiting for the host.
    net::HostLimiter unpaced({.atOnce = 4, .slowedGap = 0ms});
    hold = unpaced.TooManyRequests("one.test");
    auto waiting =
        std::async(std::launch::async, [&] { return bool(unpaced.Acquire("one.test")); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    hold = {};
    EXPECT_TRUE(waiting.get());
}

} // namespace
