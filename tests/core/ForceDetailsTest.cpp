#include "core/ForceDetails.h"

#include "base/Exception.h"
#include "results/ResultList.h"
#include "tests/support/ProbeCalls.h"
#include "tests/support/ResultRows.h"
#include "tests/support/ScriptedApplication.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using results::ResultList;
using results::ResultRow;

// Probes that answer fixed texts and run an action while they work.
class ScriptedProbes : public testsupport::ProbeCalls {
public:
    probes::Availability CheckAvailability(const std::string &, int) override {
        return probes::Availability::Free;
    }
    std::string GetLinkPopularity(const std::string &name) override {
        asked.push_back("links " + name);
        threads.push_back(std::this_thread::get_id());
        if (duringLinkPopularity)
            duringLinkPopularity();
        return "1234";
    }
    std::string GetTrafficRank(const std::string &name) override {
        asked.push_back("rank " + name);
        if (duringTrafficRank)
            duringTrafficRank();
        return "56";
    }

    std::function<void()> duringLinkPopularity;
    std::function<void()> duringTrafficRank;
    std::vector<std::string> asked;
    std::vector<std::thread::id> threads;
};

class ForceDetailsTest : public ::testing::Test {
protected:
    std::shared_ptr<ResultRow> AddRow(const std::string &name, const std::string &available,
                                      bool checked) {
        return testsupport::AddTestRow(list, name, available, checked);
    }

    static std::vector<std::string> Cells(const ResultRow &row) {
        return testsupport::CellsOf(row);
    }

    ScriptedApplication app;
    ResultList list;
    ScriptedProbes probes;

    void Force() {
        core::ForceDetails(list, testsupport::ProbeListOf(probes), net::NetworkContext());
    }
};

TEST_F(ForceDetailsTest, ForceDetailsFillsTheTakenRowAndKeepsItsMark) {
    AddRow("a.com", "Yes", true);
    AddRow("taken.com", "No", false);
    list.SetSelectedIndex(1);
    Force();
    EXPECT_EQ(probes.asked, (std::vector<std::string>{"links taken.com", "rank taken.com"}));
    EXPECT_EQ(Cells(*list.Row(1)),
              (std::vector<std::string>{"taken.com", "com", "No", "1234", "56"}));
    EXPECT_FALSE(list.Row(1)->Checked());
    EXPECT_EQ(Cells(*list.Row(0)), (std::vector<std::string>{"a.com", "com", "Yes", "-", "-"}));
    EXPECT_EQ(app.Drains(), 3);
    EXPECT_NE(probes.threads.at(0), std::this_thread::get_id());
}

TEST_F(ForceDetailsTest, AnAbandonedForceAsksNoMoreAndLeavesTheRowAsItWas) {
    AddRow("a.com", "No", false);
    list.SetSelectedIndex(0);
    net::NetworkContext context;
    context.Sockets = context.Sockets->Fresh(1000);
    // The window closes in the drain before the rank probe.
    probes.duringLinkPopularity = [&] { app.AtNextDrain([&] { context.Sockets->Interrupt(); }); };
    core::ForceDetails(list, testsupport::ProbeListOf(probes), context);
    EXPECT_EQ(probes.asked, (std::vector<std::string>{"links a.com"}));
    EXPECT_EQ(Cells(*list.Row(0)), (std::vector<std::string>{"a.com", "com", "No", "-", "-"}));
}

TEST_F(ForceDetailsTest, ForceDetailsDoesNothingWithoutANamedRow) {
    Force();
    AddRow("", "Yes", true);
    Force(); // no row selected
    list.SetSelectedIndex(0);
    Force(); // an empty name
    EXPECT_TRUE(probes.asked.empty());
    EXPECT_EQ(app.Drains(), 0);
}

TEST_F(ForceDetailsTest, ForceDetailsFollowsItsRowThroughASort) {
    AddRow("z.com", "No", false);
    AddRow("b.com", "No", false);
    AddRow("a.com", "No", false);
    list.SetSelectedIndex(0);
    // A header click arrives while the message queue drains, a selection change while the
    // rank probe runs.
    app.AtNextDrain([&] { list.SortByColumn(ResultList::DomainName); });
    probes.duringTrafficRank = [&] { list.SetSelectedIndex(0); };
    Force();
    EXPECT_EQ(probes.asked, (std::vector<std::string>{"links z.com", "rank z.com"}));
    EXPECT_EQ(Cells(*list.Row(2)), (std::vector<std::string>{"z.com", "com", "No", "1234", "56"}));
    EXPECT_EQ(Cells(*list.Row(0)), (std::vector<std::string>{"a.com", "com", "No", "-", "-"}));
}

TEST_F(ForceDetailsTest, ForceDetailsDropsItsResultsWhenTheRowsAreReplaced) {
    const struct {
        const char *name;
        bool duringLinkPopularity;
        bool keepOldRowAlive;
    } cases[] = {
        {"cleared while link popularity runs", true, false},
        {"cleared while traffic rank runs", false, false},
        {"cleared while someone still holds the old row", false, true},
    };
    for (const auto &c : cases) {
        list.Clear();
        probes.asked.clear();
        std::shared_ptr<ResultRow> old = AddRow("old.com", "No", false);
        list.SetSelectedIndex(0);
        const auto load = [&] {
            list.Clear();
            AddRow("new.com", "No", false);
            list.SetSelectedIndex(0);
        };
        probes.duringLinkPopularity = nullptr;
        probes.duringTrafficRank = nullptr;
        (c.duringLinkPopularity ? probes.duringLinkPopularity : probes.duringTrafficRank) = load;
        std::weak_ptr<ResultRow> watch = old;
        if (!c.keepOldRowAlive)
            old.reset();

        Force();
        EXPECT_EQ(probes.asked, (std::vector<std::string>{"links old.com", "rank old.com"}))
            << c.name;
        EXPECT_EQ(Cells(*list.Row(0)), (std::vector<std::string>{"new.com", "com", "No", "-", "-"}))
            << c.name;
        EXPECT_EQ(watch.expired(), !c.keepOldRowAlive) << c.name;
        if (old) {
            EXPECT_EQ(*old->SubItem(2), "-") << c.name;
        }
    }
}

TEST_F(ForceDetailsTest, ForceDetailsIgnoresFailuresAndRowsStillBeingFilled) {
    AddRow("a.com", "No", false);
    list.SetSelectedIndex(0);
    probes.duringTrafficRank = [] { throw base::Exception("socket layer failed"); };
    EXPECT_NO_THROW(Force());
    EXPECT_EQ(Cells(*list.Row(0)), (std::vector<std::string>{"a.com", "com", "No", "-", "-"}));

    probes.duringTrafficRank = nullptr;
    auto partial = list.Append(); // a check run has appended only suffix and availability
    partial->SetCaption("run.com");
    partial->AppendSubItem("com");
    partial->AppendSubItem("Yes");
    list.SetSelectedIndex(1);
    Force();
    EXPECT_EQ(Cells(*partial), (std::vector<std::string>{"run.com", "com", "Yes"}));
}

} // namespace
