#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace std::chrono_literals;

// A clock the test moves by hand.
struct HandClock {
    std::chrono::steady_clock::time_point now{};
    cli::ProgressLine::Clock Reader() {
        return [this] { return now; };
    }
};

core::RunProgress At(std::size_t position, std::size_t count, const char *name = "car.com") {
    return {.position = position, .count = count, .name = name};
}

} // namespace

TEST(ProgressLine, OnATerminalShowsTheRateAndTheTimeLeftFromNamesDecided) {
    const struct {
        std::chrono::milliseconds elapsed;
        std::size_t position;
        std::size_t count;
        std::string shown;
    } cases[] = {
        // Nothing decided yet: no rate to speak of.
        {0ms, 1, 100, "Checking... car.com (1/100)"},
        {5000ms, 1, 100, "Checking... car.com (1/100)"},
        // 50 decided in 10 s: 5 a second, 50 left take 10 s.
        {10000ms, 51, 100, "Checking... car.com (51/100)  5.0 names/s, 0:10 left"},
        // 10 decided in 4 s of 1,000: 990 left at 2.5 a second.
        {4000ms, 11, 1000, "Checking... car.com (11/1000)  2.5 names/s, 6:36 left"},
        // The last name under way.
        {2000ms, 3, 3, "Checking... car.com (3/3)  1.0 names/s, 0:01 left"},
    };
    for (const auto &c : cases) {
        std::ostringstream err;
        HandClock clock;
        {
            cli::ProgressLine line(err, true, clock.Reader());
            clock.now += c.elapsed;
            line.ShowProgress(At(c.position, c.count));
            EXPECT_EQ(err.str(), "\r\033[K" + c.shown) << c.shown;
        }
        // A line left on the screen is cleared when the run's view goes.
        EXPECT_EQ(err.str(), "\r\033[K" + c.shown + "\r\033[K");
    }
}

TEST(ProgressLine, ElsewhereOneLineANameWithoutRateOrTerminalCodes) {
    std::ostringstream err;
    HandClock clock;
    cli::ProgressLine line(err, false, clock.Reader());
    line.ShowProgress(At(1, 2));
    clock.now += 10s;
    line.ShowProgress(At(2, 2, "xn--bcker-gra.de"));
    core::RunProgress stopping = At(0, 2);
    stopping.stopping = true;
    line.ShowProgress(stopping);
    line.ShowDone({.noRegistryReached = true});
    EXPECT_EQ(err.str(), std::string("Checking... car.com (1/2)\nChecking... bäcker.de (2/2)\n") +
                             core::kNoRegistryReachedText + "\n");
}
