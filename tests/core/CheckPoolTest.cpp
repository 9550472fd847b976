#include "core/CheckPool.h"

#include "core/CheckRun.h"
#include "net/HostLimiter.h"
#include "net/IdException.h"
#include "probes/WebProbes.h"
#include "net/HostLimiter.h"
#include "results/ResultList.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ProbeCalls.h"
#include "tests/support/ScriptedApplication.h"
#include "tests/support/ScriptedServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using core::StringList;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(5);

// Probes whose availability answer for a gated name waits until the test opens its gate, so
// that a test decides in which order the names of a run finish. Safe to call from many threads.
class GatedProbes : public testsupport::ProbeCalls {
public:
    probes::Availability CheckAvailability(const std::string &url, int) override {
        const std::string name = url.substr(11); // after "http://www."
        std::unique_lock lock(mutex_);
        started_.push_back(name);
        changed_.notify_all();
        changed_.wait_for(lock, kPatience, [&] { return !gated_.count(name); });
        if (name == failOn)
            throw std::runtime_error("the socket layer did not start");
        if (taken.count(name)) {
            Finished(name);
            return probes::Availability::Taken;
        }
        return probes::Availability::Free;
    }
    std::string GetLinkPopularity(const std::string &name) override {
        return "1" + std::to_string(name.size());
    }
    std::string GetTrafficRank(const std::string &name) override {
        std::lock_guard lock(mutex_);
        Finished(name);
        return "9" + std::to_string(name.size());
    }

    void Gate(const StringList &names) {
        std::lock_guard lock(mutex_);
        gated_.insert(names.begin(), names.end());
    }
    void Open(const std::string &name) {
        std::lock_guard lock(mutex_);
        gated_.erase(name);
        changed_.notify_all();
    }
    void OpenAll() {
        std::lock_guard lock(mutex_);
        gated_.clear();
        changed_.notify_all();
    }
    // Opens the gates one by one from the last name, each once the one before has finished.
    void OpenInReverse(const StringList &names) {
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            Open(*name);
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, kPatience, [&] {
                return std::count(finished_.begin(), finished_.end(), *name) > 0;
            });
        }
    }
    bool WaitStarted(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return started_.size() >= count; });
    }
    StringList Started() const {
        std::lock_guard lock(mutex_);
        return started_;
    }
    StringList FinishedNames() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }

    std::set<std::string> taken;
    std::string failOn;

private:
    void Finished(const std::string &name) {
        finished_.push_back(name);
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> gated_;
    StringList started_;
    StringList finished_;
};

// A pool abandons its socket layer when it ends, so each pool gets one of its own.
net::NetworkContext RunContext() {
    return core::ContextForRun(net::NetworkContext(), 4);
}

// A list of count names n0.com, n1.com, ... made as they are taken, that counts how many were.
class CountingNames : public core::NameSource {
public:
    explicit CountingNames(std::size_t count) : count_(count) {}
    std::optional<std::string> Next() override {
        if (taken_ == count_)
            return std::nullopt;
        return "n" + std::to_string(taken_++) + ".com";
    }
    std::size_t Count() const override { return count_; }
    std::size_t Taken() const { return taken_; }

private:
    const std::size_t count_;
    std::atomic<std::size_t> taken_ = 0;
};

StringList Names(const std::string &stem, int count) {
    StringList names;
    for (int i = 0; i < count; ++i)
        names.push_back(stem + std::to_string(i) + ".com");
    return names;
}

// Takes every outcome of a pool until it is done, in the order handed over.
std::vector<core::CheckOutcome> Drain(core::CheckPool &pool) {
    std::vector<core::CheckOutcome> outcomes;
    const auto deadline = Clock::now() + kPatience;
    while (!pool.Done() && Clock::now() < deadline)
        if (auto outcome = pool.Next(std::chrono::milliseconds(50)))
            outcomes.push_back(std::move(*outcome));
    return outcomes;
}

StringList NamesOf(const std::vector<core::CheckOutcome> &outcomes) {
    StringList names;
    for (const auto &outcome : outcomes)
        names.push_back(outcome.name);
    return names;
}

core::CheckPool::WantsDetails AllDetails() {
    return [](const probes::DomainRecord &) { return true; };
}

class NoPrompt : public core::KeywordsPrompt {
public:
    core::KeywordsAnswer ShowKeywordsModal() override { return core::KeywordsAnswer::Search; }
};

class StatusTexts : public core::ProgressView {
public:
    void ShowProgress(const core::RunProgress &progress) override {
        texts.push_back(core::StatusText(progress));
    }
    void ShowDone(const core::RunEnd &) override { texts.push_back(core::kRunDoneText); }
    StringList texts;
};

// A run of many names at once over gated probes, on the test's thread as in the window.
class ConcurrentRunTest : public ::testing::Test {
protected:
    ConcurrentRunTest() {
        options.keywords = {"fast", "car"};
        options.SetSearchFor(core::kExactPhrase);
        options.SetJobs(8);
    }
    ~ConcurrentRunTest() override { probes.OpenAll(); }

    StringList Captions() const {
        StringList captions;
        for (int i = 0; i < list.Count(); ++i)
            captions.push_back(list.Row(i)->Caption());
        return captions;
    }

    ScriptedApplication app;
    core::SearchOptions options;
    StringList candidates, scratch;
    results::ResultList list;
    GatedProbes probes;
    NoPrompt prompt;
    StatusTexts status;
    core::CheckRun run{
        options, candidates, scratch, list, testsupport::ProbeListOf(probes), net::NetworkContext(),
        prompt,  status};
};

} // namespace

TEST_F(ConcurrentRunTest, RowsFollowTheCandidateOrderWhateverOrderTheNamesFinishIn) {
    const StringList names = Names("n", 6);
    probes.Gate(names);
    std::thread releaser([&] {
        probes.WaitStarted(names.size());
        probes.OpenInReverse(names);
    });
    run.CheckNames(names);
    releaser.join();
    StringList reversed(names.rbegin(), names.rend());
    EXPECT_EQ(probes.FinishedNames(), reversed);
    EXPECT_EQ(Captions(), names);
    EXPECT_EQ(list.Row(0)->Checked(), true);
    EXPECT_EQ(status.texts.back(), "Done!");
    EXPECT_EQ(app.busyDepth, 0);
}

TEST_F(ConcurrentRunTest, StopLetsTheNamesInFlightFinishAndStartsNoOther) {
    options.SetJobs(3);
    const StringList names = Names("n", 10);
    probes.Gate(names);
    app.AtDrain(1, [&] {
        ASSERT_TRUE(probes.WaitStarted(3));
        run.Stop();
        app.AtNextDrain([&] { probes.OpenAll(); });
    });
    run.CheckNames(names);
    EXPECT_EQ(probes.Started().size(), 3u);
    EXPECT_EQ(Captions(), StringList(names.begin(), names.begin() + 3));
    ASSERT_GE(status.texts.size(), 3u);
    EXPECT_EQ(status.texts.front(), "Checking... n0.com (1/10)");
    EXPECT_EQ(StringList(status.texts.end() - 2, status.texts.end()),
              (StringList{"Stopping...", "Done!"}));
}

TEST_F(ConcurrentRunTest, ASecondStartTakesTheListOverAndTheOlderRunTouchesNoRow) {
    const StringList older = Names("old", 3);
    probes.Gate(older);
    app.AtDrain(1, [&] {
        ASSERT_TRUE(probes.WaitStarted(3));
        run.Start();
        probes.OpenAll();
    });
    run.CheckNames(older);
    EXPECT_EQ(Captions(), (StringList{"fast.com", "car.com"}));
    EXPECT_EQ(status.texts.back(), "Done!");
    EXPECT_EQ(app.busyDepth, 0);
}

TEST_F(ConcurrentRunTest, RowsLoadedDuringARunReceiveNothingFromIt) {
    const StringList names = Names("n", 4);
    probes.Gate(names);
    app.AtDrain(1, [&] {
        ASSERT_TRUE(probes.WaitStarted(4));
        list.Clear();
        list.Append()->SetCaption("loaded.org");
        probes.OpenAll();
    });
    run.CheckNames(names);
    EXPECT_EQ(Captions(), StringList{"loaded.org"});
}

TEST_F(ConcurrentRunTest, AbandonEndsTheRunAndDropsWhatItsNamesBringBack) {
    const StringList names = Names("n", 4);
    probes.Gate(names);
    app.AtDrain(1, [&] {
        ASSERT_TRUE(probes.WaitStarted(4));
        run.Abandon();
        probes.OpenAll();
    });
    run.CheckNames(names);
    EXPECT_TRUE(Captions().empty());
    EXPECT_EQ(app.busyDepth, 0);
}

TEST_F(ConcurrentRunTest, AFailingProbeEndsTheRunQuietlyAndKeepsTheRowsBeforeIt) {
    probes.failOn = "n2.com";
    run.CheckNames(Names("n", 6));
    EXPECT_EQ(Captions(), (StringList{"n0.com", "n1.com"}));
    EXPECT_EQ(status.texts.back(), "Done!");
    EXPECT_EQ(app.busyDepth, 0);
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(ConcurrentRunTest, ASocketLayerThatCannotStartEndsTheRunQuietly) {
    core::CheckRun failing{options,
                           candidates,
                           scratch,
                           list,
                           probes::WebProbes(),
                           testsupport::FailingNetworkContext(),
                           prompt,
                           status};
    failing.CheckNames(Names("n", 3));
    EXPECT_TRUE(Captions().empty());
    EXPECT_EQ(status.texts.back(), "Done!");
    EXPECT_EQ(app.busyDepth, 0);
}

// The limit of free names ends the run where the one-at-a-time run ends it.
class AvailableLimitTest : public ConcurrentRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(AvailableLimitTest, TheRunEndsOnceEnoughFreeNamesWereFound) {
    options.SetJobs(GetParam());
    probes.taken = {"n1.com", "n3.com"};
    run.SetAvailableLimit(3);
    run.CheckNames(Names("n", 8));
    EXPECT_EQ(Captions(), (StringList{"n0.com", "n1.com", "n2.com", "n3.com", "n4.com"}));
    EXPECT_EQ(status.texts.back(), "Done!");
}

INSTANTIATE_TEST_SUITE_P(Jobs, AvailableLimitTest, ::testing::Values(1, 4, 16));

TEST_F(ConcurrentRunTest, ARunOfOneNameAtATimeTakesEachNameOfItsListWhenItGetsToIt) {
    options.SetJobs(1);
    CountingNames names(1000000);
    run.SetAvailableLimit(3);
    run.CheckNames(names);
    EXPECT_EQ(Captions(), Names("n", 3));
    EXPECT_EQ(names.Taken(), 3u);
    EXPECT_EQ(status.texts.front(), "Checking... n0.com");
}

TEST(CheckPool, TakesNamesFromItsListOnlyARoundOfWorkersAhead) {
    GatedProbes probes;
    CountingNames names(1000000);
    probes.Gate(Names("n", 8));
    core::CheckPool pool(names, testsupport::ProbeListOf(probes), RunContext(), 3, AllDetails());
    ASSERT_TRUE(probes.WaitStarted(3));
    EXPECT_EQ(pool.Count(), 1000000u);
    ASSERT_TRUE(pool.Oldest());
    EXPECT_EQ(pool.Oldest()->second, "n0.com");
    // The three under way, the three their workers prepare, and the next one.
    EXPECT_LE(names.Taken(), 7u);
    pool.Abandon();
    probes.OpenAll();
}

TEST(CheckPool, HandsOutcomesOverInListOrderOnlyOnceTheEarlierOnesFinished) {
    GatedProbes probes;
    const StringList names = Names("n", 4);
    probes.Gate(names);
    core::CheckPool pool(names, testsupport::ProbeListOf(probes), RunContext(), 4, AllDetails());
    ASSERT_TRUE(probes.WaitStarted(4));
    probes.OpenInReverse({"n1.com", "n2.com", "n3.com"});
    EXPECT_FALSE(pool.Next(std::chrono::milliseconds(0)));
    EXPECT_FALSE(pool.Done());
    ASSERT_TRUE(pool.Oldest());
    EXPECT_EQ(pool.Oldest()->second, "n0.com");
    probes.Open("n0.com");
    const auto outcomes = Drain(pool);
    EXPECT_EQ(NamesOf(outcomes), names);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].index, i);
        EXPECT_EQ(outcomes[i].record.rank, "96");
    }
    EXPECT_TRUE(pool.Done());
    EXPECT_FALSE(pool.Oldest());
}

TEST(CheckPool, StopStartingLetsTheNamesUnderWayFinish) {
    GatedProbes probes;
    const StringList names = Names("n", 6);
    probes.Gate(names);
    core::CheckPool pool(names, testsupport::ProbeListOf(probes), RunContext(), 2, AllDetails());
    ASSERT_TRUE(probes.WaitStarted(2));
    pool.StopStarting();
    probes.OpenAll();
    EXPECT_EQ(NamesOf(Drain(pool)), (StringList{"n0.com", "n1.com"}));
    EXPECT_TRUE(pool.Done());
    EXPECT_EQ(probes.Started().size(), 2u);
}

// A probe whose names take turns with one host, one at a time, as the RDAP check does: the name
// with the turn keeps it until the test opens the gate; a name the run stops while it waits for
// its turn ends without an answer.
class TurnProbe : public probes::Probe {
public:
    std::vector<std::string> Fills() const override { return {}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &context,
             const probes::Pause &) const override {
        {
            std::lock_guard lock(mutex_);
            ++waiting_;
        }
        changed_.notify_all();
        const auto turn = limiter_.Acquire("rdap.test", context.Sockets->QueuedWaitsToken());
        if (!turn)
            throw probes::ECheckStopped("stopped");
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [this] { return open_; });
        record.available = probes::Availability::Taken;
    }
    bool WaitWaiting(int count) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return waiting_ >= count; });
    }
    void Open() const {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    mutable net::HostLimiter limiter_{{.atOnce = 1, .slowedGap = std::chrono::milliseconds(0)}};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable int waiting_ = 0;
    mutable bool open_ = false;
};

TEST(CheckPool, StopStartingEndsTheWaitsForATurnAndTheNameWithTheTurnFinishes) {
    const auto probe = std::make_shared<TurnProbe>();
    core::CheckPool pool(Names("n", 4), {probe}, RunContext(), 4, AllDetails());
    // One name has the turn, three wait for it.
    ASSERT_TRUE(probe->WaitWaiting(4));
    pool.StopStarting();
    // The stop is raised before the turn is given back: no waiting name gets it.
    probe->Open();
    const auto outcomes = Drain(pool);
    EXPECT_TRUE(pool.Done());
    const auto answered = std::count_if(outcomes.begin(), outcomes.end(), [](const auto &outcome) {
        return !outcome.stopped && outcome.record.available == probes::Availability::Taken;
    });
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(outcomes.size(), 4u);
}

// A probe that notes in one log each name it prepares and each it runs.
class PreparedProbe : public probes::Probe {
public:
    std::vector<std::string> Fills() const override { return {}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        Note("run " + record.name);
    }
    void Prepare(const std::string &name, const net::NetworkContext &) const override {
        Note("prepare " + name);
    }
    StringList Log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }

private:
    void Note(const std::string &entry) const {
        std::lock_guard lock(mutex_);
        log_.push_back(entry);
    }
    mutable std::mutex mutex_;
    mutable StringList log_;
};

TEST(CheckPool, EveryNameAfterTheFirstRoundIsPreparedOnce) {
    // A worker that takes a name prepares the one a round of workers later; the first round
    // starts at once.
    const auto probe = std::make_shared<PreparedProbe>();
    const StringList names = Names("n", 10);
    {
        core::CheckPool pool(names, {probe}, RunContext(), 3, AllDetails());
        EXPECT_EQ(Drain(pool).size(), names.size());
    }
    const StringList log = probe->Log();
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(std::count(log.begin(), log.end(), "run " + names[i]), 1) << names[i];
        EXPECT_EQ(std::count(log.begin(), log.end(), "prepare " + names[i]), i < 3 ? 0 : 1)
            << names[i];
    }
}

TEST(CheckPool, AFailureComesBackAsTheOutcomeOfItsName) {
    GatedProbes probes;
    probes.failOn = "n1.com";
    core::CheckPool pool(Names("n", 3), testsupport::ProbeListOf(probes), RunContext(), 3,
                         AllDetails());
    const auto outcomes = Drain(pool);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_FALSE(outcomes[0].failure);
    EXPECT_TRUE(outcomes[1].failure);
    EXPECT_FALSE(outcomes[2].failure);
}

TEST(CheckPool, AbandonEndsExchangesWithASilentServerAtOnce) {
    testsupport::ScriptedServer server;
    server.SetDefault({testsupport::ReadRequest(), testsupport::Hold()});
    testsupport::LoopbackNetwork network(server.Port());
    // Waits far longer than the test may take: only the interruption can end them.
    net::NetworkContext context = network.Context(30000, 30000);
    context.RequestTimeout = 60000;
    const auto started = Clock::now();
    {
        core::CheckPool pool(Names("n", 8), probes::WebProbes(), core::ContextForRun(context, 4), 4,
                             AllDetails());
        ASSERT_TRUE(server.WaitForHeld(4));
        pool.Abandon();
        EXPECT_TRUE(pool.Done());
        EXPECT_FALSE(pool.Next(std::chrono::milliseconds(0)));
    }
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(server.Accepted(), 4u);
}

namespace {

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace

TEST(CheckPool, AManyNameRunLeavesNoDescriptorBehind) {
    constexpr std::size_t kNames = 500;
    const std::string page = "<html>of about <b>12</b></html>";
    // Every name is free (its own site answers 404), so each asks both services. A server
    // that closes after every reply, and one that keeps the service connections open: the run
    // closes the connections it kept for reuse when it ends.
    for (const bool keepAlive : {false, true}) {
        testsupport::ScriptedServer server;
        for (const char *service : {"search.yahoo.com", "www.alexa.com"}) {
            if (keepAlive)
                server.Route(service, "*",
                             {testsupport::Send(testsupport::HttpKeepAliveReply(200, page))});
            else
                server.Answer(service, "*", 200, page);
        }
        if (keepAlive)
            server.KeepRoutedConnections();
        testsupport::LoopbackNetwork network(server.Port());
        const int before = OpenDescriptors();
        std::size_t checked = 0;
        {
            core::CheckPool pool(Names("n", kNames), probes::WebProbes(),
                                 core::ContextForRun(network.Context(2000, 2000), 4), 16,
                                 AllDetails());
            for (const auto &outcome : Drain(pool)) {
                EXPECT_FALSE(outcome.failure) << outcome.name;
                EXPECT_EQ(outcome.record.links, "12") << outcome.name;
                ++checked;
            }
        }
        EXPECT_EQ(checked, kNames);
        EXPECT_EQ(server.Requests().size(), 3 * kNames);
        // Kept alive, the service pages share at most the host limit's connections per host.
        EXPECT_LE(server.Accepted(), keepAlive ? kNames + 2 * 4 : 3 * kNames);
        ASSERT_TRUE(server.WaitForFinished(server.Accepted()));
        EXPECT_EQ(OpenDescriptors(), before) << (keepAlive ? "kept alive" : "closed");
    }
}
