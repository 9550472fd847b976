#pragma once

#include "probes/DomainRecord.h"
#include "probes/UnknownReason.h"
#include "registry/DnsDelegation.h"

#include <string>
#include <vector>

// Whether a name is free by the registries' own records: its delegation first, then RDAP, or
// WHOIS for a suffix without an RDAP server. An error never counts as free.
namespace registry {
class PublicSuffixList;
class RdapBootstrap;
class RdapClient;
class WhoisClient;
class WhoisServers;
} // namespace registry

namespace probes {

struct RegistryAnswer {
    Availability available = Availability::Unknown;
    // "dns", "rdap" or "whois" for a free or taken name; empty for Unknown.
    std::string evidence;
    std::string expires;
    std::string registrar;
    // The registry's status words for a taken name ("client hold", "reserved").
    std::vector<std::string> status;
    // The name servers a delegation named (lower-case), for a name taken by its delegation.
    std::vector<std::string> nameServers;
    // Why an Unknown name is unknown: the delegation's failure, when there was one, then the
    // registry's.
    std::vector<UnknownReason> reasons;
    // What decided it, for a person.
    std::string detail;
    // The run stopped the check before the registry was asked: there is no answer at all.
    bool stopped = false;
};

// Where the check asks. whois may be null: suffixes without an RDAP server are then Unknown.
struct RegistrySources {
    const registry::DnsSettings &dns;
    const registry::RdapBootstrap &bootstrap;
    registry::RdapClient &rdap;
    const registry::PublicSuffixList &suffixes;
    const registry::WhoisServers *whoisServers = nullptr;
    const registry::WhoisClient *whois = nullptr;
    // Asks the registry about a delegated name too, for the status and expiry a delegation does
    // not tell (watched names, which are few); the delegation still decides when the registry
    // gives no record.
    bool askWhenDelegated = false;
};

// A delegated name is registered without asking a registry (unless sources ask for it, when a
// registry's record describes it, and anything else leaves it taken by its delegation). Otherwise RDAP decides: a record is
// taken, "not found" is free, anything else is Unknown. A suffix without an RDAP server asks its
// WHOIS server, whose reply decides the same way; without either it is Unknown. A name that is
// not itself a registrable name by suffixes (a host below one, or a public suffix) is Unknown
// without asking: no delegation and no registry answer speaks for it. dnsBounds end the
// delegation query early; a delegation foundAhead by the run is taken instead of a query.
RegistryAnswer CheckRegistry(const std::string &name, const RegistrySources &sources,
                             const registry::DnsBounds &dnsBounds = {},
                             const registry::DelegationResult *foundAhead = nullptr);

// The same without WHOIS.
RegistryAnswer CheckRegistry(const std::string &name, const registry::DnsSettings &dns,
                             const registry::RdapBootstrap &bootstrap, registry::RdapClient &rdap,
                             const registry::PublicSuffixList &suffixes,
                             const registry::DnsBounds &dnsBounds = {},
                             const registry::DelegationResult *foundAhead = nullptr);

} // namespace probes
