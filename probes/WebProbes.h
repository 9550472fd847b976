#pragma once

#include "probes/Probe.h"
#include "probes/ServiceAddresses.h"

namespace probes {

// The probes of the web check: availability by the site's answer, then link popularity and
// traffic rank for free names, from services.
ProbeList WebProbes(const ServiceAddresses &services = {});

} // namespace probes
