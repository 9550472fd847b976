#pragma once

#include "core/DomainCheck.h"
#include "net/SocketLayer.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace core {

// Runs the checks of a one-at-a-time run on one thread of its own, made with the relay and
// joined when it goes, while the calling thread, the window's, waits without blocking the window:
// it keeps dispatching the window's messages and answers the check's steps (BeforeProbe, Pause)
// through windowSteps. So rows and the window are touched only on the calling thread, at the same
// points as when the check ran there, and no exchange ever holds the window. Once sockets is
// interrupted (the run was abandoned) every step of the check is answered Abandon without asking
// windowSteps, and the wait ends as soon as the check's exchange does; once the run is stopped
// (sockets.EndQueuedWaits) the check's waits for a turn end. A failure of the check, or of
// windowSteps, reaches the caller once the check has ended.
class StepRelay : private CheckSteps {
public:
    explicit StepRelay(net::SocketLayer &sockets);
    // Joins the check thread (it waits for no check by then).
    ~StepRelay();
    StepRelay(const StepRelay &) = delete;
    StepRelay &operator=(const StepRelay &) = delete;

    // Runs one check on the relay's thread, answering its steps through windowSteps.
    void Run(CheckSteps &windowSteps, const std::function<void(CheckSteps &)> &check);

private:
    // A step the check waits on; a pause has no record.
    struct Step {
        const probes::DomainRecord *record = nullptr;
        const probes::Probe *next = nullptr;
    };

    // The check's thread.
    NextStep BeforeProbe(const probes::DomainRecord &record, const probes::Probe &next) override;
    void Pause() override;
    NextStep Ask(Step step);
    void Work(std::stop_token own);

    // The calling thread.
    void Serve();
    NextStep Answer(const Step &step);
    void KeepResponsive();

    CheckSteps *windowSteps_ = nullptr;
    net::SocketLayer &sockets_;
    std::exception_ptr windowFailure_;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    // The check the relay's thread is to run; none between checks.
    const std::function<void(CheckSteps &)> *check_ = nullptr;
    std::exception_ptr checkFailure_;
    std::optional<Step> pending_;
    std::optional<NextStep> answer_;
    bool finished_ = false;
    // Last: it ends before what it uses goes.
    std::jthread worker_;
};

} // namespace core
