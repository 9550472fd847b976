#pragma once

#include <string>
#include <vector>

// Why the registry check could not tell whether a name is free, as a type: the clients' own
// failures are mapped to these kinds, and the words a row shows ("rdap: rate limited (429)") are
// made from them here and nowhere else. A few words each, so they fit the Evidence column.
namespace probes {

enum class UnknownKind {
    PublicSuffix,      // the name is a public suffix
    BelowRegistrable,  // a host below a registrable name (subject: that name)
    DnsNoAnswer,       // the resolver did not answer
    DnsServerFailed,   // the resolver answered with an error code (subject: "SERVFAIL", ...)
    DnsFailed,         // a reply that cannot be read, a bad resolver address
    RdapNoServer,      // no RDAP server for the suffix (subject: the suffix)
    RdapRateLimited,   // 429 after the retries
    RdapUnavailable,   // 503 after the retries
    RdapCertificate,   // the server's certificate did not verify
    RdapNoAnswer,      // no connection, no reply in time, a reset
    RdapNotUnderstood, // a reply that is no RDAP answer about the name
    RdapHttpStatus,    // another HTTP status (subject: its number)
    RdapRedirect,      // a redirect not followed
    WhoisNoServer,     // no WHOIS server for the suffix either (subject: the suffix)
    WhoisNoAnswer,     // no connection, no reply in time, a reset
    WhoisLimit,        // the server's words for a rate limit or quota
    WhoisNotUnderstood,
    WhoisEmpty,
    WhoisPremium,
    WhoisCut, // more than 64 KiB: the end is unseen
};

struct UnknownReason {
    UnknownKind kind = UnknownKind::RdapNotUnderstood;
    std::string subject;

    bool operator==(const UnknownReason &) const = default;
};

// The reason in a few words: "dns: no answer", "rdap: no server for .xyz".
std::string ReasonText(const UnknownReason &reason);
// The reasons of one name joined by "; ".
std::string ReasonsText(const std::vector<UnknownReason> &reasons);

// Whether the reasons say that no registry and no resolver answered at all: the resolver gave no
// answer, and neither did the registry asked (a suffix with no server to ask is no answer either
// way). A run whose every name is so has most likely no network.
bool NothingAnswered(const std::vector<UnknownReason> &reasons);

} // namespace probes
