#pragma once

// The process-wide stop request: a run in progress ends at its next stop test once it is raised.
// False at start-up.
namespace core {

bool StopRequested();
void RaiseStopRequest();
void ClearStopRequest();

} // namespace core
