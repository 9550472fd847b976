#include "core/StepRelay.h"

#include "core/StopRequest.h"
#include "platform/Application.h"

#include <chrono>
#include <thread>

namespace core {
namespace {

// How long the window's thread waits for the check before it dispatches the window's messages.
constexpr std::chrono::milliseconds kWaitSlice(10);

} // namespace

StepRelay::StepRelay(CheckSteps &windowSteps, net::SocketLayer &sockets)
    : windowSteps_(windowSteps), sockets_(sockets) {}

void StepRelay::Run(const std::function<void(CheckSteps &)> &check) {
    std::exception_ptr checkFailure;
    std::thread worker([this, &check, &checkFailure] {
        try {
            check(*this);
        } catch (...) {
            checkFailure = std::current_exception();
        }
        Finish();
    });
    Serve();
    worker.join();
    if (checkFailure)
        std::rethrow_exception(checkFailure);
    if (windowFailure_)
        std::rethrow_exception(windowFailure_);
}

NextStep StepRelay::BeforeProbe(const probes::DomainRecord &record, const probes::Probe &next) {
    return Ask({&record, &next});
}

void StepRelay::Pause() {
    Ask({});
}

NextStep StepRelay::Ask(Step step) {
    std::unique_lock lock(mutex_);
    pending_ = step;
    answer_.reset();
    changed_.notify_all();
    changed_.wait(lock, [this] { return answer_.has_value(); });
    return *answer_;
}

void StepRelay::Finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void StepRelay::Serve() {
    for (;;) {
        std::optional<Step> step;
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, kWaitSlice,
                              [this] { return pending_.has_value() || finished_; });
            if (!pending_ && finished_)
                return;
            step = pending_;
        }
        if (!step) {
            KeepResponsive();
            if (StopRequested())
                sockets_.EndQueuedWaits();
            continue;
        }
        const NextStep answer = Answer(*step);
        std::lock_guard lock(mutex_);
        pending_.reset();
        answer_ = answer;
        changed_.notify_all();
    }
}

NextStep StepRelay::Answer(const Step &step) {
    if (windowFailure_ || sockets_.Interrupted())
        return NextStep::Abandon;
    try {
        if (!step.record) {
            windowSteps_.Pause();
            return NextStep::Go;
        }
        const NextStep next = windowSteps_.BeforeProbe(*step.record, *step.next);
        // The window's drain may have abandoned the run.
        return sockets_.Interrupted() ? NextStep::Abandon : next;
    } catch (...) {
        // The check cannot be left waiting: it is told to stop, and the failure follows it.
        windowFailure_ = std::current_exception();
        return NextStep::Abandon;
    }
}

void StepRelay::KeepResponsive() {
    if (windowFailure_)
        return;
    try {
        platform::KeepResponsive();
    } catch (...) {
        windowFailure_ = std::current_exception();
    }
}

} // namespace core
