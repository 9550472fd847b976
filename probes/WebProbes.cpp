#include "probes/WebProbes.h"

#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/TrafficRankProbe.h"

namespace probes {

ProbeList WebProbes() {
    return {std::make_shared<AvailabilityProbe>(), std::make_shared<LinkPopularityProbe>(),
            std::make_shared<TrafficRankProbe>()};
}

} // namespace probes
