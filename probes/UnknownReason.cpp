#include "probes/UnknownReason.h"

#include <algorithm>

namespace probes {
namespace {

bool IsNoAnswer(UnknownKind kind) {
    return kind == UnknownKind::DnsNoAnswer || kind == UnknownKind::RdapNoAnswer ||
           kind == UnknownKind::WhoisNoAnswer;
}

bool IsNoServer(UnknownKind kind) {
    return kind == UnknownKind::RdapNoServer || kind == UnknownKind::WhoisNoServer;
}

} // namespace

std::string ReasonText(const UnknownReason &reason) {
    switch (reason.kind) {
    case UnknownKind::PublicSuffix:
        return "a public suffix, not a registrable name";
    case UnknownKind::BelowRegistrable:
        return "a name below the registrable name " + reason.subject;
    case UnknownKind::DnsNoAnswer:
        return "dns: no answer";
    case UnknownKind::DnsServerFailed:
        return "dns: " + reason.subject;
    case UnknownKind::DnsFailed:
        return "dns: failed";
    case UnknownKind::RdapNoServer:
        return "rdap: no server for ." + reason.subject;
    case UnknownKind::RdapRateLimited:
        return "rdap: rate limited (429)";
    case UnknownKind::RdapUnavailable:
        return "rdap: unavailable (503)";
    case UnknownKind::RdapCertificate:
        return "rdap: certificate not accepted";
    case UnknownKind::RdapNoAnswer:
        return "rdap: no answer";
    case UnknownKind::RdapNotUnderstood:
        return "rdap: reply not understood";
    case UnknownKind::RdapHttpStatus:
        return "rdap: HTTP " + reason.subject;
    case UnknownKind::RdapRedirect:
        return "rdap: redirect not followed";
    case UnknownKind::WhoisNoServer:
        return "whois: no server for ." + reason.subject;
    case UnknownKind::WhoisNoAnswer:
        return "whois: no answer";
    case UnknownKind::WhoisLimit:
        return "whois: limit exceeded";
    case UnknownKind::WhoisNotUnderstood:
        return "whois: reply not understood";
    case UnknownKind::WhoisEmpty:
        return "whois: empty reply";
    case UnknownKind::WhoisPremium:
        return "whois: premium name";
    case UnknownKind::WhoisCut:
        return "whois: reply cut at 64 KiB";
    }
    return "unknown";
}

std::string ReasonsText(const std::vector<UnknownReason> &reasons) {
    std::string text;
    for (const UnknownReason &reason : reasons) {
        if (!text.empty())
            text += "; ";
        text += ReasonText(reason);
    }
    return text;
}

bool NothingAnswered(const std::vector<UnknownReason> &reasons) {
    const auto kinds = [&](auto test) {
        return std::any_of(reasons.begin(), reasons.end(),
                           [&](const UnknownReason &reason) { return test(reason.kind); });
    };
    const bool others =
        kinds([](UnknownKind kind) { return !IsNoAnswer(kind) && !IsNoServer(kind); });
    return kinds([](UnknownKind kind) { return kind == UnknownKind::DnsNoAnswer; }) && !others;
}

} // namespace probes
