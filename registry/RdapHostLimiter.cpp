#include "registry/RdapHostLimiter.h"

#include "base/AsciiCase.h"

#include <utility>

namespace registry {

using Clock = std::chrono::steady_clock;

RdapHostLimiter::Permit::Permit(RdapHostLimiter *owner, std::string host)
    : owner_(owner), host_(std::move(host)) {}

RdapHostLimiter::Permit::Permit(Permit &&other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), host_(std::move(other.host_)) {}

RdapHostLimiter::Permit &RdapHostLimiter::Permit::operator=(Permit &&other) noexcept {
    if (this != &other) {
        if (owner_ != nullptr)
            owner_->Release(host_);
        owner_ = std::exchange(other.owner_, nullptr);
        host_ = std::move(other.host_);
    }
    return *this;
}

RdapHostLimiter::Permit::~Permit() {
    if (owner_ != nullptr)
        owner_->Release(host_);
}

RdapHostLimiter::RdapHostLimiter() : RdapHostLimiter(Settings{}) {}

RdapHostLimiter::RdapHostLimiter(Settings settings) : settings_(settings) {}

RdapHostLimiter::Permit RdapHostLimiter::Acquire(const std::string &host, std::stop_token stop) {
    const std::string key = base::AsciiLower(host);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop.stop_requested())
            return {};
        HostState &state = hosts_[key];
        const auto now = Clock::now();
        if (state.inFlight < settings_.concurrentPerHost &&
            (!state.slowed || now >= state.nextStart)) {
            ++state.inFlight;
            if (state.slowed)
                state.nextStart = now + settings_.slowedGap;
            return Permit(this, key);
        }
        // A released slot and the stop wake the wait; a slowed host's gap ends it.
        if (state.inFlight < settings_.concurrentPerHost)
            changed_.wait_until(lock, stop, state.nextStart, [] { return false; });
        else
            changed_.wait(lock, stop,
                          [&] { return hosts_[key].inFlight < settings_.concurrentPerHost; });
    }
}

void RdapHostLimiter::Release(const std::string &host) {
    {
        std::lock_guard lock(mutex_);
        --hosts_[host].inFlight;
    }
    changed_.notify_all();
}

void RdapHostLimiter::SlowDown(const std::string &host) {
    std::lock_guard lock(mutex_);
    HostState &state = hosts_[base::AsciiLower(host)];
    if (!state.slowed) {
        state.slowed = true;
        state.nextStart = Clock::now() + settings_.slowedGap;
    }
}

bool RdapHostLimiter::IsSlowed(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found != hosts_.end() && found->second.slowed;
}

int RdapHostLimiter::InFlight(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = hosts_.find(base::AsciiLower(host));
    return found == hosts_.end() ? 0 : found->second.inFlight;
}

} // namespace registry
