#include "probes/RegistryCheck.h"

#include "probes/RdapBootstrap.h"
#include "probes/RdapClient.h"

namespace probes {

RegistryAnswer CheckRegistry(const std::string &name, const DnsSettings &dns,
                             const RdapBootstrap &bootstrap, RdapClient &rdap) {
    const DelegationResult delegation = CheckDelegation(name, dns);
    if (delegation.state == Delegation::Delegated)
        return {Availability::Taken, "dns", {}, {}, "delegated: " + delegation.detail};
    const auto server = bootstrap.ServerFor(name);
    if (!server)
        return {Availability::Unknown,
                {},
                {},
                {},
                "no RDAP server for this suffix; DNS: " + delegation.detail};
    const RdapResult rdapResult = rdap.LookupDomain(*server, name);
    switch (rdapResult.outcome) {
    case RdapOutcome::Registered:
        return {Availability::Taken, "rdap", rdapResult.expires, rdapResult.registrar,
                "registered"};
    case RdapOutcome::NotFound:
        return {Availability::Free, "rdap", {}, {}, "not found"};
    case RdapOutcome::Unknown:
        break;
    }
    return {Availability::Unknown, {}, {}, {}, rdapResult.detail};
}

} // namespace probes
