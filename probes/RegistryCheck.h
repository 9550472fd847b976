#pragma once

#include "probes/DomainRecord.h"
#include "registry/DnsDelegation.h"

#include <string>

// Whether a name is free by the registries' own records: its delegation first, then RDAP. An
// error never counts as free.
namespace registry {
class PublicSuffixList;
class RdapBootstrap;
class RdapClient;
} // namespace registry

namespace probes {

struct RegistryAnswer {
    Availability available = Availability::Unknown;
    // "dns" or "rdap" for a free or taken name; empty for Unknown.
    std::string evidence;
    std::string expires;
    std::string registrar;
    // What decided it, for a person.
    std::string detail;
    // The run stopped the check before RDAP was asked: there is no answer at all.
    bool stopped = false;
};

// A delegated name is registered without asking RDAP. Otherwise RDAP decides: a record is taken,
// "not found" is free, anything else, and a suffix without an RDAP server, is Unknown. A name
// that is not itself a registrable name by suffixes (a host below one, or a public suffix) is
// Unknown without asking: no delegation and no registry answer speaks for it. dnsBounds end the
// delegation query early; a delegation foundAhead by the run is taken instead of a query.
RegistryAnswer CheckRegistry(const std::string &name, const registry::DnsSettings &dns,
                             const registry::RdapBootstrap &bootstrap, registry::RdapClient &rdap,
                             const registry::PublicSuffixList &suffixes,
                             const registry::DnsBounds &dnsBounds = {},
                             const registry::DelegationResult *foundAhead = nullptr);

} // namespace probes
