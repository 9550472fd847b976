#include "core/StepRelay.h"

#include "platform/Application.h"

#include <chrono>

namespace core {
namespace {

// How long the window's thread waits for the check before it dispatches the window's messages.
constexpr std::chrono::milliseconds kWaitSlice(10);

} // namespace

StepRelay::StepRelay(net::SocketLayer &sockets)
    : sockets_(sockets), worker_([this](std::stop_token own) { Work(std::move(own)); }) {}

StepRelay::~StepRelay() {
    worker_.request_stop();
}

void StepRelay::Run(CheckSteps &windowSteps, const std::function<void(CheckSteps &)> &check) {
    {
        std::lock_guard lock(mutex_);
        windowSteps_ = &windowSteps;
        windowFailure_ = nullptr;
        checkFailure_ = nullptr;
        pending_.reset();
        answer_.reset();
        finished_ = false;
        check_ = &check;
    }
    changed_.notify_all();
    Serve();
    std::lock_guard lock(mutex_);
    windowSteps_ = nullptr;
    if (checkFailure_)
        std::rethrow_exception(checkFailure_);
    if (windowFailure_)
        std::rethrow_exception(windowFailure_);
}

void StepRelay::Work(std::stop_token own) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, own, [this] { return check_ != nullptr; });
        if (check_ == nullptr)
            return;
        const auto &check = *check_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            check(*this);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        checkFailure_ = failure;
        check_ = nullptr;
        finished_ = true;
        changed_.notify_all();
    }
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
            windowSteps_->Pause();
            return NextStep::Go;
        }
        const NextStep next = windowSteps_->BeforeProbe(*step.record, *step.next);
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
