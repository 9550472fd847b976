#include "registry/CancellableWait.h"

namespace registry {

bool CancellableWait::WaitFor(std::chrono::milliseconds length, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    // Nothing but the stop ends the wait early; the token's callback wakes it.
    changed_.wait_for(lock, stop, length, [] { return false; });
    return !stop.stop_requested();
}

} // namespace registry
