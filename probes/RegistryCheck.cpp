#include "probes/RegistryCheck.h"

#include "probes/RdapBootstrap.h"
#include "probes/RdapClient.h"

namespace probes {

RegistryAnswer CheckRegistry(const std::string &name, const DnsSettings &dns,
                             const RdapBootstrap &bootstrap, RdapClient &rdap,
                             const DnsBounds &dnsBounds) {
    const DelegationResult delegation = CheckDelegation(name, dns, dnsBounds);
    if (delegation.state == Delegation::Delegated)
        return {"No", "dns", {}, {}, "delegated: " + delegation.detail};
    const auto server = bootstrap.ServerFor(name);
    if (!server)
        return {"Unknown", {}, {}, {}, "no RDAP server for this suffix; DNS: " + delegation.detail};
    const RdapResult rdapResult = rdap.LookupDomain(*server, name);
    switch (rdapResult.outcome) {
    case RdapOutcome::Registered:
        return {"No", "rdap", rdapResult.expires, rdapResult.registrar, "registered"};
    case RdapOutcome::NotFound:
        return {"Yes", "rdap", {}, {}, "not found"};
    case RdapOutcome::Unknown:
        break;
    case RdapOutcome::Stopped: {
        RegistryAnswer stopped{"Unknown", {}, {}, {}, rdapResult.detail};
        stopped.stopped = true;
        return stopped;
    }
    }
    return {"Unknown", {}, {}, {}, rdapResult.detail};
}

} // namespace probes
