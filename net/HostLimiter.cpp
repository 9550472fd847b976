#include "net/HostLimiter.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <utility>

namespace net {
namespace {

HostLimiter::HostSettings Sane(HostLimiter::HostSettings settings) {
    settings.atOnce = std::max(settings.atOnce, 1);
    settings.slowedGap = std::max(settings.slowedGap, std::chrono::milliseconds(0));
    return settings;
}

} // namespace

HostLimiter::HostLimiter() : HostLimiter(HostSettings{}) {}

HostLimiter::HostLimiter(HostSettings settings) : settings_(Sane(settings)) {}

HostLimiter::Slot::Slot(Slot &&other) noexcept
    : limiter_(std::exchange(other.limiter_, nullptr)), host_(std::move(other.host_)) {}

HostLimiter::Slot &HostLimiter::Slot::operator=(Slot &&other) noexcept {
    if (this != &other) {
        Release();
        limiter_ = std::exchange(other.limiter_, nullptr);
        host_ = std::move(other.host_);
    }
    return *this;
}

HostLimiter::Slot::~Slot() {
    Release();
}

void HostLimiter::Slot::Release() {
    if (limiter_)
        std::exchange(limiter_, nullptr)->Release(host_);
}

bool HostLimiter::MayStart(const HostState &state, Clock::time_point now) const {
    return state.inUse < settings_.atOnce && (!state.slowed || now >= state.nextStart);
}

void HostLimiter::Start(HostState &state, Clock::time_point now) const {
    ++state.inUse;
    if (state.slowed)
        state.nextStart = now + settings_.slowedGap;
}

HostLimiter::Slot HostLimiter::Acquire(const std::string &host, std::stop_token stop,
                                       Clock::time_point deadline) {
    const std::string key = base::AsciiLower(host);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop.stop_requested()) {
            ForgetIfIdle(key);
            return {};
        }
        const auto now = Clock::now();
        HostState &state = hosts_[key];
        if (MayStart(state, now)) {
            Start(state, now);
            // Only hosts with exchanges at once are noted: a run of millions of names asks
            // each name's own host once.
            if (state.inUse > 1) {
                int &most = mostAtOnce_[key];
                most = std::max(most, state.inUse);
            }
            return Slot(this, key);
        }
        if (now >= deadline) {
            ForgetIfIdle(key);
            return {};
        }
        // A freed place and the stop wake the wait; a slowed host's gap and the deadline end it.
        // Each wake looks again (the host's entry may have gone meanwhile).
        const bool full = state.inUse >= settings_.atOnce;
        const auto freed = [&] { return full && hosts_[key].inUse < settings_.atOnce; };
        const auto until = full ? deadline : std::min(deadline, state.nextStart);
        if (until == Clock::time_point::max())
            changed_.wait(lock, stop, freed);
        else
            changed_.wait_until(lock, stop, until, freed);
    }
}

void HostLimiter::ForgetIfIdle(const std::string &host) {
    if (auto found = hosts_.find(host);
        found != hosts_.end() && found->second.inUse <= 0 && !found->second.slowed)
        hosts_.erase(found);
}

void HostLimiter::Release(const std::string &host) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = hosts_.find(host); found != hosts_.end())
            --found->second.inUse;
        ForgetIfIdle(host);
    }
    changed_.notify_all();
}

void HostLimiter::SlowDown(const std::string &host) {
    std::lock_guard lock(mutex_);
    HostState &state = hosts_[base::AsciiLower(host)];
    if (!state.slowed) {
        state.slowed = true;
        state.nextStart = Clock::now() + settings_.slowedGap;
    }
}

bool HostLimiter::IsSlowed(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found != hosts_.end() && found->second.slowed;
}

int HostLimiter::InUse(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found == hosts_.end() ? 0 : found->second.inUse;
}

int HostLimiter::MostAtOnce(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = mostAtOnce_.find(base::AsciiLower(host));
    return found == mostAtOnce_.end() ? 0 : found->second;
}

} // namespace net
