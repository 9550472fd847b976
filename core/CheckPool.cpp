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
    context.Hosts = std::make_shared<net::HostLimiter>(perHost);
    net::ConnectionPool::Limits limits;
    limits.PerEndpoint = perHost;
    context.Connections = std::make_shared<net::ConnectionPool>(context.Sockets, limits);
    return context;
}

CheckPool::CheckPool(std::vector<std::string> names, probes::ProbeList probes,
                     net::NetworkContext context, int jobs, WantsDetails wantsDetails)
    : names_(std::move(names)), probes_(std::move(probes)), context_(std::move(context)),
      wantsDetails_(std::move(wantsDetails)),
      workerCount_(
          std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), names_.size())),
      keepRunning_(context_.Sockets), outcomes_(names_.size()) {
    for (std::size_t i = 0; i < workerCount_; ++i)
        workers_.emplace_back([this] { Work(); });
}

CheckPool::~CheckPool() {
    Abandon();
    for (std::thread &worker : workers_)
        worker.join();
}

std::optional<std::size_t> CheckPool::TakeName() {
    std::lock_guard lock(mutex_);
    if (stopStarting_ || abandoned_ || started_ == names_.size())
        return std::nullopt;
    return started_++;
}

void CheckPool::Work() {
    WorkerSteps steps(*this, wantsDetails_);
    while (const auto index = TakeName()) {
        // By the time a worker is free for it, the name one round of workers later has its
        // lookups done.
        PrepareName(*index + workerCount_);
        CheckOutcome outcome;
        outcome.index = *index;
        outcome.name = names_[*index];
        try {
            // A free name's detail pages go to different services: asking them at once saves
            // a worker the wait for all but the slowest.
            const auto record =
                CheckDomain(outcome.name, probes_, context_, steps, Details::AtOnce);
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

void CheckPool::PrepareName(std::size_t index) const {
    if (index >= names_.size() || Abandoned())
        return;
    for (const auto &probe : probes_)
        probe->Prepare(names_[index], context_);
}

void CheckPool::Finish(CheckOutcome outcome) {
    {
        std::lock_guard lock(mutex_);
        if (abandoned_)
            return;
        const std::size_t index = outcome.index;
        outcomes_[index] = std::move(outcome);
    }
    finished_.notify_all();
}

std::optional<CheckOutcome> CheckPool::Next(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] {
        return abandoned_ || handedOver_ == started_ || outcomes_[handedOver_].has_value();
    };
    finished_.wait_for(lock, wait, ready);
    if (abandoned_ || handedOver_ == started_ || !outcomes_[handedOver_])
        return std::nullopt;
    CheckOutcome outcome = std::move(*outcomes_[handedOver_]);
    outcomes_[handedOver_].reset();
    ++handedOver_;
    return outcome;
}

bool CheckPool::Done() const {
    std::lock_guard lock(mutex_);
    const bool noMore = stopStarting_ || abandoned_ || started_ == names_.size();
    return noMore && (abandoned_ || handedOver_ == started_);
}

void CheckPool::StopStarting() {
    {
        std::lock_guard lock(mutex_);
        stopStarting_ = true;
    }
    context_.Sockets->EndQueuedWaits();
}

void CheckPool::Abandon() {
    {
        std::lock_guard lock(mutex_);
        if (abandoned_)
            return;
        abandoned_ = true;
    }
    finished_.notify_all();
    context_.Sockets->Interrupt();
    if (context_.Hosts)
        context_.Hosts->Interrupt();
    if (context_.Connections)
        context_.Connections->Interrupt();
}

std::vector<CheckOutcome> CheckPool::TakeFinished() {
    std::lock_guard lock(mutex_);
    std::vector<CheckOutcome> finished;
    if (!abandoned_)
        return finished;
    for (std::size_t i = handedOver_; i < started_; ++i)
        if (outcomes_[i])
            finished.push_back(std::move(*std::exchange(outcomes_[i], std::nullopt)));
    return finished;
}

bool CheckPool::Abandoned() const {
    std::lock_guard lock(mutex_);
    return abandoned_;
}

std::optional<std::pair<std::size_t, std::string>> CheckPool::Oldest() const {
    std::lock_guard lock(mutex_);
    if (handedOver_ >= names_.size() || (handedOver_ == started_ && stopStarting_))
        return std::nullopt;
    return std::make_pair(handedOver_, names_[handedOver_]);
}

} // namespace core
