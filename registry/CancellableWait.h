#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace registry {

// Pauses that the run can cut short: after Cancel every wait, now or later, ends at once, and so
// does a wait whose stop token is raised.
class CancellableWait {
public:
    // False when the wait was cancelled or stopped.
    bool WaitFor(std::chrono::milliseconds length, std::stop_token stop = {});
    void Cancel();

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    bool cancelled_ = false;
};

} // namespace registry
