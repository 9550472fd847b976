#pragma once

#include "probes/Probe.h"

namespace probes {

// The ranking service's rank for www.<name>: a run of digits, possibly empty. Never raises.
std::string GetTrafficRank(const std::string &name, const net::NetworkContext &context,
                           const Pause &pause = {});

// Fills rank from the ranking service's page.
class TrafficRankProbe : public Probe {
public:
    std::vector<std::string> Fills() const override { return {std::string(base::field::kRank)}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;
};

} // namespace probes
