#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace registry {

// Pauses that the run can cut short: a wait whose stop token (the run's) is raised ends at once,
// woken rather than polling.
class CancellableWait {
public:
    // False when the wait was stopped.
    bool WaitFor(std::chrono::milliseconds length, std::stop_token stop = {});

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
};

} // namespace registry
