#pragma once

#include "core/SearchOptions.h"
#include "probes/Probe.h"
#include "probes/RegistryProbe.h"

namespace core {

// The probes of one run as options.check() chooses: the registry check (its registry context
// made here, for this run alone) or the web check. The registry check raises what
// RegistryContext raises.
probes::ProbeList ProbesFor(const SearchOptions &options, const probes::RegistrySettings &registry);

} // namespace core
