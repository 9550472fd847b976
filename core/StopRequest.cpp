#include "core/StopRequest.h"

#include <atomic>

namespace core {
namespace {

// Raised on the window's thread; read wherever a run tests it.
std::atomic<bool> stopRequested = false;

} // namespace

bool StopRequested() {
    return stopRequested;
}
void RaiseStopRequest() {
    stopRequested = true;
}
void ClearStopRequest() {
    stopRequested = false;
}

} // namespace core
