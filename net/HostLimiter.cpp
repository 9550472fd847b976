#include "net/HostLimiter.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace net {
namespace {

using Clock = HostLimiter::Clock;

// The fastest a host may be set to go, which bounds the tokens kept for it, and the slowest
// that halving takes it to, so that a host that keeps answering "too many requests" is still
// asked once a minute rather than never.
constexpr double kFastestRate = 100000;
constexpr double kSlowestRate = 1.0 / 60;

HostLimiter::HostSettings Sane(HostLimiter::HostSettings settings) {
    settings.atOnce = std::max(settings.atOnce, 1);
    settings.slowedGap = std::max(settings.slowedGap, std::chrono::milliseconds(0));
    // Not above 0 (or not a number): no rate.
    settings.rate = settings.rate > 0 ? std::min(settings.rate, kFastestRate) : 0;
    return settings;
}

// A bucket at rate holds one second's worth of tokens, or one token below one a second.
std::size_t TokensAt(double rate) {
    return rate >= 1 ? static_cast<std::size_t>(std::floor(rate)) : 1;
}

// How long a spent token stays away.
Clock::duration TokenPeriod(double rate) {
    const double seconds = rate >= 1 ? 1.0 : 1.0 / rate;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace

HostLimiter::HostLimiter() : HostLimiter(HostSettings{}) {}

HostLimiter::HostLimiter(HostSettings settings, std::function<Clock::time_point()> now)
    : settings_(Sane(settings)), now_(now ? std::move(now) : [] { return Clock::now(); }) {}

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

HostLimiter::Hold::Hold(Hold &&other) noexcept
    : limiter_(std::exchange(other.limiter_, nullptr)), host_(std::move(other.host_)) {}

HostLimiter::Hold &HostLimiter::Hold::operator=(Hold &&other) noexcept {
    if (this != &other) {
        Release();
        limiter_ = std::exchange(other.limiter_, nullptr);
        host_ = std::move(other.host_);
    }
    return *this;
}

HostLimiter::Hold::~Hold() {
    Release();
}

void HostLimiter::Hold::Release() {
    if (limiter_)
        std::exchange(limiter_, nullptr)->Unhold(host_);
}

HostLimiter::HostState &HostLimiter::Known(const std::string &key, Clock::time_point now) {
    const auto [found, added] = hosts_.try_emplace(key);
    HostState &state = found->second;
    if (added && settings_.rate > 0) {
        // The bucket starts empty: its tokens come in evenly over their first period.
        state.rate = settings_.rate;
        const std::size_t count = TokensAt(state.rate);
        const auto spacing = TokenPeriod(state.rate) / count;
        for (std::size_t i = 1; i <= count; ++i)
            state.tokens.push_back(now + spacing * i);
    }
    return state;
}

bool HostLimiter::MayStart(const HostState &state, Clock::time_point now) const {
    if (state.inUse >= settings_.atOnce || state.held > 0)
        return false;
    if (state.rate > 0)
        return state.tokens.front() <= now;
    return !state.slowed || now >= state.nextStart;
}

void HostLimiter::Start(HostState &state, Clock::time_point now) const {
    ++state.inUse;
    if (state.rate > 0) {
        // Every token kept is due no later than this one comes back, so the times stay in order.
        state.tokens.pop_front();
        state.tokens.push_back(now + TokenPeriod(state.rate));
    } else if (state.slowed) {
        state.nextStart = now + settings_.slowedGap;
    }
}

Clock::time_point HostLimiter::NextChance(const HostState &state) const {
    if (state.inUse >= settings_.atOnce || state.held > 0)
        return Clock::time_point::max();
    if (state.rate > 0)
        return state.tokens.front();
    return state.nextStart;
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
        const auto now = now_();
        HostState &state = Known(key, now);
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
        // A freed place, a hold let go and the stop wake the wait; the next token, a slowed
        // host's gap and the deadline end it. The entry stays while it has waiters.
        const bool full = state.inUse >= settings_.atOnce;
        const bool held = state.held > 0;
        const auto freed = [&] {
            return (full && state.inUse < settings_.atOnce) || (held && state.held == 0);
        };
        const auto until = std::min(deadline, NextChance(state));
        ++state.waiting;
        if (until == Clock::time_point::max())
            state.changed.wait(lock, stop, freed);
        else
            state.changed.wait_for(lock, stop, until - now, freed);
        --state.waiting;
    }
}

void HostLimiter::ForgetIfIdle(const std::string &host) {
    if (auto found = hosts_.find(host); found != hosts_.end() && found->second.inUse <= 0 &&
                                        !found->second.slowed && found->second.held == 0 &&
                                        found->second.rate == 0 && found->second.waiting == 0)
        hosts_.erase(found);
}

void HostLimiter::WakeWaitersLocked(const std::string &host) {
    // Only this host's waiters can use what was freed; all of them look, since the wait of one
    // may end (a stop, a deadline) before it takes the place.
    if (auto found = hosts_.find(host); found != hosts_.end() && found->second.waiting > 0)
        found->second.changed.notify_all();
}

void HostLimiter::Unhold(const std::string &host) {
    std::lock_guard lock(mutex_);
    if (auto found = hosts_.find(host); found != hosts_.end())
        --found->second.held;
    WakeWaitersLocked(host);
    ForgetIfIdle(host);
}

void HostLimiter::Release(const std::string &host) {
    std::lock_guard lock(mutex_);
    if (auto found = hosts_.find(host); found != hosts_.end())
        --found->second.inUse;
    WakeWaitersLocked(host);
    ForgetIfIdle(host);
}

void HostLimiter::SlowDown(const std::string &host) {
    std::lock_guard lock(mutex_);
    Slow(Known(base::AsciiLower(host), now_()), now_());
}

HostLimiter::Hold HostLimiter::TooManyRequests(const std::string &host) {
    const std::string key = base::AsciiLower(host);
    std::lock_guard lock(mutex_);
    HostState &state = Known(key, now_());
    Slow(state, now_());
    ++state.held;
    return Hold(this, key);
}

void HostLimiter::Slow(HostState &state, Clock::time_point now) const {
    if (state.rate > 0) {
        // Halved, the bucket keeps the tokens that come back last: the fewer now allowed
        // are all still away or due soonest after the ones dropped.
        state.slowed = true;
        state.rate = std::max(state.rate / 2, std::min(kSlowestRate, settings_.rate));
        while (state.tokens.size() > TokensAt(state.rate))
            state.tokens.pop_front();
        return;
    }
    if (!state.slowed) {
        state.slowed = true;
        state.nextStart = now + settings_.slowedGap;
    }
}

bool HostLimiter::IsSlowed(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found != hosts_.end() && found->second.slowed;
}

double HostLimiter::Rate(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found == hosts_.end() ? settings_.rate : found->second.rate;
}

int HostLimiter::InUse(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found == hosts_.end() ? 0 : found->second.inUse;
}

int HostLimiter::Waiting(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found == hosts_.end() ? 0 : found->second.waiting;
}

int HostLimiter::MostAtOnce(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = mostAtOnce_.find(base::AsciiLower(host));
    return found == mostAtOnce_.end() ? 0 : found->second;
}

} // namespace net
