#include "core/StopRequest.h"

namespace core {
namespace {

bool stopRequested = false;

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
