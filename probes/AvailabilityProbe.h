#pragma once

#include "probes/Probe.h"

namespace probes {

// Taken when the server at url answers 200 or 302, free in every other case. A socket layer
// that cannot start raises its EIdException from here; every other failure is absorbed.
Availability CheckAvailability(const std::string &url, int port,
                               const net::NetworkContext &context);

// Whether www.NAME answers as a taken name's web site would; its evidence is "web".
class AvailabilityProbe : public Probe {
public:
    std::vector<std::string> Fills() const override {
        return {std::string(base::field::kAvailable), std::string(base::field::kEvidence)};
    }
    bool OnlyForAvailable() const override { return false; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;
    // Looks the web site's host name up ahead.
    void Prepare(const std::string &name, const net::NetworkContext &context) const override;
};

} // namespace probes
