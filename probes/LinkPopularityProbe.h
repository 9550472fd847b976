#pragma once

#include "probes/Probe.h"
#include "probes/ServiceAddresses.h"

#include <string>
#include <utility>

namespace probes {

// The hit count of the search engine at searchEngine for links to www.<name>, "0" when none is
// found, "" after an unexpected failure (a failing pause included). Never raises.
std::string GetLinkPopularity(const std::string &name, const net::NetworkContext &context,
                              const Pause &pause = {},
                              const std::string &searchEngine = ServiceAddresses().searchEngine);

// Every occurrence of pattern (ASCII case ignored) replaced; an empty pattern changes nothing.
std::string ReplaceAllText(const std::string &text, const std::string &pattern,
                           const std::string &replacement);

// Fills links from the search engine's page.
class LinkPopularityProbe : public Probe {
public:
    explicit LinkPopularityProbe(std::string searchEngine = ServiceAddresses().searchEngine)
        : searchEngine_(std::move(searchEngine)) {}
    std::vector<std::string> Fills() const override { return {std::string(base::field::kLinks)}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;

private:
    const std::string searchEngine_;
};

} // namespace probes
