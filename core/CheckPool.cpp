#include "core/CheckPool.h"

#include "core/DomainCheck.h"

#include <algorithm>
#include <utility>

namespace core {
namespace {

// A worker's steps: it never waits for anyone, and drops its check once the pool is abandoned.
class WorkerSteps : public CheckSteps {
public:
    WorkerSteps(const CheckPool &pool, const CheckPool::WantsDetails &wantsDetails)
        : pool_(pool), wantsDetails_(wantsDetails) {}

    NextStep BeforeProbe(const probes::DomainRecord &record, const probes::Probe &next) override {
        if (pool_.Abandoned())
            return NextStep::Abandon;
        if (next.OnlyForAvailable() && wantsDetails_ && !wantsDetails_(record))
            return NextStep::SkipRest;
        return NextStep::Go;
    }

private:
    const CheckPool &pool_;
    const CheckPool::WantsDetails &wantsDetails_;
};

} // namespace

net::NetworkContext ContextForRun(const net::NetworkContext &base, int perHost) {
    net::NetworkContext context = base;
    context.Sockets = base.Sockets->Fresh(base.RequestTimeout);
    context.Hosts =
        std::make_shared<net::HostLimiter>(net::HostLimiter::HostSettings{.atOnce = perHost});
    net::ConnectionPool::Limits limits;
    limits.PerEndpoint = perHost;
    context.Connections = std::make_shared<net::ConnectionPool>(context.Sockets, limits);
    return context;
}

CheckPool::CheckPool(NameSource &names, probes::ProbeList probes, net::NetworkContext context,
                     int jobs, WantsDetails wantsDetails, std::optional<DelegationAhead> ahead)
    : CheckPool(nullptr, &names, std::move(probes), std::move(context), jobs,
                std::move(wantsDetails), std::move(ahead)) {}

CheckPool::CheckPool(std::vector<std::string> names, probes::ProbeList probes,
                     net::NetworkContext context, int jobs, WantsDetails wantsDetails,
                     std::optional<DelegationAhead> ahead)
    : CheckPool(std::make_unique<NameVector>(std::move(names)), nullptr, std::move(probes),
                std::move(context), jobs, std::move(wantsDetails), std::move(ahead)) {}

CheckPool::CheckPool(std::unique_ptr<NameVector> owned, NameSource *names, probes::ProbeList probes,
                     net::NetworkContext context, int jobs, WantsDetails wantsDetails,
                     std::optional<DelegationAhead> ahead)
    : ownNames_(std::move(owned)),
      stage_(ahead ? std::make_unique<DelegationStage>(
                         names ? *names : *ownNames_, std::move(*ahead),
                         std::chrono::milliseconds(std::max(context.RequestTimeout, 0)),
                         context.Sockets->InterruptToken())
                   : nullptr),
      names_(stage_  ? *stage_
             : names ? *names
                     : *ownNames_),
      probes_(std::move(probes)), context_(std::move(context)),
      wantsDetails_(std::move(wantsDetails)),
      workerCount_(
          std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), names_.Count())),
      keepRunning_(context_.Sockets) {
    // The first name is there for the progress before any worker takes it.
    FillAhead();
    for (std::size_t i = 0; i < workerCount_; ++i)
        workers_.emplace_back([this] { Work(); });
}

CheckPool::~CheckPool() {
    Abandon();
    for (std::thread &worker : workers_)
        worker.join();
}

void CheckPool::FillAhead() {
    while (!listEnded_ && ahead_.size() <= workerCount_) {
        if (auto name = names_.Next())
            ahead_.push_back(std::move(*name));
        else
            listEnded_ = true;
    }
}

std::optional<CheckPool::Taken> CheckPool::TakeName() {
    std::lock_guard lock(mutex_);
    if (stopStarting_ || Abandoned())
        return std::nullopt;
    FillAhead();
    if (ahead_.empty())
        return std::nullopt;
    Taken taken{started_++, std::move(ahead_.front()), std::nullopt};
    ahead_.pop_front();
    underWay_.push_back({taken.name, std::nullopt});
    FillAhead();
    if (workerCount_ > 0 && ahead_.size() >= workerCount_)
        taken.ahead = ahead_[workerCount_ - 1];
    return taken;
}

void CheckPool::Work() {
    WorkerSteps steps(*this, wantsDetails_);
    while (auto taken = TakeName()) {
        // By the time a worker is free for it, the name one round of workers later has its
        // lookups done.
        if (taken->ahead)
            PrepareName(*taken->ahead);
        CheckOutcome outcome;
        outcome.index = taken->index;
        outcome.name = std::move(taken->name);
        try {
            // A free name's detail pages go to different services: asking them at once saves
            // a worker the wait for all but the slowest.
            std::optional<registry::DelegationResult> found;
            if (stage_)
                found = stage_->Await(outcome.index, context_.Sockets->InterruptToken());
            const auto record = CheckDomain(outcome.name, probes_, context_, steps, Details::AtOnce,
                                            std::move(found));
            if (!record)
                return;
            outcome.record = *record;
        } catch (const probes::ECheckStopped &) {
            outcome.stopped = true;
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        Finish(std::move(outcome));
    }
}

void CheckPool::PrepareName(const std::string &name) const {
    if (Abandoned())
        return;
    for (const auto &probe : probes_)
        probe->Prepare(name, context_);
}

void CheckPool::Finish(CheckOutcome outcome) {
    {
        std::lock_guard lock(mutex_);
        if (Abandoned())
            return;
        underWay_[outcome.index - handedOver_].outcome = std::move(outcome);
    }
    finished_.notify_all();
}

std::optional<CheckOutcome> CheckPool::Next(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] {
        return underWay_.empty() || underWay_.front().outcome.has_value();
    };
    // The abandon wakes the wait through its token.
    finished_.wait_for(lock, context_.Sockets->InterruptToken(), wait, ready);
    if (Abandoned() || underWay_.empty() || !underWay_.front().outcome)
        return std::nullopt;
    CheckOutcome outcome = std::move(*underWay_.front().outcome);
    underWay_.pop_front();
    ++handedOver_;
    return outcome;
}

bool CheckPool::Done() const {
    std::lock_guard lock(mutex_);
    const bool abandoned = Abandoned();
    const bool noMore = stopStarting_ || abandoned || (listEnded_ && ahead_.empty());
    return noMore && (abandoned || underWay_.empty());
}

void CheckPool::StopStarting() {
    {
        std::lock_guard lock(mutex_);
        stopStarting_ = true;
    }
    context_.Sockets->EndQueuedWaits();
}

bool CheckPool::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopStarting_;
}

void CheckPool::Abandon() {
    context_.Sockets->Interrupt();
}

std::vector<CheckOutcome> CheckPool::TakeFinished() {
    std::lock_guard lock(mutex_);
    std::vector<CheckOutcome> finished;
    if (!Abandoned())
        return finished;
    for (Started &started : underWay_)
        if (started.outcome)
            finished.push_back(std::move(*std::exchange(started.outcome, std::nullopt)));
    return finished;
}

bool CheckPool::Abandoned() const {
    return context_.Sockets->Interrupted();
}

std::optional<std::pair<std::size_t, std::string>> CheckPool::Oldest() const {
    std::lock_guard lock(mutex_);
    if (!underWay_.empty())
        return std::make_pair(handedOver_, underWay_.front().name);
    if (stopStarting_ || Abandoned() || ahead_.empty())
        return std::nullopt;
    return std::make_pair(handedOver_, ahead_.front());
}

} // namespace core
