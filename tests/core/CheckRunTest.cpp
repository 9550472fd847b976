#include "core/CheckRun.h"
#include "base/FieldKeys.h"

#include "core/CheckPool.h"

#include "results/ResultList.h"
#include "tests/support/ProbeCalls.h"
#include "tests/support/ScriptedApplication.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using core::StringList;

namespace {

// Probes that answer from tables and let a test act in the middle of a probe. Safe to call
// from many threads; the test reads calls once the run has ended.
class FakeProbes : public testsupport::ProbeCalls {
public:
    probes::Availability CheckAvailability(const std::string &url, int port) override {
        EXPECT_EQ(port, 80);
        Hook("avail", url);
        if (failOn == url)
            throw std::runtime_error("the socket layer did not start");
        if (unknown.count(url.substr(11)))
            return probes::Availability::Unknown;
        return taken.count(url.substr(11)) ? probes::Availability::Taken
                                           : probes::Availability::Free;
    }
    std::string GetLinkPopularity(const std::string &name) override {
        Hook("links", name);
        return "1" + std::to_string(name.size());
    }
    std::string GetTrafficRank(const std::string &name) override {
        Hook("rank", name);
        return "9" + std::to_string(name.size());
    }

    std::map<std::string, int> taken;
    std::map<std::string, int> unknown;
    std::string failOn;
    std::vector<std::string> calls;
    std::map<std::string, std::function<void()>> during; // "rank fast.com" -> action
    std::vector<std::thread::id> threads;                // where each call ran

private:
    // Logs the call and runs its action, if any, once.
    void Hook(const std::string &probe, const std::string &subject) {
        std::function<void()> action;
        {
            std::lock_guard lock(mutex_);
            calls.push_back(probe + " " + subject);
            threads.push_back(std::this_thread::get_id());
            auto found = during.find(probe + " " + subject);
            if (found == during.end())
                return;
            action = std::move(found->second);
            during.erase(found);
        }
        action();
    }

    std::mutex mutex_;
};

class FakePrompt : public core::KeywordsPrompt {
public:
    core::KeywordsAnswer ShowKeywordsModal() override {
        ++shown;
        return answer;
    }
    core::KeywordsAnswer answer = core::KeywordsAnswer::Search;
    int shown = 0;
};

// The window's status texts of a run, in order.
class FakeStatus : public core::ProgressView {
public:
    void ShowProgress(const core::RunProgress &progress) override {
        texts.push_back(core::StatusText(progress));
    }
    void ShowDone(const core::RunEnd &end) override {
        texts.push_back(end.noRegistryReached ? core::kNoRegistryReachedText : core::kRunDoneText);
    }
    std::vector<std::string> texts;
};

// Marks the names it is given as ones that no registry answered for, as the registry probe does
// without a network.
class NothingAnswered : public probes::Probe {
public:
    explicit NothingAnswered(std::set<std::string> names) : names_(std::move(names)) {}
    std::vector<std::string> Fills() const override { return {}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        record.nothingAnswered = names_.count(record.name) > 0;
    }

private:
    std::set<std::string> names_;
};

struct RowView {
    std::string caption;
    StringList subItems;
    bool checked;
    bool operator==(const RowView &) const = default;
};

std::ostream &operator<<(std::ostream &out, const RowView &row) {
    out << row.caption << (row.checked ? " [x]" : " [ ]");
    for (const auto &item : row.subItems)
        out << " | " << item;
    return out;
}

class CheckRunTest : public ::testing::Test {
protected:
    CheckRunTest() {
        options.keywords = {"fast", "car"};
        options.SetSearchFor(core::kExactPhrase);
        options.SetJobs(1); // the one-after-the-other run
    }

    // The rows without their display names, which ASCII names show as they are (checked once,
    // here, for every row).
    std::vector<RowView> Rows() const {
        std::vector<RowView> rows;
        for (int i = 0; i < list.Count(); ++i) {
            const auto &row = *list.Row(i);
            StringList subItems;
            for (int k = 0; k < row.SubItemCount(); ++k) {
                if (list.GetColumns().At(k + 1).key != base::field::kDisplay)
                    subItems.emplace_back(*row.SubItem(k));
                else
                    EXPECT_EQ(*row.SubItem(k), row.Caption());
            }
            rows.push_back({row.Caption(), subItems, row.Checked()});
        }
        return rows;
    }
    int Probed(const std::string &prefix) const {
        return static_cast<int>(
            std::count_if(probes.calls.begin(), probes.calls.end(),
                          [&](const auto &c) { return c.starts_with(prefix); }));
    }

    ScriptedApplication app;
    core::SearchOptions options;
    StringList candidates, scratch;
    results::ResultList list;
    FakeProbes probes;
    FakePrompt prompt;
    FakeStatus status;
    core::CheckRun run{
        options, candidates, scratch, list, testsupport::ProbeListOf(probes), net::NetworkContext(),
        prompt,  status};
};

} // namespace

TEST_F(CheckRunTest, ListsAvailableNamesWithDetailsAndTakenNamesWithPlaceholders) {
    probes.taken = {{"car.com", 1}};
    run.Start();
    EXPECT_EQ(Rows(), (std::vector<RowView>{
                          {"fast.com", {"com", "Yes", "18", "98", "-", "-", "-", "-", "-"}, true},
                          {"car.com", {"com", "No", "-", "-", "-", "-", "-", "-", "-"}, false}}));
    EXPECT_EQ(status.texts, (StringList{"Checking... fast.com", "Checking... car.com", "Done!"}));
    EXPECT_EQ(probes.calls, (StringList{"avail http://www.fast.com", "links fast.com",
                                        "rank fast.com", "avail http://www.car.com"}));
    EXPECT_EQ(app.busyShown, 1);
    EXPECT_EQ(app.busyDepth, 0);

    // A Stop with no run in progress stops no later run.
    run.Stop();
    probes.calls.clear();
    run.Start();
    EXPECT_EQ(Probed("avail"), 2);
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(CheckRunTest, CancelKeepsTheRowsAndTheStatusAndRunsNothing) {
    run.Start();
    const auto rowsBefore = Rows();
    status.texts.clear();
    probes.calls.clear();
    prompt.answer = core::KeywordsAnswer::Cancel;
    run.Start();
    EXPECT_EQ(prompt.shown, 2);
    EXPECT_EQ(Rows(), rowsBefore);
    EXPECT_TRUE(status.texts.empty());
    EXPECT_TRUE(probes.calls.empty());
}

TEST_F(CheckRunTest, NoSuffixClearsTheListAndEndsDone) {
    run.Start();
    options.COM = false;
    run.Start();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(status.texts.back(), "Done!");
}

TEST_F(CheckRunTest, ShowFilterDecidesWhichProbedNamesBecomeRows) {
    probes.taken = {{"fast.com", 1}, {"car.com", 1}};
    options.SetShow(core::kShowAvailableOnly);
    run.Start();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Probed("avail"), 2);

    probes.taken = {};
    options.SetShow(core::kNoChoice);
    run.Start();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Probed("links"), 0);
}

TEST_F(CheckRunTest, UnknownNamesAreUncheckedWithoutDetailsAndHiddenWithFreeNamesOnly) {
    probes.unknown = {{"fast.com", 1}};
    for (const std::int32_t jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        options.SetJobs(jobs);
        options.SetShow(core::kShowAll);
        run.Start();
        EXPECT_EQ(Rows(),
                  (std::vector<RowView>{
                      {"fast.com", {"com", "Unknown", "-", "-", "-", "-", "-", "-", "-"}, false},
                      {"car.com", {"com", "Yes", "17", "97", "-", "-", "-", "-", "-"}, true}}));
        EXPECT_EQ(Probed("links fast.com"), 0);

        options.SetShow(core::kShowAvailableOnly);
        run.Start();
        EXPECT_EQ(Rows(),
                  (std::vector<RowView>{
                      {"car.com", {"com", "Yes", "17", "97", "-", "-", "-", "-", "-"}, true}}));
        probes.calls.clear();
    }
}

// A probe that waits until its run is abandoned (its sockets interrupted), as the registry
// check's retry waits do.
class WaitingProbe : public probes::Probe {
public:
    std::vector<std::string> Fills() const override { return {"available"}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &context,
             const probes::Pause &) const override {
        {
            std::lock_guard lock(mutex_);
            started_ = true;
        }
        changed_.notify_all();
        while (!context.Sockets->Interrupted()) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(5));
        }
        record.available = probes::Availability::Unknown;
    }
    void WaitStarted() const {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return started_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool started_ = false;
};

TEST(CheckPool, AbandoningEndsTheWaitsOfItsProbes) {
    const auto probe = std::make_shared<WaitingProbe>();
    core::CheckPool pool({"a.com", "b.com"}, {probe}, core::ContextForRun(net::NetworkContext(), 4),
                         2, nullptr);
    probe->WaitStarted();
    pool.Abandon();
    EXPECT_FALSE(pool.Next(std::chrono::milliseconds(0)));
    EXPECT_TRUE(pool.Done());
}

TEST_F(CheckRunTest, StopDuringTheRankProbeCompletesThatRowThenEnds) {
    probes.during["rank fast.com"] = [this] { run.Stop(); };
    run.Start();
    EXPECT_EQ(Rows(),
              (std::vector<RowView>{
                  {"fast.com", {"com", "Yes", "18", "98", "-", "-", "-", "-", "-"}, true}}));
    EXPECT_EQ(Probed("avail"), 1);
    EXPECT_EQ(status.texts.back(), "Done!");
}

TEST_F(CheckRunTest, EscapeCountsOnlyWhileDownAtAStopTest) {
    probes.during["rank fast.com"] = [this] { app.escapeDown = true; };
    run.Start();
    EXPECT_EQ(Rows().size(), 1u);

    app.escapeDown = false;
    probes.calls.clear();
    probes.during["avail http://www.fast.com"] = [this] {
        app.escapeDown = true;
        app.AtNextDrain([this] { app.escapeDown = false; }); // released before the stop test
    };
    run.Start();
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(CheckRunTest, RepeatedNamesAreProbedAndListedEachTime) {
    options.keywords = {"sun", "shop"};
    options.acronyms = true;
    run.Start();
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].caption, "s.com");
    EXPECT_EQ(rows[3].caption, "s.com");
    EXPECT_EQ(Probed("avail http://www.s.com"), 2);
}

TEST_F(CheckRunTest, ANestedStartAnsweredSearchTakesTheListOver) {
    probes.during["links fast.com"] = [this] {
        options.keywords = {"new"};
        run.Start();
    };
    run.Start();
    EXPECT_EQ(Rows(), (std::vector<RowView>{
                          {"new.com", {"com", "Yes", "17", "97", "-", "-", "-", "-", "-"}, true}}));
    EXPECT_EQ(Probed("avail http://www.car.com"), 0);
    EXPECT_EQ(Probed("rank fast.com"), 0);
    EXPECT_EQ(app.busyDepth, 0);
    EXPECT_EQ(status.texts.back(), "Done!");
}

TEST_F(CheckRunTest, ANestedStartAnsweredCancelLetsTheOlderRunFinishItsName) {
    probes.during["links fast.com"] = [this] {
        prompt.answer = core::KeywordsAnswer::Cancel;
        run.Start();
    };
    run.Start();
    EXPECT_EQ(Rows(),
              (std::vector<RowView>{
                  {"fast.com", {"com", "Yes", "18", "98", "-", "-", "-", "-", "-"}, true}}));
    EXPECT_EQ(Probed("avail http://www.car.com"), 0);
}

TEST_F(CheckRunTest, RowsLoadedDuringARunReceiveNothingFromIt) {
    probes.during["links fast.com"] = [this] {
        run.Stop();
        list.Clear();
        const auto loaded = list.Append();
        loaded->SetCaption("loaded.org");
        loaded->AppendSubItem("org");
    };
    run.Start();
    EXPECT_EQ(Rows(), (std::vector<RowView>{{"loaded.org", {"org"}, false}}));
    EXPECT_EQ(Probed("rank"), 0);
}

TEST_F(CheckRunTest, AFailureEndsTheRunQuietlyAndKeepsItsRows) {
    probes.failOn = "http://www.car.com";
    run.Start();
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(status.texts.back(), "Done!");
    EXPECT_EQ(app.busyDepth, 0);
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(CheckRunTest, ShowChangedWhileACandidateIsInProgressAppliesToIt) {
    probes.taken = {{"fast.com", 1}};
    // Drains: Stop, after the dialog, after generation, then the first name's suffix step, where
    // the settings dialog opens (stopping the run) and the user picks "Available domain Only".
    app.AtDrain(4, [this] {
        run.Stop();
        options.SetShow(core::kShowAvailableOnly);
    });
    run.Start();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Probed("avail"), 1);
}

TEST_F(CheckRunTest, OneNameAtATimeAsksNothingOnTheCallingThread) {
    run.Start();
    EXPECT_EQ(Rows().size(), 2u);
    ASSERT_EQ(probes.threads.size(), probes.calls.size());
    for (const auto &thread : probes.threads)
        EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(CheckRunTest, AbandoningAOneAtATimeRunEndsItBeforeItsNextProbe) {
    // The window closes in the drain before fast.com's rank probe.
    probes.during["links fast.com"] = [this] { app.AtNextDrain([this] { run.Abandon(); }); };
    run.Start();
    EXPECT_EQ(probes.calls,
              (std::vector<std::string>{"avail http://www.fast.com", "links fast.com"}));
    EXPECT_EQ(Rows(), (std::vector<RowView>{{"fast.com", {"com", "Yes"}, false}}));
    EXPECT_EQ(status.texts.back(), "Done!");
}

TEST_F(CheckRunTest, ARunKeepsFillingItsRowWhereverASortMovedIt) {
    options.keywords = {"b", "a"};
    probes.during["links a.com"] = [this] { list.SortByColumn(0); };
    run.Start();
    EXPECT_EQ(Rows(), (std::vector<RowView>{
                          {"a.com", {"com", "Yes", "15", "95", "-", "-", "-", "-", "-"}, true},
                          {"b.com", {"com", "Yes", "15", "95", "-", "-", "-", "-", "-"}, true}}));
}

// The run's end says that no registry answered only when that was so for every name, in both
// kinds of run.
TEST_F(CheckRunTest, TheEndSaysNoRegistryWasReachedOnlyWhenNoNameFoundOne) {
    const std::pair<std::set<std::string>, const char *> cases[] = {
        {{"fast.com", "car.com"}, core::kNoRegistryReachedText},
        {{"fast.com"}, core::kRunDoneText},
    };
    for (const int jobs : {1, 4}) {
        for (const auto &[names, said] : cases) {
            options.SetJobs(jobs);
            probes::ProbeList probeList = testsupport::ProbeListOf(probes);
            probeList.insert(probeList.begin(), std::make_shared<NothingAnswered>(names));
            FakeStatus shown;
            core::CheckRun checks{options, candidates, scratch,
                                  list,    probeList,  net::NetworkContext(),
                                  prompt,  shown};
            checks.Start();
            ASSERT_FALSE(shown.texts.empty());
            EXPECT_EQ(shown.texts.back(), said) << jobs << " jobs, " << names.size() << " names";
        }
    }
}
