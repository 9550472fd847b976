#include "net/ConnectionPool.h"
#include "net/IdSSLConnectionIntercept.h"
#include "probes/RegistryCheck.h"
#include "registry/CancellableWait.h"
#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapClient.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;
using registry::RdapOutcome;

// A domain record of ldhName ("" for none), registered by Example Registrar.
std::string RecordOf(const std::string &ldhName) {
    const std::string name = ldhName.empty() ? "" : R"("ldhName": ")" + ldhName + R"(", )";
    return R"({"objectClassName": "domain", )" + name + R"(
  "events": [{"eventAction": "registration", "eventDate": "1999-03-15T05:00:00Z"},
             {"eventAction": "expiration", "eventDate": "2027-03-15T04:00:00Z"}],
  "entities": [{"objectClassName": "entity", "roles": ["registrar"],
                "vcardArray": ["vcard", [["fn", {}, "text", "Example Registrar, Inc."]]]}]})";
}

const std::string kRecord = RecordOf("FASTCAR.COM");
const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";
const std::string kNotFoundError = R"({"errorCode": 404, "title": "Not Found"})";

// An RDAP server over TLS: its base address is https://<host>:<port>/rdap/.
struct RdapServer : ScriptedTlsServer {
    RdapServer(const TrustedAuthority &trust, const std::string &host = "rdap.test")
        : ScriptedTlsServer(trust, host) {}
    std::string Base() const { return Url("/rdap/"); }
};

// A client with short waits whose pauses are recorded instead of waited.
struct RecordingClient {
    RecordingClient(const TrustedAuthority &trust, registry::RdapSettings settings)
        : client(settings, trust.Context(), limiter, [this](std::chrono::milliseconds length) {
              waits.push_back(length);
              return true;
          }) {}
    static registry::RdapSettings Short(const net::NetworkContext &network) {
        registry::RdapSettings settings;
        settings.network = network;
        settings.connectTimeoutMs = 2000;
        settings.readTimeoutMs = 1000;
        return settings;
    }
    // A slowed host's gap is short here, so that no test waits on it long.
    net::HostLimiter limiter{{.atOnce = 4, .slowedGap = 10ms}};
    std::vector<std::chrono::milliseconds> waits;
    registry::RdapClient client;
};

Script Reply(int status, const std::string &body, const std::string &headers = {}) {
    return Respond(HttpReply(status, body, headers));
}

struct LookupCase {
    const char *name;
    std::vector<Script> replies;
    RdapOutcome outcome;
    const char *detail;
    std::vector<std::chrono::milliseconds> waits;
};

void PrintTo(const LookupCase &c, std::ostream *os) {
    *os << c.name;
}

const LookupCase kLookups[] = {
    {"Registered", {Reply(200, kRecord)}, RdapOutcome::Registered, "", {}},
    {"NotFound", {Reply(404, kNotFoundError, kRdapJson)}, RdapOutcome::NotFound, "", {}},
    {"TooManyRequestsWaitsAsRetryAfterSays",
     {Reply(429, "", "Retry-After: 7\r\n"), Reply(200, kRecord)},
     RdapOutcome::Registered,
     "",
     {7000ms}},
    {"TooManyRequestsWithoutRetryAfterWaitsTwoSeconds",
     {Reply(429, ""), Reply(404, "")},
     RdapOutcome::NotFound,
     "",
     {2000ms}},
    {"UnavailableWaitIsCapped",
     {Reply(503, "", "Retry-After: 3600\r\n"), Reply(404, "")},
     RdapOutcome::NotFound,
     "",
     {30000ms}},
    {"RateLimitedThreeTimesIsUnknown",
     {Reply(429, ""), Reply(429, ""), Reply(429, "")},
     RdapOutcome::Unknown,
     "HTTP 429 after 3 requests",
     {2000ms, 2000ms}},
    {"ServerError", {Reply(500, "oops")}, RdapOutcome::Unknown, "HTTP 500", {}},
    {"Forbidden", {Reply(403, "")}, RdapOutcome::Unknown, "HTTP 403", {}},
    {"NotJson",
     {Reply(200, "<html>hello</html>")},
     RdapOutcome::Unknown,
     "The RDAP reply is not JSON.",
     {}},
    {"NotRdap",
     {Reply(200, R"({"status": "ok"})")},
     RdapOutcome::Unknown,
     "The reply is not an RDAP domain record.",
     {}},
    {"HugeBody",
     {{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 20000000\r\n\r\n{"), Silent()}},
     RdapOutcome::Unknown,
     "Reply body too large.",
     {}},
    {"SilentServer",
     {{ReadRequest(), Silent()}},
     RdapOutcome::Unknown,
     "Socket Error # 10060\r\nConnection timed out.",
     {}},
    {"RedirectToPlainHttpRefused",
     {Reply(302, "", "Location: http://rdap.plain.test/domain/fastcar.com\r\n")},
     RdapOutcome::Unknown,
     "refused an address that is not https: http://rdap.plain.test/domain/fastcar.com",
     {}},
    // Free is an HTTP/1.x 404 of this name's lookup, empty or holding an RDAP "not found" error.
    {"NotFoundEmpty", {Reply(404, "")}, RdapOutcome::NotFound, "", {}},
    {"NotFoundPlainJsonWithCharset",
     {Reply(404, kNotFoundError, "Content-Type: Application/JSON; charset=utf-8\r\n")},
     RdapOutcome::NotFound,
     "",
     {}},
    {"NotFoundOverHttp10",
     {{ReadRequest(), Send("HTTP/1.0 404 Not Found\r\n\r\n"), Close()}},
     RdapOutcome::NotFound,
     "",
     {}},
    {"NotFoundAfterARedirectToTheSameName",
     {Reply(302, "", "Location: /rdap/domain/FastCar.com\r\n"), Reply(404, "")},
     RdapOutcome::NotFound,
     "",
     {}},
    {"NotFoundHtmlPage",
     {Reply(404, "<html>No such page</html>", "Content-Type: text/html\r\n")},
     RdapOutcome::Unknown,
     "HTTP 404 with a body that is not RDAP JSON",
     {}},
    {"NotFoundErrorWithoutContentType",
     {Reply(404, kNotFoundError)},
     RdapOutcome::Unknown,
     "HTTP 404 with a body that is not RDAP JSON",
     {}},
    {"NotFoundHoldingTheNamesOwnRecord",
     {Reply(404, kRecord, kRdapJson)},
     RdapOutcome::Unknown,
     "HTTP 404 with a body that is no RDAP \"not found\" error",
     {}},
    {"NotFoundHoldingAnotherError",
     {Reply(404, R"({"errorCode": 500})", kRdapJson)},
     RdapOutcome::Unknown,
     "HTTP 404 with a body that is no RDAP \"not found\" error",
     {}},
    {"NotFoundPointingElsewhere",
     {Reply(404, "", "Location: /rdap/domain/fastcar.com\r\n")},
     RdapOutcome::Unknown,
     "HTTP 404 with a Location",
     {}},
    {"RedirectToAnotherNamesLookup",
     {Reply(302, "", "Location: /rdap/domain/other.com\r\n")},
     RdapOutcome::Unknown,
     "redirected to a lookup of another name",
     {}},
    // Read as a slash by some, the backslash would have passed the check of the path.
    {"RedirectWithABackslash",
     {Reply(307, "", "Location: /x\\domain/fastcar.com\r\n")},
     RdapOutcome::Unknown,
     "refused a redirect to an address with bytes no URL holds",
     {}},
    {"RedirectWithAControlByte",
     {Reply(307, "", std::string("Location: /x/\x01/domain/fastcar.com\r\n"))},
     RdapOutcome::Unknown,
     "refused a redirect to an address with bytes no URL holds",
     {}},
    {"RedirectToAPageThatIsNoLookup",
     {Reply(301, "", "Location: /rdap/domain/fastcar.com/x\r\n")},
     RdapOutcome::Unknown,
     "redirected to a lookup of another name",
     {}},
    // Only "HTTP/1.0" or "HTTP/1.1" and three digits make a status line.
    {"FirstLineThatIsNoStatusLine",
     {{ReadRequest(), Send("FOO 404 whatever\r\n\r\n"), Close()}},
     RdapOutcome::Unknown,
     "The reply does not start with an HTTP/1.x status line.",
     {}},
    {"StatusLineOfAnotherVersion",
     {{ReadRequest(), Send("HTTP/1.2 404 Not Found\r\n\r\n"), Close()}},
     RdapOutcome::Unknown,
     "The reply does not start with an HTTP/1.x status line.",
     {}},
    {"StatusCodeOfFourDigits",
     {{ReadRequest(), Send("HTTP/1.1 4040 Not Found\r\n\r\n"), Close()}},
     RdapOutcome::Unknown,
     "The reply does not start with an HTTP/1.x status line.",
     {}},
    // A record is the name's only when it says it is of that name.
    {"RecordNamedInAnyCaseWithAFinalDot",
     {Reply(200, RecordOf("FastCar.Com."))},
     RdapOutcome::Registered,
     "",
     {}},
    {"RecordOfAnotherName",
     {Reply(200, RecordOf("other.com"))},
     RdapOutcome::Unknown,
     "the record is of another name",
     {}},
    {"RecordOfAHostBelowTheName",
     {Reply(200, RecordOf("www.fastcar.com"))},
     RdapOutcome::Unknown,
     "the record is of another name",
     {}},
    {"RecordWithoutAName",
     {Reply(200, RecordOf(""))},
     RdapOutcome::Unknown,
     "the record does not say which name it is of",
     {}},
};

class RdapLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(RdapLookupTest, AnswerDecidesTheOutcome) {
    const auto &c = GetParam();
    TrustedAuthority trust;
    RdapServer server(trust);
    for (const auto &script : c.replies)
        server.plain.Enqueue(script);
    const LoopbackNetwork stack(server.plain.Port());
    RecordingClient rdap(trust, RecordingClient::Short(stack.Context()));

    const auto result = rdap.client.LookupDomain(server.Base(), "fastcar.com");
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.detail, c.detail);
    EXPECT_EQ(rdap.waits, c.waits);
    EXPECT_EQ(server.plain.Accepted(), c.replies.size());
    const std::string request = "GET /rdap/domain/fastcar.com HTTP/1.1\r\nHost: rdap.test\r\n"
                                "Accept: application/rdap+json, application/json\r\n";
    EXPECT_EQ(server.plain.Requests().at(0).substr(0, request.size()), request);
    if (c.outcome == RdapOutcome::Registered) {
        EXPECT_EQ(result.expires, "2027-03-15");
        EXPECT_EQ(result.registered, "1999-03-15");
        EXPECT_EQ(result.registrar, "Example Registrar, Inc.");
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, RdapLookupTest, ::testing::ValuesIn(kLookups),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RdapLookup, EndlessBodyStopsAtTheLimit) {
    TrustedAuthority trust;
    RdapServer server(trust);
    server.plain.Enqueue({ReadRequest(), Send("HTTP/1.1 200 OK\r\n\r\n{\"a\": \""),
                          SendForever(std::string(4096, 'x'))});
    const LoopbackNetwork stack(server.plain.Port());
    auto settings = RecordingClient::Short(stack.Context());
    settings.maxBodyBytes = 256 * 1024;
    RecordingClient rdap(trust, settings);
    const auto result = rdap.client.LookupDomain(server.Base(), "fastcar.com");
    EXPECT_EQ(result.outcome, RdapOutcome::Unknown);
    EXPECT_EQ(result.detail, "Reply body too large.");
}

TEST(RdapLookup, RedirectToAnotherServerIsFollowed) {
    TrustedAuthority trust;
    RdapServer first(trust);
    RdapServer second(trust, "rdap.second.test");
    first.plain.Enqueue(Reply(301, "", "Location: " + second.Base() + "domain/fastcar.com\r\n"));
    second.plain.Enqueue(Reply(200, kRecord));
    const LoopbackNetwork stack(first.plain.Port());
    RecordingClient rdap(trust, RecordingClient::Short(stack.Context()));
    const auto result = rdap.client.LookupDomain(first.Base(), "fastcar.com");
    EXPECT_EQ(result.outcome, RdapOutcome::Registered);
    EXPECT_EQ(result.url, second.Base() + "domain/fastcar.com");
    EXPECT_EQ(second.tls.ServerNames().at(0), "rdap.second.test");
    EXPECT_EQ(second.plain.Requests().at(0).substr(0, 63),
              "GET /rdap/domain/fastcar.com HTTP/1.1\r\nHost: rdap.second.test\r\n");
}

TEST(RdapLookup, CertificateForAnotherHostIsUnknown) {
    TrustedAuthority trust;
    RdapServer server(trust, "elsewhere.test");
    const LoopbackNetwork stack(server.plain.Port());
    RecordingClient rdap(trust, RecordingClient::Short(stack.Context()));
    const auto base = "https://rdap.test:" + std::to_string(server.tls.Port()) + "/rdap/";
    const auto result = rdap.client.LookupDomain(base, "fastcar.com");
    EXPECT_EQ(result.outcome, RdapOutcome::Unknown);
    EXPECT_EQ(result.detail, "The certificate of rdap.test is not accepted: hostname mismatch.");
    EXPECT_EQ(server.plain.Accepted(), 0u);
}

TEST(RdapLookup, TooManyRequestsSlowsTheHostAndACancelledWaitEndsTheLookup) {
    TrustedAuthority trust;
    RdapServer server(trust);
    server.plain.Enqueue(Reply(429, "", "Retry-After: 20\r\n"));
    const LoopbackNetwork stack(server.plain.Port());
    net::HostLimiter limiter;
    registry::CancellableWait wait;
    std::stop_source stop;
    stop.request_stop();
    registry::RdapClient client(
        RecordingClient::Short(stack.Context()), trust.Context(), limiter,
        [&](std::chrono::milliseconds length) { return wait.WaitFor(length, stop.get_token()); });
    const auto result = client.LookupDomain(server.Base(), "fastcar.com");
    EXPECT_EQ(result.outcome, RdapOutcome::Stopped);
    EXPECT_EQ(result.detail, "stopped before it was asked");
    EXPECT_TRUE(limiter.IsSlowed("rdap.test"));
    EXPECT_EQ(limiter.InUse("rdap.test"), 0);
}

// The most of times within any window [t, t + length).
std::size_t MostWithin(std::vector<std::chrono::steady_clock::time_point> times,
                       std::chrono::steady_clock::duration length) {
    std::sort(times.begin(), times.end());
    std::size_t most = 0;
    for (std::size_t i = 0, first = 0; i < times.size(); ++i) {
        while (times[i] - times[first] >= length)
            ++first;
        most = std::max(most, i - first + 1);
    }
    return most;
}

// Lookups of one host from several threads at once, each thread with its own client on the one
// limiter; the clients' retry pauses are real waits.
void LookUpFromThreads(const TrustedAuthority &trust, const net::NetworkContext &network,
                       net::HostLimiter &limiter, const std::string &base, int threads, int each) {
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            registry::CancellableWait pauses;
            registry::RdapClient client(
                RecordingClient::Short(network), trust.Context(), limiter,
                [&](std::chrono::milliseconds length) { return pauses.WaitFor(length); });
            for (int i = 0; i < each; ++i)
                EXPECT_EQ(client.LookupDomain(base, "fastcar.com").outcome, RdapOutcome::NotFound);
        });
}

// The network of one run over the loopback layer: its own socket layer and connection pool.
net::NetworkContext RunNetwork(const LoopbackNetwork &stack) {
    net::NetworkContext network = stack.Context();
    network.Sockets = network.Sockets->Fresh(60000);
    network.Connections = std::make_shared<net::ConnectionPool>(
        network.Sockets, net::ConnectionPool::Limits{.PerEndpoint = 4});
    return network;
}

struct ReuseCase {
    const char *name;
    std::string reply;
    // The connections the server may see for the run's 40 lookups, at least and at most.
    std::size_t fewestConnections;
    std::size_t mostConnections;
};

void PrintTo(const ReuseCase &c, std::ostream *os) {
    *os << c.name;
}

const ReuseCase kReuse[] = {
    {"KeptAlive", HttpKeepAliveReply(404, kNotFoundError, kRdapJson), 1, 4},
    // A server that closes after every answer costs a connection each, but a resumed one.
    {"ClosedAfterEachAnswer", HttpReply(404, kNotFoundError, kRdapJson), 40, 40},
};

class RdapReuseTest : public ::testing::TestWithParam<ReuseCase> {};

// Lookups from four threads at once, as a run's workers make them: one TLS context, the run's
// pool. At most one full handshake per request the host allows at once.
TEST_P(RdapReuseTest, ARunMakesAFewFullHandshakesForManyLookups) {
    const auto &c = GetParam();
    TrustedAuthority trust;
    RdapServer server(trust);
    server.plain.KeepRoutedConnections();
    server.plain.Route("*", "*", {Send(c.reply)});
    const LoopbackNetwork stack(server.plain.Port());
    const net::NetworkContext network = RunNetwork(stack);
    const auto tls = trust.Context();
    net::HostLimiter limiter({.atOnce = 4});
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < 4; ++t)
            workers.emplace_back([&] {
                registry::RdapClient client(RecordingClient::Short(network), tls, limiter, {});
                for (int i = 0; i < 10; ++i)
                    EXPECT_EQ(client.LookupDomain(server.Base(), "fastcar.com").outcome,
                              RdapOutcome::NotFound);
            });
    }
    EXPECT_EQ(server.plain.Requests().size(), 40u);
    EXPECT_GE(server.tls.Handshakes(), c.fewestConnections);
    EXPECT_LE(server.tls.Handshakes(), c.mostConnections);
    EXPECT_LE(server.tls.Handshakes() - server.tls.ResumedHandshakes(), 4u);
    EXPECT_TRUE(server.tls.FailedHandshakes().empty());
    EXPECT_LE(limiter.MostAtOnce("rdap.test"), 4);
}

INSTANTIATE_TEST_SUITE_P(Connections, RdapReuseTest, ::testing::ValuesIn(kReuse),
                         [](const auto &info) { return std::string(info.param.name); });

// The server sees the host's rate at most, counted in windows a little under a second: a request
// reaches it a moment after its start, and not every one as quickly.
TEST(RdapPacing, AHostIsAskedNoFasterThanItsRate) {
    TrustedAuthority trust;
    RdapServer server(trust);
    const LoopbackNetwork stack(server.plain.Port());
    for (const double rate : {10.0, 20.0}) {
        SCOPED_TRACE(rate);
        net::HostLimiter limiter({.atOnce = 4, .rate = rate});
        const auto begin = std::chrono::steady_clock::now();
        const std::size_t before = server.plain.RequestTimes().size();
        LookUpFromThreads(trust, stack.Context(), limiter, server.Base(), 4,
                          static_cast<int>(rate * 1.5) / 4);
        const auto end = std::chrono::steady_clock::now();
        auto times = server.plain.RequestTimes();
        times.erase(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(before));
        ASSERT_EQ(times.size(), static_cast<std::size_t>(rate * 1.5) / 4 * 4);
        // The bucket starts empty: the first token comes a rate's step after the start.
        EXPECT_GE(*std::min_element(times.begin(), times.end()) - begin,
                  std::chrono::duration<double>(1 / rate));
        EXPECT_LE(MostWithin(times, 950ms), static_cast<std::size_t>(rate));
        const double seconds = std::chrono::duration<double>(end - begin).count();
        std::printf("rate %.0f: %zu requests in %.2f s\n", rate, times.size(), seconds);
    }
}

// The lookup that meets "too many requests" holds its host until the Retry-After has passed; no
// other lookup asks it meanwhile, and from then on the host goes at half its rate.
TEST(RdapPacing, TooManyRequestsPausesTheHostAndHalvesItsRate) {
    TrustedAuthority trust;
    RdapServer server(trust);
    server.plain.Enqueue(Reply(429, "", "Retry-After: 1\r\n"));
    const LoopbackNetwork stack(server.plain.Port());
    net::HostLimiter limiter({.atOnce = 4, .rate = 20});
    LookUpFromThreads(trust, stack.Context(), limiter, server.Base(), 4, 4);
    EXPECT_EQ(limiter.Rate("rdap.test"), 10);
    const auto times = server.plain.RequestTimes();
    ASSERT_EQ(times.size(), 17u);
    // Starts already under way when the answer came may still arrive; none later in the pause.
    const auto tooMany = times.front();
    std::vector<std::chrono::steady_clock::time_point> after;
    for (const auto &time : times) {
        EXPECT_FALSE(time > tooMany + 300ms && time < tooMany + 1000ms)
            << std::chrono::duration<double>(time - tooMany).count();
        if (time >= tooMany + 1000ms)
            after.push_back(time);
    }
    EXPECT_GE(after.size(), 15u);
    EXPECT_LE(MostWithin(after, 950ms), 10u);
}

using enum probes::Availability;

struct RegistryCase {
    const char *name;
    NameServerReply dns;
    std::vector<Script> rdapReplies;
    bool hasRdapServer;
    probes::Availability available;
    const char *evidence;
    const char *expires;
};

void PrintTo(const RegistryCase &c, std::ostream *os) {
    *os << c.name;
}

const RegistryCase kRegistry[] = {
    {"DelegatedIsTakenWithoutRdap", NameServerReply::Delegation, {}, true, Taken, "dns", ""},
    {"HeldWithoutDelegation",
     NameServerReply::NameError,
     {Reply(200, kRecord)},
     true,
     Taken,
     "rdap",
     "2027-03-15"},
    {"NotFoundIsFree", NameServerReply::NameError, {Reply(404, "")}, true, Free, "rdap", ""},
    {"NoDataThenNotFoundIsFree", NameServerReply::NoData, {Reply(404, "")}, true, Free, "rdap", ""},
    {"DnsFailureAndRdapErrorIsUnknown",
     NameServerReply::ServerFailure,
     {Reply(500, "")},
     true,
     Unknown,
     "",
     ""},
    {"BrokenRdapIsNeverFree",
     NameServerReply::NameError,
     {{ReadRequest(), Close()}},
     true,
     Unknown,
     "",
     ""},
    {"NoRdapServerIsUnknown", NameServerReply::NameError, {}, false, Unknown, "", ""},
    {"NoRdapServerButDelegated", NameServerReply::Delegation, {}, false, Taken, "dns", ""},
};

class RegistryCheckTest : public ::testing::TestWithParam<RegistryCase> {};

TEST_P(RegistryCheckTest, DelegationFirstThenRdap) {
    const auto &c = GetParam();
    TrustedAuthority trust;
    RdapServer server(trust);
    for (const auto &script : c.rdapReplies)
        server.plain.Enqueue(script);
    ScriptedNameServer names;
    names.Answer("fastcar.com", c.dns);
    const LoopbackNetwork stack(server.plain.Port());
    registry::RdapBootstrap bootstrap;
    if (c.hasRdapServer)
        bootstrap.Merge(R"({"services": [[["com"], [")" + server.Base() + R"("]]]})", "test");
    RecordingClient rdap(trust, RecordingClient::Short(stack.Context()));

    const auto answer = probes::CheckRegistry("fastcar.com", {names.Address(), 1, 1}, bootstrap,
                                              rdap.client, registry::PublicSuffixList());
    EXPECT_EQ(answer.available, c.available) << answer.detail;
    EXPECT_EQ(answer.evidence, c.evidence);
    EXPECT_EQ(answer.expires, c.expires);
    EXPECT_EQ(server.plain.Accepted(), c.rdapReplies.size());
    EXPECT_EQ(names.Queries(), std::vector<std::string>{"fastcar.com 2"});
}

INSTANTIATE_TEST_SUITE_P(Answers, RegistryCheckTest, ::testing::ValuesIn(kRegistry),
                         [](const auto &info) { return std::string(info.param.name); });

// Below a delegation there is no delegation, and a registry has no record of a host: both would
// say "free" for any host of a registered name. Neither is asked.
TEST(RegistryCheck, ANameThatIsNoRegistrableNameIsUnknownWithoutAsking) {
    TrustedAuthority trust;
    RdapServer server(trust);
    ScriptedNameServer names;
    const LoopbackNetwork stack(server.plain.Port());
    registry::RdapBootstrap bootstrap;
    bootstrap.Merge(R"({"services": [[["com", "uk"], [")" + server.Base() + R"("]]]})", "test");
    RecordingClient rdap(trust, RecordingClient::Short(stack.Context()));
    const registry::PublicSuffixList suffixes;
    const std::pair<const char *, const char *> cases[] = {
        {"www.example-taken.com", "a name below the registrable name example-taken.com"},
        {"Shop.Example-Taken.com", "a name below the registrable name example-taken.com"},
        {"a.b.example.co.uk", "a name below the registrable name example.co.uk"},
        {"co.uk", "a public suffix, not a registrable name"},
    };
    for (const auto &[name, detail] : cases) {
        const auto answer =
            probes::CheckRegistry(name, {names.Address(), 1, 1}, bootstrap, rdap.client, suffixes);
        EXPECT_EQ(answer.available, probes::Availability::Unknown) << name;
        EXPECT_EQ(answer.detail, detail) << name;
    }
    EXPECT_TRUE(names.Queries().empty());
    EXPECT_EQ(server.plain.Accepted(), 0u);
}

} // namespace
