#pragma once

#include "registry/DnsDelegation.h"
#include "registry/ForSaleRecord.h"

#include <optional>
#include <string>

// Whether a taken name's owner says it is for sale: one TXT query for "_for-sale.NAME" on a DNS
// channel of the call's own, with the run's resolver and the same bounds as the delegation query
// (tries' time-outs, the caller's deadline, the caller's stop). A failed query or a reply that
// cannot be read is no sign: the mark is a hint and never holds up the check.
namespace registry {

// The owner name the sign lives at.
std::string ForSaleOwner(const std::string &name);

// The chosen sign; nothing when there is none or the query failed.
std::optional<ForSaleSign> LookUpForSale(const std::string &name, const DnsSettings &settings,
                                         const DnsBounds &bounds);

} // namespace registry
