#include "probes/RegistryCheck.h"

#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapClient.h"
#include "registry/WhoisClient.h"
#include "registry/WhoisReply.h"
#include "registry/WhoisServers.h"

#include <optional>

namespace probes {
namespace {

using Reasons = std::vector<UnknownReason>;

RegistryAnswer Unknown(Reasons reasons, std::string detail) {
    RegistryAnswer answer;
    answer.reasons = std::move(reasons);
    answer.detail = std::move(detail);
    return answer;
}

RegistryAnswer Stopped(std::string detail) {
    RegistryAnswer stopped = Unknown({}, std::move(detail));
    stopped.stopped = true;
    return stopped;
}

RegistryAnswer Known(Availability available, std::string evidence, std::string detail) {
    RegistryAnswer answer;
    answer.available = available;
    answer.evidence = std::move(evidence);
    answer.detail = std::move(detail);
    return answer;
}

// A registration the registry described, with what it said of it.
RegistryAnswer Registered(std::string evidence, std::string expires, std::string registrar,
                          std::vector<std::string> status) {
    RegistryAnswer answer = Known(Availability::Taken, std::move(evidence), "registered");
    answer.expires = std::move(expires);
    answer.registrar = std::move(registrar);
    answer.status = std::move(status);
    return answer;
}

// Why name is no name a registry hands out; nothing when it is one.
std::optional<UnknownReason> NotRegistrable(const std::string &name,
                                            const registry::PublicSuffixList &suffixes) {
    const auto registrable = suffixes.RegistrableName(name);
    if (!registrable)
        return UnknownReason{UnknownKind::PublicSuffix, {}};
    if (!suffixes.IsRegistrable(name))
        return UnknownReason{UnknownKind::BelowRegistrable, *registrable};
    return std::nullopt;
}

// The public suffix of a registrable name: all but its first label.
std::string SuffixOf(const std::string &name) {
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

// The delegation's failure as a reason; nothing when the resolver answered.
std::optional<UnknownReason> DnsReason(const registry::DelegationResult &delegation) {
    switch (delegation.failure) {
    case registry::DnsFailure::None:
        return std::nullopt;
    case registry::DnsFailure::NoAnswer:
    case registry::DnsFailure::Cancelled:
        return UnknownReason{UnknownKind::DnsNoAnswer, {}};
    case registry::DnsFailure::ServerFailed:
        return UnknownReason{UnknownKind::DnsServerFailed, delegation.detail};
    case registry::DnsFailure::Other:
        break;
    }
    return UnknownReason{UnknownKind::DnsFailed, {}};
}

UnknownReason RdapReason(const registry::RdapResult &result) {
    switch (result.failure) {
    case registry::RdapFailure::RateLimited:
        return {UnknownKind::RdapRateLimited, {}};
    case registry::RdapFailure::Unavailable:
        return {UnknownKind::RdapUnavailable, {}};
    case registry::RdapFailure::Certificate:
        return {UnknownKind::RdapCertificate, {}};
    case registry::RdapFailure::NoAnswer:
        return {UnknownKind::RdapNoAnswer, {}};
    case registry::RdapFailure::HttpStatus:
        return {UnknownKind::RdapHttpStatus, std::to_string(result.httpStatus)};
    case registry::RdapFailure::Redirect:
        return {UnknownKind::RdapRedirect, {}};
    case registry::RdapFailure::None:
    case registry::RdapFailure::NotUnderstood:
        break;
    }
    return {UnknownKind::RdapNotUnderstood, {}};
}

UnknownKind WhoisReasonKind(registry::WhoisReason reason) {
    switch (reason) {
    case registry::WhoisReason::LimitExceeded:
        return UnknownKind::WhoisLimit;
    case registry::WhoisReason::EmptyReply:
        return UnknownKind::WhoisEmpty;
    case registry::WhoisReason::Premium:
        return UnknownKind::WhoisPremium;
    case registry::WhoisReason::ReplyCut:
        return UnknownKind::WhoisCut;
    case registry::WhoisReason::None:
    case registry::WhoisReason::Reserved:
    case registry::WhoisReason::NotUnderstood:
        break;
    }
    return UnknownKind::WhoisNotUnderstood;
}

// An Unknown answer: the delegation's failure, when there was one, then the registry's reason.
RegistryAnswer UnknownAfter(const registry::DelegationResult &delegation, UnknownReason reason,
                            std::string detail) {
    Reasons reasons;
    if (auto dns = DnsReason(delegation))
        reasons.push_back(std::move(*dns));
    reasons.push_back(std::move(reason));
    return Unknown(std::move(reasons), std::move(detail));
}

RegistryAnswer AskRdap(const std::string &server, const std::string &name,
                       registry::RdapClient &rdap, const registry::DelegationResult &delegation) {
    registry::RdapResult result = rdap.LookupDomain(server, name);
    switch (result.outcome) {
    case registry::RdapOutcome::Registered:
        return Registered("rdap", std::move(result.expires), std::move(result.registrar),
                          std::move(result.status));
    case registry::RdapOutcome::NotFound:
        return Known(Availability::Free, "rdap", "not found");
    case registry::RdapOutcome::Unknown:
        break;
    case registry::RdapOutcome::Stopped:
        return Stopped(result.detail);
    }
    return UnknownAfter(delegation, RdapReason(result), std::move(result.detail));
}

RegistryAnswer AskWhois(const registry::WhoisServer &server, const std::string &name,
                        const registry::WhoisClient &whois,
                        const registry::DelegationResult &delegation) {
    const registry::WhoisExchange exchange = whois.Ask(server, name);
    if (exchange.failure == registry::WhoisFailure::Interrupted)
        return Stopped(exchange.detail);
    if (exchange.failure == registry::WhoisFailure::NotAName)
        return UnknownAfter(delegation, {UnknownKind::WhoisNotUnderstood, {}}, exchange.detail);
    if (exchange.failure != registry::WhoisFailure::None)
        return UnknownAfter(delegation, {UnknownKind::WhoisNoAnswer, {}}, exchange.detail);
    registry::WhoisAnswer answer =
        registry::ReadWhoisReply(exchange.reply, exchange.cut, name, server.notFound);
    switch (answer.verdict) {
    case registry::WhoisVerdict::Free:
        return Known(Availability::Free, "whois", "not found");
    case registry::WhoisVerdict::Taken:
    case registry::WhoisVerdict::Reserved:
        return Registered("whois", std::move(answer.expires), std::move(answer.registrar),
                          std::move(answer.status));
    case registry::WhoisVerdict::Unknown:
        break;
    }
    return UnknownAfter(delegation, {WhoisReasonKind(answer.reason), {}},
                        std::string(registry::WhoisReasonText(answer.reason)));
}

// RDAP, or WHOIS for a suffix without an RDAP server.
RegistryAnswer AskRegistry(const std::string &name, const RegistrySources &sources,
                           const registry::DelegationResult &delegation) {
    if (const auto server = sources.bootstrap.ServerFor(name))
        return AskRdap(*server, name, sources.rdap, delegation);
    const bool hasWhois = sources.whois != nullptr && sources.whoisServers != nullptr;
    if (hasWhois)
        if (const auto server = sources.whoisServers->ServerFor(name))
            return AskWhois(*server, name, *sources.whois, delegation);
    // Without WHOIS the last table asked was RDAP's; with it, WHOIS had no server either.
    const UnknownKind noServer = hasWhois ? UnknownKind::WhoisNoServer : UnknownKind::RdapNoServer;
    return UnknownAfter(delegation, {noServer, SuffixOf(name)},
                        "no RDAP server for this suffix; DNS: " + delegation.detail);
}

} // namespace

RegistryAnswer CheckRegistry(const std::string &name, const RegistrySources &sources,
                             const registry::DnsBounds &dnsBounds,
                             const registry::DelegationResult *foundAhead) {
    // A name below a delegation is not delegated itself, and a registry finds no registration
    // of it: both would say "free" for any host of a registered name.
    if (auto why = NotRegistrable(name, sources.suffixes)) {
        std::string detail = ReasonText(*why);
        return Unknown({std::move(*why)}, std::move(detail));
    }
    const registry::DelegationResult delegation =
        foundAhead ? *foundAhead : registry::CheckDelegation(name, sources.dns, dnsBounds);
    // A delegated name costs no registry query, WHOIS above all.
    if (delegation.state == registry::Delegation::Delegated) {
        RegistryAnswer delegated =
            Known(Availability::Taken, "dns", "delegated: " + delegation.detail);
        delegated.nameServers = delegation.nameServers;
        if (!sources.askWhenDelegated)
            return delegated;
        RegistryAnswer asked = AskRegistry(name, sources, delegation);
        // A delegated name is never called free, nor Unknown, whatever the registry says.
        if (asked.stopped || asked.available == Availability::Taken) {
            asked.nameServers = delegation.nameServers;
            return asked;
        }
        return delegated;
    }
    return AskRegistry(name, sources, delegation);
}

RegistryAnswer CheckRegistry(const std::string &name, const registry::DnsSettings &dns,
                             const registry::RdapBootstrap &bootstrap, registry::RdapClient &rdap,
                             const registry::PublicSuffixList &suffixes,
                             const registry::DnsBounds &dnsBounds,
                             const registry::DelegationResult *foundAhead) {
    return CheckRegistry(name, RegistrySources{dns, bootstrap, rdap, suffixes}, dnsBounds,
                         foundAhead);
}

} // namespace probes
