#include "registry/WhoisPacer.h"

#include "tests/registry/PacedTime.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace registry {
namespace {

using namespace std::chrono_literals;
using Outcome = WhoisPacer::Outcome;
using registrytest::JumpingTime;

TEST(WhoisPacer, PausesBetweenTurnsWithOneServerOnly) {
    const auto time = std::make_shared<JumpingTime>();
    WhoisPacer pacer(1000ms, time);
    {
        const auto first = pacer.Acquire("whois.denic.de", 60s);
        ASSERT_TRUE(first);
    }
    // The next turn with the same server waits out the pause, counted from the end of the first.
    const auto released = time->Now();
    {
        const auto second = pacer.Acquire("WHOIS.DENIC.DE", 60s);
        ASSERT_TRUE(second);
        EXPECT_GE(time->Now() - released, 1000ms);
        // Another server needs no wait.
        const auto other = pacer.Acquire("whois.eu", 60s);
        EXPECT_TRUE(other);
    }
    EXPECT_EQ(time->Jumps(), (std::vector<std::chrono::milliseconds>{1000ms}));
}

TEST(WhoisPacer, WaitsNeverPassTheDeadline) {
    const auto time = std::make_shared<JumpingTime>();
    WhoisPacer pacer(1000ms, time);
    auto held = pacer.Acquire("whois.nic.io", 60s);
    // At most one query at once: a second turn while the first is held times out.
    const auto busy = pacer.Acquire("whois.nic.io", 300ms);
    EXPECT_FALSE(busy);
    EXPECT_EQ(busy.Result(), Outcome::TimedOut);
    held = {};
    // Within the pause, a deadline before its end times out there.
    const auto paused = pacer.Acquire("whois.nic.io", 400ms);
    EXPECT_EQ(paused.Result(), Outcome::TimedOut);
    EXPECT_EQ(time->Jumps(), (std::vector<std::chrono::milliseconds>{300ms, 400ms}));
}

TEST(WhoisPacer, InterruptionEndsWaitsNowAndLater) {
    WhoisPacer pacer(std::chrono::hours(1));
    auto held = pacer.Acquire("whois.jprs.jp", 1s);
    ASSERT_TRUE(held);
    std::stop_source run;
    auto waiting = std::async(std::launch::async, [&] {
        return pacer.Acquire("whois.jprs.jp", std::chrono::hours(1), run.get_token());
    });
    run.request_stop();
    EXPECT_EQ(waiting.get().Result(), Outcome::Interrupted);
    EXPECT_EQ(pacer.Acquire("whois.eu", 1s, run.get_token()).Result(), Outcome::Interrupted);
}

TEST(WhoisPacer, AStopTokenEndsItsOwnWait) {
    WhoisPacer pacer(std::chrono::hours(1));
    auto held = pacer.Acquire("whois.eu", 1s);
    std::stop_source stop;
    auto waiting = std::async(std::launch::async, [&] {
        return pacer.Acquire("whois.eu", std::chrono::hours(1), stop.get_token());
    });
    stop.request_stop();
    EXPECT_EQ(waiting.get().Result(), Outcome::Interrupted);
    // Others still get their turns.
    EXPECT_TRUE(pacer.Acquire("whois.nic.us", 1s));
}

} // namespace
} // namespace registry
