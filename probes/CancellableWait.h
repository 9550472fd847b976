#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace probes {

// Pauses that the run can cut short: after Cancel every wait, now or later, ends at once.
class CancellableWait {
public:
    // False when the wait was cancelled.
    bool WaitFor(std::chrono::milliseconds length);
    void Cancel();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
};

} // namespace probes
