#include "probes/CancellableWait.h"
#include "probes/RdapBootstrap.h"
#include "probes/RdapClient.h"
#include "probes/RdapHostLimiter.h"
#include "probes/RdapResponse.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>

namespace {

using namespace std::chrono_literals;

TEST(RdapResponse, ReadsDatesAndRegistrar) {
    const auto record = probes::ReadRdapDomain(R"({
        "objectClassName": "domain", "ldhName": "FASTCAR.COM",
        "events": [{"eventAction": "registration", "eventDate": "1999-03-15T05:00:00Z"},
                   {"eventAction": "expiration", "eventDate": "2027-03-15T04:00:00.000+00:00"}],
        "entities": [{"objectClassName": "entity", "roles": ["technical"],
                      "vcardArray": ["vcard", [["fn", {}, "text", "Not This One"]]]},
                     {"objectClassName": "entity", "roles": ["sponsor", "registrar"],
                      "vcardArray": ["vcard", [["version", {}, "text", "4.0"],
                                               ["fn", {}, "text", "Example Registrar, Inc."]]]}]})");
    EXPECT_EQ(record.registered, "1999-03-15");
    EXPECT_EQ(record.expires, "2027-03-15");
    EXPECT_EQ(record.registrar, "Example Registrar, Inc.");
}

TEST(RdapResponse, MissingOrOddFieldsLeaveThemEmpty) {
    const auto record = probes::ReadRdapDomain(R"({"objectClassName": "domain",
        "events": [{"eventAction": "expiration", "eventDate": "soon"}, 7, {"eventAction": 1}],
        "entities": [{"roles": "registrar"}, {"roles": ["registrar"], "vcardArray": ["vcard"]}]})");
    EXPECT_EQ(record.expires, "");
    EXPECT_EQ(record.registrar, "");
}

TEST(RdapResponse, RefusesWhatIsNotADomainRecord) {
    const std::pair<const char *, const char *> cases[] = {
        {"<html>busy</html>", "The RDAP reply is not JSON."},
        {"", "The RDAP reply is not JSON."},
        {R"({"objectClassName": "domain")", "The RDAP reply is not JSON."},
        {"[1, 2]", "The reply is not an RDAP domain record."},
        {R"({"errorCode": 404, "title": "Not Found"})", "The reply is not an RDAP domain record."},
        {R"({"objectClassName": "entity"})", "The reply is not an RDAP domain record."},
    };
    for (const auto &[body, message] : cases) {
        try {
            probes::ReadRdapDomain(body);
            ADD_FAILURE() << body;
        } catch (const probes::ERdapFormatError &error) {
            EXPECT_STREQ(error.what(), message) << body;
        }
    }
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_THROW(probes::ReadRdapDomain(deep), probes::ERdapFormatError);
}

TEST(RdapBootstrap, BuiltInTableCoversTheOfferedSuffixes) {
    const auto bootstrap = probes::RdapBootstrap::BuiltIn();
    EXPECT_EQ(bootstrap.ServerFor("fastcar.com"), "https://rdap.verisign.com/com/v1/");
    EXPECT_EQ(bootstrap.ServerFor("FASTCAR.NET."), "https://rdap.verisign.com/net/v1/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.org"), "https://rdap.publicinterestregistry.org/rdap/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.biz"), "https://rdap.nic.biz/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.info"), "https://rdap.afilias.net/rdap/info/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.co.uk"), std::nullopt);
    EXPECT_EQ(bootstrap.ServerFor("com"), std::nullopt);
}

TEST(RdapBootstrap, FileAddsAndReplacesAndTheLongestSuffixWins) {
    auto bootstrap = probes::RdapBootstrap::BuiltIn();
    TempFolder folder;
    std::ofstream(folder.PathOf("dns.json")) << R"({"version": "1.0", "services": [
        [["uk"], ["https://rdap.uk.test/uk"]],
        [["CO.UK", "io"], ["http://plain.test/", "https://rdap.co-uk.test/"]],
        [["com"], ["https://rdap.mirror.test/com/"]],
        [["dev"], ["http://only-plain.test/"]],
        [["shop"], ["HTTPS://rdap.shop.test/"]]]})";
    bootstrap.MergeFile(folder.PathOf("dns.json"));
    EXPECT_EQ(bootstrap.ServerFor("fastcar.co.uk"), "https://rdap.co-uk.test/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.org.uk"), "https://rdap.uk.test/uk/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.io"), "https://rdap.co-uk.test/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.com"), "https://rdap.mirror.test/com/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.dev"), std::nullopt);
    EXPECT_EQ(bootstrap.ServerFor("fastcar.net"), "https://rdap.verisign.com/net/v1/");
    // The scheme in any case is https, kept in one spelling.
    EXPECT_EQ(bootstrap.ServerFor("fastcar.shop"), "https://rdap.shop.test/");
}

TEST(RdapBootstrap, BadFilesAreErrorsThatNameTheFile) {
    probes::RdapBootstrap bootstrap;
    const std::pair<const char *, const char *> cases[] = {
        {"not json", "The RDAP bootstrap file f is not JSON."},
        {R"({"services": 3})", "The RDAP bootstrap file f has no services list."},
        {R"({"services": [["com"]]})",
         "The RDAP bootstrap file f holds a service that is not [[suffixes], [servers]]."},
    };
    for (const auto &[text, message] : cases) {
        try {
            bootstrap.Merge(text, "f");
            ADD_FAILURE() << text;
        } catch (const probes::ERdapBootstrapError &error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
    EXPECT_THROW(bootstrap.MergeFile("/nonexistent/dns.json"), probes::ERdapBootstrapError);
    EXPECT_EQ(bootstrap.Size(), 0u);
}

TEST(RetryAfter, ReadsSecondsAndDatesWithinTheCap) {
    const auto wait = [](const std::string &value) {
        return probes::RetryAfterWait(value, 30s, 2s);
    };
    EXPECT_EQ(wait("7"), 7s);
    EXPECT_EQ(wait(""), 2s);
    EXPECT_EQ(wait("soon"), 2s);
    EXPECT_EQ(wait("-5"), 0s);
    EXPECT_EQ(wait("86400"), 30s);
    EXPECT_EQ(wait("Wed, 21 Oct 2015 07:28:00 GMT"), 0s);
    EXPECT_EQ(wait("Fri, 01 Jan 2100 00:00:00 GMT"), 30s);
}

TEST(RdapHostLimiter, HoldsEachHostToItsConcurrency) {
    probes::RdapHostLimiter limiter({4, 1000ms});
    std::vector<probes::RdapHostLimiter::Permit> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(limiter.Acquire("rdap.test"));
    EXPECT_EQ(limiter.InFlight("RDAP.test"), 4);
    auto other = limiter.Acquire("rdap.other.test"); // another host is not held up
    auto fifth = std::async(std::launch::async, [&] { return bool(limiter.Acquire("rdap.test")); });
    EXPECT_EQ(fifth.wait_for(50ms), std::future_status::timeout);
    held.pop_back();
    EXPECT_TRUE(fifth.get());
    EXPECT_EQ(limiter.InFlight("rdap.test"), 3);
}

TEST(RdapHostLimiter, SlowedHostSpacesItsRequestsAndCancelWakesWaiters) {
    probes::RdapHostLimiter limiter({4, 60000ms});
    limiter.SlowDown("rdap.test");
    EXPECT_TRUE(limiter.IsSlowed("rdap.test"));
    EXPECT_FALSE(limiter.IsSlowed("rdap.other.test"));
    auto waiting =
        std::async(std::launch::async, [&] { return bool(limiter.Acquire("rdap.test")); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    limiter.Cancel();
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(limiter.Acquire("rdap.other.test"));
}

// The run's stop ends a wait for a full host and for a slowed host's gap alike, and the
// retry pauses; from then on nothing of the run is let through, and another run is not held.
TEST(RdapHostLimiter, StopEndsTheWaitsForATurnAndTheRetryPauses) {
    probes::RdapHostLimiter limiter({1, 60000ms});
    const auto held = limiter.Acquire("full.test");
    limiter.SlowDown("slowed.test"); // its gap starts now
    std::stop_source stop;
    probes::CancellableWait pauses;
    auto full = std::async(std::launch::async,
                           [&] { return bool(limiter.Acquire("full.test", stop.get_token())); });
    auto slowed = std::async(
        std::launch::async, [&] { return bool(limiter.Acquire("slowed.test", stop.get_token())); });
    auto pause = std::async(std::launch::async, [&] {
        return pauses.WaitFor(std::chrono::hours(1), stop.get_token());
    });
    stop.request_stop();
    EXPECT_FALSE(full.get());
    EXPECT_FALSE(slowed.get());
    EXPECT_FALSE(pause.get());
    EXPECT_FALSE(limiter.Acquire("free.test", stop.get_token()));
    EXPECT_TRUE(limiter.Acquire("free.test"));
    EXPECT_TRUE(pauses.WaitFor(0ms));
}

} // namespace
