#pragma once

#include "probes/Probe.h"

namespace probes {

// The search engine's hit count for links to www.<name>, "0" when none is found, "" after an
// unexpected failure (a failing pause included). Never raises.
std::string GetLinkPopularity(const std::string &name, const net::NetworkContext &context,
                              const Pause &pause = {});

// Every occurrence of pattern (ASCII case ignored) replaced; an empty pattern changes nothing.
std::string ReplaceAllText(const std::string &text, const std::string &pattern,
                           const std::string &replacement);

// Fills links from the search engine's page.
class LinkPopularityProbe : public Probe {
public:
    std::vector<std::string> Fills() const override { return {std::string(base::field::kLinks)}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;
};

} // namespace probes
