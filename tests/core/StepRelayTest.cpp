#include "core/StepRelay.h"

#include "net/NetworkContext.h"
#include "tests/support/ScriptedApplication.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using core::CheckSteps;
using core::NextStep;

// A probe that is only ever named, never run.
class NamedProbe : public probes::Probe {
public:
    std::vector<std::string> Fills() const override { return {}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &, const net::NetworkContext &,
             const probes::Pause &) const override {}
};

// The window's side: answers from a list and notes the thread of every call.
class WindowSteps : public CheckSteps {
public:
    NextStep BeforeProbe(const probes::DomainRecord &record, const probes::Probe &) override {
        threads.push_back(std::this_thread::get_id());
        asked.push_back(record.name);
        if (during)
            during();
        return answers.at(answered++);
    }
    void Pause() override {
        threads.push_back(std::this_thread::get_id());
        asked.push_back("pause");
    }

    std::vector<NextStep> answers;
    std::size_t answered = 0;
    std::vector<std::string> asked;
    std::vector<std::thread::id> threads;
    std::function<void()> during;
};

class StepRelayTest : public ::testing::Test {
protected:
    // Runs check through a relay; what the check's steps were answered.
    std::vector<NextStep> Relay(int steps, std::function<void()> alsoInCheck = nullptr) {
        std::vector<NextStep> answers;
        core::StepRelay(*sockets).Run(window, [&](CheckSteps &relayed) {
            checkThread = std::this_thread::get_id();
            probes::DomainRecord record;
            for (int i = 0; i < steps; ++i) {
                record.name = "step" + std::to_string(i);
                answers.push_back(relayed.BeforeProbe(record, probe));
                relayed.Pause();
            }
            if (alsoInCheck)
                alsoInCheck();
        });
        return answers;
    }

    ScriptedApplication app;
    WindowSteps window;
    NamedProbe probe;
    std::shared_ptr<net::SocketLayer> sockets = net::NetworkContext().Sockets->Fresh(1000);
    std::thread::id checkThread;
};

TEST_F(StepRelayTest, TheCheckRunsAsideAndEveryStepIsAnsweredOnTheCallingThread) {
    window.answers = {NextStep::Go, NextStep::SkipRest, NextStep::Abandon};
    EXPECT_EQ(Relay(3), window.answers);
    EXPECT_EQ(window.asked,
              (std::vector<std::string>{"step0", "pause", "step1", "pause", "step2", "pause"}));
    EXPECT_NE(checkThread, std::this_thread::get_id());
    for (const auto &thread : window.threads)
        EXPECT_EQ(thread, std::this_thread::get_id());
}

TEST_F(StepRelayTest, TheCallingThreadKeepsTheWindowLiveWhileTheCheckWaits) {
    // The check goes on only once the window was kept live three times while it waited.
    std::mutex mutex;
    std::condition_variable released;
    bool free = false;
    app.whileWaiting = [&] {
        if (app.waits < 3)
            return;
        std::lock_guard lock(mutex);
        free = true;
        released.notify_all();
    };
    bool wasFreed = false;
    Relay(0, [&] {
        std::unique_lock lock(mutex);
        wasFreed = released.wait_for(lock, std::chrono::seconds(5), [&] { return free; });
    });
    EXPECT_TRUE(wasFreed);
    EXPECT_GE(app.waits, 3);
}

TEST_F(StepRelayTest, AnInterruptedLayerAbandonsTheCheckWithoutAskingTheWindowAgain) {
    // Closing the window during the first step's drain interrupts the run's layer.
    window.answers = {NextStep::Go, NextStep::Go};
    window.during = [this] { sockets->Interrupt(); };
    EXPECT_EQ(Relay(2), (std::vector<NextStep>{NextStep::Abandon, NextStep::Abandon}));
    EXPECT_EQ(window.asked, (std::vector<std::string>{"step0"}));
}

TEST_F(StepRelayTest, FailuresOnEitherSideReachTheCallerOnceTheCheckHasEnded) {
    EXPECT_THROW(Relay(0, [] { throw std::runtime_error("no socket layer"); }), std::runtime_error);

    // A failing answer tells the check to stop; the failure follows once it has.
    window.answers = {NextStep::Go};
    window.during = [] { throw std::logic_error("the list could not grow"); };
    bool checkEnded = false;
    EXPECT_THROW(Relay(2, [&] { checkEnded = true; }), std::logic_error);
    EXPECT_TRUE(checkEnded);
    EXPECT_EQ(window.asked, (std::vector<std::string>{"step0"}));
}

} // namespace
