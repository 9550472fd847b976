#include "core/WatchList.h"

#include "platform/SqliteDatabase.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace std::chrono;
using probes::Availability;

core::WatchState Taken(std::string status, std::string expires = "2027-03-15",
                       std::string registrar = "Example Registrar") {
    return {Availability::Taken, std::move(status), std::move(expires), std::move(registrar),
            "rdap"};
}

core::WatchState Free() {
    return {Availability::Free, "", "", "", "rdap"};
}

class WatchListTest : public ::testing::Test {
protected:
    core::WatchList Open() {
        return core::WatchList(file, [this] { return now; });
    }

    TempFolder folder{"nimbrel-watch"};
    std::filesystem::path file = folder.Path() / "Nimbrel" / "watch.sqlite";
    system_clock::time_point now = sys_days(2026y / 12 / 1);
};

TEST_F(WatchListTest, AddsAndRemovesNamesOnce) {
    core::WatchList list = Open();
    EXPECT_EQ(list.Add({"b.com", "a.com", "b.com"}), 2);
    EXPECT_EQ(list.Add({"a.com", "c.org"}), 1);
    EXPECT_EQ(list.Remove({"c.org", "x.net"}), 1);
    const auto names = list.Names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].name, "a.com");
    EXPECT_EQ(names[1].name, "b.com");
    EXPECT_FALSE(names[0].state.has_value());
    EXPECT_FALSE(names[0].checkedAt.has_value());
    EXPECT_EQ(names[0].added, now);
}

// Each step: the state a check found, whether it is a change, and the phase start after it.
struct Step {
    core::WatchState state;
    bool change;
    int phaseDay; // day of December the phase began; 0 for none
};

TEST_F(WatchListTest, RecordsAHistoryRowOnlyWhenTheRegistrationChanged) {
    core::WatchList list = Open();
    list.Add({"a.com"});
    core::WatchState otherEvidence = Taken("active");
    otherEvidence.evidence = "whois";
    const Step steps[] = {
        {Taken("active"), true, 1},
        {Taken("active"), false, 1},
        {otherEvidence, false, 1},
        {Taken("active", "2028-03-15"), true, 1},
        {Taken("active", "2028-03-15", "Other Registrar"), true, 1},
        // Another phase starts on the day it is first seen, and stays while it lasts.
        {Taken("redemption period, pending delete"), true, 6},
        {Taken("client hold, redemption period, pending delete"), true, 6},
        {Taken("pending delete"), true, 8},
        {Free(), true, 0},
        {Free(), false, 0},
        {Taken("active"), true, 11},
    };
    int day = 1;
    std::size_t rows = 0;
    for (const Step &step : steps) {
        now = sys_days(2026y / 12 / day);
        const auto change = list.Record("a.com", step.state);
        EXPECT_EQ(change.has_value(), step.change) << day;
        rows += step.change ? 1 : 0;
        const auto watched = list.Names().at(0);
        EXPECT_EQ(watched.checkedAt, now);
        ASSERT_TRUE(watched.state.has_value());
        EXPECT_EQ(watched.state->status, step.state.status);
        EXPECT_EQ(watched.state->evidence, step.state.evidence);
        if (step.phaseDay)
            EXPECT_EQ(watched.phaseSince, sys_days(2026y / 12 / step.phaseDay)) << day;
        else
            EXPECT_FALSE(watched.phaseSince.has_value()) << day;
        ++day;
    }
    const auto history = list.History("a.com");
    ASSERT_EQ(history.size(), rows);
    EXPECT_EQ(history.front().checkedAt, sys_days(2026y / 12 / 1));
    EXPECT_EQ(history[3].state.status, "redemption period, pending delete");
    EXPECT_EQ(history.back().state.status, "active");
}

TEST_F(WatchListTest, TellsTheChangeWithWhatCameBefore) {
    core::WatchList list = Open();
    list.Add({"a.com"});
    const auto first = list.Record("a.com", Taken("pending delete"));
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(first->before.has_value());
    now += days(3);
    const auto second = list.Record("a.com", Free());
    ASSERT_TRUE(second.has_value());
    ASSERT_TRUE(second->before.has_value());
    EXPECT_EQ(second->before->status, "pending delete");
    EXPECT_EQ(second->after.available, Availability::Free);
}

TEST_F(WatchListTest, IgnoresUnknownAnswersAndNamesNotWatched) {
    core::WatchList list = Open();
    list.Add({"a.com"});
    core::WatchState unknown = Taken("");
    unknown.available = Availability::Unknown;
    EXPECT_FALSE(list.Record("a.com", unknown).has_value());
    EXPECT_FALSE(list.Record("b.com", Taken("active")).has_value());
    EXPECT_FALSE(list.Names().at(0).state.has_value());
    EXPECT_TRUE(list.History("b.com").empty());
    list.Record("a.com", Taken("active"));
    list.Remove({"a.com"});
    list.Add({"a.com"});
    EXPECT_TRUE(list.History("a.com").empty()) << "a removed name's history goes with it";
}

TEST_F(WatchListTest, KeepsEverythingAcrossOpenings) {
    {
        core::WatchList list = Open();
        list.Add({"a.com"});
        list.Record("a.com", Taken("redemption period"));
    }
    core::WatchList again = Open();
    EXPECT_TRUE(again.Note().empty());
    ASSERT_EQ(again.Names().size(), 1u);
    EXPECT_EQ(again.Names()[0].state->status, "redemption period");
    EXPECT_EQ(again.History("a.com").size(), 1u);
}

TEST_F(WatchListTest, SetsADamagedFileAsideAndStartsAnew) {
    std::filesystem::create_directories(file.parent_path());
    const std::pair<const char *, std::string> damages[] = {
        {"garbage", std::string(8192, 'x')},
        {"another layout", ""},
    };
    for (const auto &[what, bytes] : damages) {
        std::filesystem::remove(file);
        if (bytes.empty()) {
            platform::SqliteDatabase db(file, milliseconds(100));
            db.Execute("PRAGMA user_version=7");
        } else {
            std::ofstream(file, std::ios::binary) << bytes;
        }
        core::WatchList list = Open();
        EXPECT_NE(list.Note().find("set aside as watch.sqlite.damaged-2026-12-01T0000"),
                  std::string::npos)
            << what << ": " << list.Note();
        EXPECT_EQ(list.Add({"a.com"}), 1) << what;
    }
}

} // namespace
