#include "registry/CancellableWait.h"

namespace registry {

bool CancellableWait::WaitFor(std::chrono::milliseconds length, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, stop, length, [this] { return cancelled_; }) &&
           !stop.stop_requested();
}

void CancellableWait::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
}

} // namespace registry
