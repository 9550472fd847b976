#include "probes/SaleMarks.h"

#include "registry/ForSaleLookup.h"
#include "registry/ParkingServices.h"

namespace probes {

SaleMarks FindSaleMarks(const std::string &name, const std::vector<std::string> &nameServers,
                        const registry::DnsSettings &dns, const registry::ParkingServices &parking,
                        const registry::DnsBounds &bounds) {
    return {registry::LookUpForSale(name, dns, bounds), parking.ServiceOf(nameServers)};
}

void ApplySaleMarks(const SaleMarks &marks, std::vector<std::string> &status,
                    DomainRecord &record) {
    if (marks.sign) {
        status.emplace_back(kForSaleWord);
        if (!marks.sign->value.empty())
            record.SetField(base::field::kOffer, marks.sign->value);
    }
    if (marks.parkedAt) {
        status.emplace_back(kParkedWord);
        record.AddEvidence("parked: " + *marks.parkedAt);
    }
}

} // namespace probes
