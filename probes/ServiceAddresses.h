#pragma once

#include <string>

namespace probes {

// The two services the page probes read, as "http://" + host. The probes keep the addresses
// they are made with; a test or nimbrel-cli (--search-engine, --ranking-service) names others,
// and --connect-to routes them like any host.
struct ServiceAddresses {
    std::string searchEngine = "http://search.yahoo.com";
    std::string rankingService = "http://www.alexa.com";
};

} // namespace probes
