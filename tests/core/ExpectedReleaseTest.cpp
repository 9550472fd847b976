#include "core/ExpectedRelease.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono;
using core::ReleaseRule;

sys_days Day(const char *text) {
    return core::DayFromText(text).value();
}

struct ReleaseCase {
    std::vector<std::string> status;
    const char *expires;    // "" for none
    const char *phaseSince; // "" for none
    const char *expected;   // ReleaseText, "" for no date
};

TEST(ExpectedRelease, FollowsTheDeletionCycle) {
    const sys_days today = Day("2026-12-08");
    const ReleaseCase cases[] = {
        // Redemption: 30 days, then 5 of pending delete, from the day it was first seen so.
        {{"redemption period"},
         "2026-10-01",
         "2026-12-01",
         "2027-01-05 (redemption period + 30 days + pending delete 5 days)"},
        // Registries show both words during redemption: redemption decides.
        {{"pending delete", "redemption period"},
         "",
         "2026-12-01",
         "2027-01-05 (redemption period + 30 days + pending delete 5 days)"},
        {{"redemptionPeriod"},
         "",
         "2026-12-30",
         "2027-02-03 (redemption period + 30 days + pending delete 5 days)"},
        {{"pending delete"}, "", "2026-12-29", "2027-01-03 (pending delete 5 days)"},
        {{"client hold", "Pending_Delete"},
         "2026-01-01",
         "2026-12-08",
         "2026-12-13 (pending delete 5 days)"},
        // Auto-renew grace: only once the expiry has passed, and only as the earliest date.
        {{"auto renew period"},
         "2026-12-01",
         "2026-12-02",
         "2027-01-15 at the earliest (expiry + 45 days of auto-renew grace)"},
        {{"autoRenewPeriod"},
         "2026-12-07",
         "",
         "2027-01-21 at the earliest (expiry + 45 days "
         "of auto-renew grace)"},
        {{"auto renew period"}, "2026-12-08", "2026-12-02", ""},
        {{"auto renew period"}, "2027-03-01", "", ""},
        {{"auto renew period"}, "", "2026-12-02", ""},
        // No phase start, no date; an active name has none.
        {{"redemption period"}, "2026-10-01", "", ""},
        {{"pending delete"}, "", "", ""},
        {{"active"}, "2025-01-01", "2026-01-01", ""},
        {{}, "", "", ""},
        // A word that only contains a phase's name is not that phase.
        {{"pending delete restorable"}, "", "2026-12-01", ""},
    };
    for (const ReleaseCase &c : cases) {
        core::ReleaseFacts facts;
        facts.status = c.status;
        if (*c.expires)
            facts.expires = Day(c.expires);
        if (*c.phaseSince)
            facts.phaseSince = Day(c.phaseSince);
        const auto release = core::ExpectRelease(facts, today);
        EXPECT_EQ(release ? core::ReleaseText(*release) : "", c.expected)
            << testing::PrintToString(c.status) << " " << c.expires << " " << c.phaseSince;
    }
}

TEST(ExpectedRelease, ReadsOnlyWholeDates) {
    const std::pair<const char *, bool> cases[] = {
        {"2027-01-05", true},  {"2024-02-29", true},  {"2026-02-29", false},
        {"2026-13-01", false}, {"2026-1-01", false},  {"2026-01-01T", false},
        {"", false},           {"2026/01/01", false}, {"20x6-01-01", false},
    };
    for (const auto &[text, valid] : cases) {
        const auto day = core::DayFromText(text);
        EXPECT_EQ(day.has_value(), valid) << text;
        if (day) {
            EXPECT_EQ(core::DayText(*day), text);
        }
    }
}

} // namespace
