#pragma once

#include "probes/Probe.h"

namespace probes {

// The probes of the web check: availability by the site's answer, then link popularity and
// traffic rank for free names.
ProbeList WebProbes();

} // namespace probes
