#pragma once

#include "probes/Probe.h"
#include "probes/ServiceAddresses.h"

#include <string>
#include <utility>

namespace probes {

// The rank for www.<name> of the ranking service at rankingService: a run of digits, possibly
// empty. Never raises.
std::string GetTrafficRank(const std::string &name, const net::NetworkContext &context,
                           const Pause &pause = {},
                           const std::string &rankingService = ServiceAddresses().rankingService);

// Fills rank from the ranking service's page.
class TrafficRankProbe : public Probe {
public:
    explicit TrafficRankProbe(std::string rankingService = ServiceAddresses().rankingService)
        : rankingService_(std::move(rankingService)) {}
    std::vector<std::string> Fills() const override { return {std::string(base::field::kRank)}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;

private:
    const std::string rankingService_;
};

} // namespace probes
