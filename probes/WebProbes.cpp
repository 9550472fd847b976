#include "probes/WebProbes.h"

#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/TrafficRankProbe.h"

namespace probes {

ProbeList WebProbes(const ServiceAddresses &services) {
    return {std::make_shared<AvailabilityProbe>(),
            std::make_shared<LinkPopularityProbe>(services.searchEngine),
            std::make_shared<TrafficRankProbe>(services.rankingService)};
}

} // namespace probes
