#include "registry/WhoisPacer.h"

#include "base/AsciiCase.h"

#include <utility>

namespace registry {
namespace {

class SteadyTime : public WhoisPacer::TimeSource {
public:
    WhoisPacer::Clock::time_point Now() const override { return WhoisPacer::Clock::now(); }
    void WaitUntil(std::condition_variable_any &changed, std::unique_lock<std::mutex> &lock,
                   std::stop_token stop, WhoisPacer::Clock::time_point until,
                   const std::function<bool()> &woken) override {
        changed.wait_until(lock, stop, until, woken);
    }
};

} // namespace

WhoisPacer::Turn::Turn(WhoisPacer *owner, std::string host)
    : owner_(owner), host_(std::move(host)), outcome_(Outcome::Granted) {}

WhoisPacer::Turn::Turn(Turn &&other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), host_(std::move(other.host_)),
      outcome_(other.outcome_) {}

WhoisPacer::Turn &WhoisPacer::Turn::operator=(Turn &&other) noexcept {
    if (this != &other) {
        Give();
        owner_ = std::exchange(other.owner_, nullptr);
        host_ = std::move(other.host_);
        outcome_ = other.outcome_;
    }
    return *this;
}

WhoisPacer::Turn::~Turn() {
    Give();
}

void WhoisPacer::Turn::Give() {
    if (owner_ != nullptr)
        std::exchange(owner_, nullptr)->Release(host_);
}

WhoisPacer::WhoisPacer(std::chrono::milliseconds pause, std::shared_ptr<TimeSource> time)
    : pause_(std::max(pause, std::chrono::milliseconds(0))),
      time_(time ? std::move(time) : std::make_shared<SteadyTime>()) {}

WhoisPacer::Turn WhoisPacer::Acquire(const std::string &host, std::chrono::milliseconds within,
                                     std::stop_token stop) {
    const std::string key = base::AsciiLower(host);
    std::unique_lock lock(mutex_);
    const Clock::time_point deadline =
        time_->Now() + std::max(within, std::chrono::milliseconds(0));
    for (;;) {
        if (stop.stop_requested())
            return Turn(Outcome::Interrupted);
        HostState &state = hosts_[key];
        const Clock::time_point now = time_->Now();
        if (!state.asking && now >= state.nextStart) {
            state.asking = true;
            return Turn(this, key);
        }
        if (now >= deadline)
            return Turn(Outcome::TimedOut);
        // While another thread asks, only its release (or the deadline) can change anything.
        const Clock::time_point until =
            state.asking ? deadline : std::min(state.nextStart, deadline);
        const unsigned long long seen = changes_;
        time_->WaitUntil(changed_, lock, stop, until, [this, seen] { return changes_ != seen; });
    }
}

void WhoisPacer::Release(const std::string &host) {
    {
        std::lock_guard lock(mutex_);
        HostState &state = hosts_[host];
        state.asking = false;
        state.nextStart = time_->Now() + pause_;
        ++changes_;
    }
    changed_.notify_all();
}

} // namespace registry
