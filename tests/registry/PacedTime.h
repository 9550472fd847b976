#pragma once

#include "registry/WhoisPacer.h"

#include <mutex>
#include <vector>

// A pacer's time that moves only when the pacer would wait for it: a wait until a later time
// jumps there at once and is recorded, so pacing is checked without sleeping. A wait that a
// release or an interruption ends (woken) does not move the time.
namespace registrytest {

class JumpingTime : public registry::WhoisPacer::TimeSource {
public:
    using Clock = registry::WhoisPacer::Clock;

    Clock::time_point Now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void WaitUntil(std::condition_variable_any &, std::unique_lock<std::mutex> &,
                   std::stop_token, Clock::time_point until,
                   const std::function<bool()> &woken) override {
        if (woken())
            return;
        std::lock_guard lock(mutex_);
        if (until > now_) {
            jumps_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(until - now_));
            now_ = until;
        }
    }
    std::vector<std::chrono::milliseconds> Jumps() const {
        std::lock_guard lock(mutex_);
        return jumps_;
    }

private:
    mutable std::mutex mutex_;
    Clock::time_point now_{};
    std::vector<std::chrono::milliseconds> jumps_;
};

} // namespace registrytest
