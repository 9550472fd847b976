#include "net/HostLimiter.h"

#include "base/AsciiCase.h"
#include "net/IdStack.h"

#include <algorithm>
#include <utility>

namespace net {

HostLimiter::HostLimiter(int perHost) : perHost_(std::max(perHost, 1)) {}

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

HostLimiter::Slot HostLimiter::Acquire(const std::string &host, Clock::time_point deadline,
                                       std::stop_token stop) {
    const std::string key = base::AsciiLower(host);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop.stop_requested())
            TIdStack::FailWithSocketError(Id_WSAEINTR);
        int &used = inUse_[key];
        if (used < perHost_) {
            ++used;
            // Only hosts with exchanges at once are noted: a run of millions of names asks
            // each name's own host once, and must not keep an entry per name.
            if (used > 1) {
                int &most = mostAtOnce_[key];
                most = std::max(most, used);
            }
            return Slot(this, key);
        }
        // A freed place and the stop wake the wait; each wake looks again.
        const auto freed = [&] { return inUse_[key] < perHost_; };
        if (!freed_.wait_until(lock, stop, deadline, freed) && !stop.stop_requested() &&
            Clock::now() >= deadline)
            TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
    }
}

void HostLimiter::Release(const std::string &host) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = inUse_.find(host); found != inUse_.end() && --found->second <= 0)
            inUse_.erase(found);
    }
    freed_.notify_all();
}

int HostLimiter::MostAtOnce(const std::string &host) const {
    std::lock_guard lock(mutex_);
    const auto found = mostAtOnce_.find(base::AsciiLower(host));
    return found == mostAtOnce_.end() ? 0 : found->second;
}

} // namespace net
