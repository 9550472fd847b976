#include "probes/RegistryCheck.h"

#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapClient.h"

namespace probes {
namespace {

// Why name is no name a registry hands out; empty when it is one.
std::string NotRegistrable(const std::string &name, const registry::PublicSuffixList &suffixes) {
    const auto registrable = suffixes.RegistrableName(name);
    if (!registrable)
        return "a public suffix, not a registrable name";
    if (!suffixes.IsRegistrable(name))
        return "a name below the registrable name " + *registrable;
    return {};
}

} // namespace

RegistryAnswer CheckRegistry(const std::string &name, const registry::DnsSettings &dns,
                             const registry::RdapBootstrap &bootstrap, registry::RdapClient &rdap,
                             const registry::PublicSuffixList &suffixes,
                             const registry::DnsBounds &dnsBounds,
                             const registry::DelegationResult *foundAhead) {
    // A name below a delegation is not delegated itself, and a registry finds no registration
    // of it: both would say "free" for any host of a registered name.
    if (std::string why = NotRegistrable(name, suffixes); !why.empty())
        return {Availability::Unknown, {}, {}, {}, std::move(why)};
    const registry::DelegationResult delegation =
        foundAhead ? *foundAhead : registry::CheckDelegation(name, dns, dnsBounds);
    if (delegation.state == registry::Delegation::Delegated)
        return {Availability::Taken, "dns", {}, {}, "delegated: " + delegation.detail};
    const auto server = bootstrap.ServerFor(name);
    if (!server)
        return {Availability::Unknown,
                {},
                {},
                {},
                "no RDAP server for this suffix; DNS: " + delegation.detail};
    const registry::RdapResult rdapResult = rdap.LookupDomain(*server, name);
    switch (rdapResult.outcome) {
    case registry::RdapOutcome::Registered:
        return {Availability::Taken, "rdap", rdapResult.expires, rdapResult.registrar,
                "registered"};
    case registry::RdapOutcome::NotFound:
        return {Availability::Free, "rdap", {}, {}, "not found"};
    case registry::RdapOutcome::Unknown:
        break;
    case registry::RdapOutcome::Stopped: {
        RegistryAnswer stopped{Availability::Unknown, {}, {}, {}, rdapResult.detail};
        stopped.stopped = true;
        return stopped;
    }
    }
    return {Availability::Unknown, {}, {}, {}, rdapResult.detail};
}

} // namespace probes
