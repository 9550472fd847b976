#include "probes/RegistryCheck.h"
#include "probes/UnknownReason.h"
#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapClient.h"
#include "registry/WhoisClient.h"
#include "registry/WhoisPacer.h"
#include "registry/WhoisServers.h"

#include "net/ConnectRouteStack.h"
#include "net/HostLimiter.h"
#include "tests/support/WhoisTestServer.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <vector>

// The registry check as a whole against scripted servers: the lifecycle status it reports, when
// it asks WHOIS, how it paces WHOIS through the check, and the words of every Unknown.
namespace {

using namespace testsupport;
using namespace std::chrono_literals;
using enum probes::Availability;
using registrytest::Answer;
using registrytest::WhoisReplyScript;
using registrytest::WhoisTestServer;

const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";

std::string RecordWithStatus(const std::string &name, const std::string &status) {
    return R"({"objectClassName": "domain", "ldhName": ")" + name + R"(", "status": [)" + status +
           R"(], "events": [{"eventAction": "expiration", "eventDate": "2027-03-15T04:00:00Z"}]})";
}

std::string ErrorSaying(const std::string &description) {
    return R"({"errorCode": 404, "title": "Not Found", "description": [")" + description +
           R"("], "notices": [{"title": "Terms", "description": ["All rights reserved."]}]})";
}

Script Reply(int status, const std::string &body, const std::string &headers = kRdapJson) {
    return Respond(HttpReply(status, body, headers));
}

const std::string kDeRecord = "Domain: fastcar.de\nNserver: ns1.example.net\nStatus: connect\n"
                              "Changed: 2024-01-02T10:00:00+01:00\n\n[Registrar]\nName: Example "
                              "GmbH\n";

// One check's world: a resolver, an RDAP server over TLS for .com (and any suffix a case adds),
// a WHOIS server for the built-in WHOIS suffixes, each reached by routes as --connect-to makes
// them.
class Registries {
public:
    explicit Registries(std::chrono::milliseconds pace = 0ms, std::string rdapHost = "rdap.test")
        : rdap_(trust_, rdapHost), pacer_(pace) {
        bootstrap_.Merge(R"({"services": [[["com"], [")" + Base() + R"("]]]})", "test");
    }

    std::string Base() const {
        return "https://rdap.test:" + std::to_string(rdap_.tls.Port()) + "/rdap/";
    }
    net::NetworkContext Context(int whoisPort) const {
        net::NetworkContext context;
        context.Sockets = net::RoutedSocketLayer(
            {{"", 43, "127.0.0.1", whoisPort}, {"rdap.test", {}, "127.0.0.1", rdap_.tls.Port()}});
        context.ConnectTimeout = 2000;
        context.ReadTimeout = 2000;
        context.RequestTimeout = 5000;
        return context;
    }

    probes::RegistryAnswer Check(const std::string &name, int whoisPort, bool withWhois = true) {
        registry::RdapSettings settings;
        settings.network = Context(whoisPort);
        settings.connectTimeoutMs = 2000;
        settings.readTimeoutMs = 2000;
        registry::RdapClient rdap(settings, trust_.Context(), limiter_,
                                  [](std::chrono::milliseconds) { return true; });
        const registry::WhoisClient whois(settings.network, &pacer_);
        const probes::RegistrySources sources{dns_,      bootstrap_, rdap,
                                              suffixes_, &servers_,  withWhois ? &whois : nullptr};
        return probes::CheckRegistry(name, sources, {std::chrono::steady_clock::now() + 500ms, {}});
    }

    ScriptedNameServer names;
    ScriptedServer &Rdap() { return rdap_.plain; }

private:
    TrustedAuthority trust_;
    ScriptedTlsServer rdap_;
    registry::RdapBootstrap bootstrap_;
    registry::DnsSettings dns_{names.Address(), 1, 1};
    registry::PublicSuffixList suffixes_;
    registry::WhoisServers servers_ = registry::WhoisServers::BuiltIn();
    net::HostLimiter limiter_{{.atOnce = 4, .slowedGap = 1ms}};
    registry::WhoisPacer pacer_;
};

std::string Joined(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

struct StatusCase {
    const char *name;
    Script reply;
    probes::Availability available;
    const char *status;
};

void PrintTo(const StatusCase &c, std::ostream *os) {
    *os << c.name;
}

// A registry that keeps a name back says so in its error's words, even with a 404; its terms of
// use ("All rights reserved") say nothing of the name.
const StatusCase kStatuses[] = {
    {"Active", Reply(200, RecordWithStatus("fastcar.com", R"("active")")), Taken, "active"},
    {"RedemptionPeriod",
     Reply(200, RecordWithStatus("fastcar.com", R"("redemption period", "client hold")")), Taken,
     "redemption period, client hold"},
    {"PendingDelete",
     Reply(200, RecordWithStatus("fastcar.com", R"("pending delete", "pending delete")")), Taken,
     "pending delete"},
    {"ReservedWith404Body", Reply(404, ErrorSaying("This name is reserved by the registry.")),
     Taken, "reserved"},
    {"NotAvailableForRegistrationWith400",
     Reply(400, ErrorSaying("Domain not available for registration")), Taken, "reserved"},
    {"BlockedWith404Body", Reply(404, ErrorSaying("Blocked by a brand protection service")), Taken,
     "blocked"},
    {"NotFoundWithTermsIsFree", Reply(404, ErrorSaying("Domain not found")), Free, ""},
    {"StatusThatIsNoTextIsLeftOut",
     Reply(200, RecordWithStatus("fastcar.com", R"(7, "active\u0007", "server hold")")), Taken,
     "server hold"},
};

class RdapStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(RdapStatusTest, StatusComesFromTheRegistrysWords) {
    const auto &c = GetParam();
    Registries registries;
    registries.Rdap().Enqueue(c.reply);
    const auto answer = registries.Check("fastcar.com", 1);
    EXPECT_EQ(answer.available, c.available) << answer.detail;
    EXPECT_EQ(Joined(answer.status), c.status);
    EXPECT_EQ(answer.evidence, "rdap");
}

INSTANTIATE_TEST_SUITE_P(Replies, RdapStatusTest, ::testing::ValuesIn(kStatuses),
                         [](const auto &info) { return std::string(info.param.name); });

struct WhoisCase {
    const char *name;
    const char *domain;
    NameServerReply dns;
    std::optional<std::string> whoisReply; // nothing: the server must not be asked
    probes::Availability available;
    const char *evidence; // or the reasons of an Unknown
    const char *status;
};

void PrintTo(const WhoisCase &c, std::ostream *os) {
    *os << c.name;
}

const WhoisCase kWhoisCases[] = {
    {"FreeOnTheServersOwnWords", "fastcar.de", NameServerReply::NameError,
     "Domain: fastcar.de\nStatus: free\n", Free, "whois", ""},
    {"RecordIsTaken", "fastcar.de", NameServerReply::NameError, kDeRecord, Taken, "whois",
     "connect"},
    {"DelegatedNeverAsksWhois", "fastcar.de", NameServerReply::Delegation, std::nullopt, Taken,
     "dns", ""},
    {"SuffixWithRdapNeverAsksWhois", "fastcar.com", NameServerReply::NameError, std::nullopt,
     Unknown, "rdap: no answer", ""},
    {"ReservedIsNeverFree", "fastcar.io", NameServerReply::NameError,
     "NOT FOUND\nReserved by Registry\n", Taken, "whois", "reserved"},
    {"BlockedIsNeverFree", "fastcar.eu", NameServerReply::NoData,
     "Status: AVAILABLE\nStatus: BLOCKED\n", Taken, "whois", "blocked"},
    {"LimitExceeded", "fastcar.jp", NameServerReply::NameError,
     "No match!!\nQuery limit exceeded\n", Unknown, "whois: limit exceeded", ""},
    {"ReplyNotUnderstood", "fastcar.us", NameServerReply::NameError, "Welcome to the server\n",
     Unknown, "whois: reply not understood", ""},
    {"NoWhoisServer", "fastcar.xyz", NameServerReply::NameError, std::nullopt, Unknown,
     "whois: no server for .xyz", ""},
};

class RegistryWhoisTest : public ::testing::TestWithParam<WhoisCase> {};

TEST_P(RegistryWhoisTest, SuffixWithoutRdapAsksWhoisAfterTheDelegation) {
    const auto &c = GetParam();
    Registries registries;
    registries.names.Answer(c.domain, c.dns);
    // An RDAP server that is asked answers nothing useful.
    registries.Rdap().Enqueue({ReadRequest(), Close()});
    WhoisTestServer whois;
    if (c.whoisReply)
        whois.Enqueue(Answer(*c.whoisReply));
    const auto answer = registries.Check(c.domain, whois.Port());
    EXPECT_EQ(answer.available, c.available) << answer.detail;
    const std::string said =
        answer.available == Unknown ? probes::ReasonsText(answer.reasons) : answer.evidence;
    EXPECT_EQ(said, c.evidence);
    EXPECT_EQ(Joined(answer.status), c.status);
    EXPECT_EQ(whois.Queries().size(), c.whoisReply ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, RegistryWhoisTest, ::testing::ValuesIn(kWhoisCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RegistryWhois, RecordFillsExpiryAndRegistrar) {
    Registries registries;
    WhoisTestServer whois;
    whois.Enqueue(Answer("Domain Name: fastcar.us\nRegistrar: Example Registrar, Inc.\n"
                         "Registry Expiry Date: 2027-05-31T23:59:59Z\n"
                         "Domain Status: clientTransferProhibited https://icann.org/epp\n"));
    const auto answer = registries.Check("fastcar.us", whois.Port());
    EXPECT_EQ(answer.available, Taken);
    EXPECT_EQ(answer.expires, "2027-05-31");
    EXPECT_EQ(answer.registrar, "Example Registrar, Inc.");
    EXPECT_EQ(Joined(answer.status), "client transfer prohibited");
    EXPECT_EQ(whois.Queries(), std::vector<std::string>{"fastcar.us\r\n"});
}

// Two names of one WHOIS server checked at once: the second query reaches the server no sooner
// than the pause after the first one's answer, however the threads race.
TEST(RegistryWhois, TwoNamesOfOneServerAreAskedThePauseApart) {
    constexpr auto kPace = 200ms;
    Registries registries(kPace);
    WhoisTestServer whois;
    whois.Enqueue(Answer("Domain: a-fastcar.de\nStatus: free\n"));
    whois.Enqueue(Answer("Domain: b-fastcar.de\nStatus: free\n"));
    auto first = std::async(std::launch::async,
                            [&] { return registries.Check("a-fastcar.de", whois.Port()); });
    auto second = std::async(std::launch::async,
                             [&] { return registries.Check("b-fastcar.de", whois.Port()); });
    EXPECT_EQ(first.get().available, Free);
    EXPECT_EQ(second.get().available, Free);
    const auto arrivals = whois.Arrivals();
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_GE(arrivals[1] - arrivals[0], kPace);
    EXPECT_EQ(whois.MostAtOnce(), 1u);
}

struct ReasonCase {
    const char *name;
    const char *domain;
    NameServerReply dns;
    std::vector<Script> rdapReplies;
    std::optional<WhoisReplyScript> whoisReply; // nothing: the WHOIS port is closed
    bool withWhois;
    const char *reasons;
    bool nothingAnswered;
};

void PrintTo(const ReasonCase &c, std::ostream *os) {
    *os << c.name;
}

const Script kRateLimited = Reply(429, "", "Retry-After: 0\r\n");

const ReasonCase kReasons[] = {
    {"DnsServfailThenRdapError",
     "fastcar.com",
     NameServerReply::ServerFailure,
     {Reply(500, "")},
     std::nullopt,
     true,
     "dns: SERVFAIL; rdap: HTTP 500",
     false},
    {"DnsSilentThenRdapClosed",
     "fastcar.com",
     NameServerReply::Silence,
     {{ReadRequest(), Close()}},
     std::nullopt,
     true,
     "dns: no answer; rdap: no answer",
     true},
    {"RdapRateLimited",
     "fastcar.com",
     NameServerReply::NameError,
     {kRateLimited, kRateLimited, kRateLimited},
     std::nullopt,
     true,
     "rdap: rate limited (429)",
     false},
    {"RdapRecordOfAnotherName",
     "fastcar.com",
     NameServerReply::NameError,
     {Reply(200, RecordWithStatus("other.com", ""))},
     std::nullopt,
     true,
     "rdap: reply not understood",
     false},
    {"RdapNoServerWithoutWhois",
     "fastcar.xyz",
     NameServerReply::NameError,
     {},
     std::nullopt,
     false,
     "rdap: no server for .xyz",
     false},
    {"WhoisNoServer",
     "fastcar.co.uk",
     NameServerReply::NameError,
     {},
     std::nullopt,
     true,
     "whois: no server for .co.uk",
     false},
    {"WhoisLimit",
     "fastcar.de",
     NameServerReply::NameError,
     {},
     Answer("Error: 55000000002 access control limit reached\n"),
     true,
     "whois: limit exceeded",
     false},
    {"WhoisNotUnderstood",
     "fastcar.de",
     NameServerReply::NameError,
     {},
     Answer("Status: unusual\n"),
     true,
     "whois: reply not understood",
     false},
    {"WhoisEmpty",
     "fastcar.de",
     NameServerReply::NameError,
     {},
     Answer(""),
     true,
     "whois: empty reply",
     false},
    {"WhoisRefused",
     "fastcar.de",
     NameServerReply::NameError,
     {},
     std::nullopt,
     true,
     "whois: no answer",
     false},
    {"DnsSilentWhoisRefused",
     "fastcar.de",
     NameServerReply::Silence,
     {},
     std::nullopt,
     true,
     "dns: no answer; whois: no answer",
     true},
    {"DnsSilentNoServer",
     "fastcar.xyz",
     NameServerReply::Silence,
     {},
     std::nullopt,
     true,
     "dns: no answer; whois: no server for .xyz",
     true},
    {"BelowARegistrableName",
     "www.fastcar.com",
     NameServerReply::NameError,
     {},
     std::nullopt,
     true,
     "a name below the registrable name fastcar.com",
     false},
};

class UnknownReasonTest : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(UnknownReasonTest, EvidenceNamesWhy) {
    const auto &c = GetParam();
    Registries registries;
    registries.names.Answer(c.domain, c.dns);
    for (const Script &script : c.rdapReplies)
        registries.Rdap().Enqueue(script);
    std::optional<WhoisTestServer> whois;
    int whoisPort = 1; // nothing listens there
    if (c.whoisReply) {
        whois.emplace();
        whois->Enqueue(*c.whoisReply);
        whoisPort = whois->Port();
    }
    const auto answer = registries.Check(c.domain, whoisPort, c.withWhois);
    EXPECT_EQ(answer.available, Unknown);
    EXPECT_EQ(probes::ReasonsText(answer.reasons), c.reasons) << answer.detail;
    EXPECT_EQ(probes::NothingAnswered(answer.reasons), c.nothingAnswered);
}

INSTANTIATE_TEST_SUITE_P(Reasons, UnknownReasonTest, ::testing::ValuesIn(kReasons),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(UnknownReason, CertificateForAnotherHostIsNamed) {
    Registries registries(0ms, "elsewhere.test");
    const auto answer = registries.Check("fastcar.com", 1);
    EXPECT_EQ(answer.available, Unknown);
    EXPECT_EQ(probes::ReasonsText(answer.reasons), "rdap: certificate not accepted");
    EXPECT_FALSE(probes::NothingAnswered(answer.reasons));
}

} // namespace
