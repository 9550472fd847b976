#pragma once

#include "probes/DomainRecord.h"
#include "registry/DnsDelegation.h"
#include "registry/ForSaleRecord.h"

#include <optional>
#include <string>
#include <vector>

// Whether a taken name may still be bought: its owner's "_for-sale" sign in DNS, and name
// servers of a parking or sale service. Both are hints beside the registry's answer: they never
// change the availability, and a failed query is simply no mark.
namespace registry {
class ParkingServices;
}

namespace probes {

// The status words of the two marks, as the Status cell shows them.
inline constexpr const char *kForSaleWord = "for sale";
inline constexpr const char *kParkedWord = "parked";

struct SaleMarks {
    std::optional<registry::ForSaleSign> sign;
    // The parking service the name servers belong to.
    std::optional<std::string> parkedAt;
};

// The marks of a taken name: its TXT query through dns within bounds, and its nameServers (as
// the delegation found them; none when it was not asked) against parking.
SaleMarks FindSaleMarks(const std::string &name, const std::vector<std::string> &nameServers,
                        const registry::DnsSettings &dns, const registry::ParkingServices &parking,
                        const registry::DnsBounds &bounds);

// Adds the marks' words to status, the offer field, and the parking service to the evidence.
void ApplySaleMarks(const SaleMarks &marks, std::vector<std::string> &status, DomainRecord &record);

} // namespace probes
