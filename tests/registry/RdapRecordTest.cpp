#include "net/HostLimiter.h"
#include "registry/CancellableWait.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapClient.h"
#include "registry/RdapResponse.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(RdapResponse, ReadsDatesAndRegistrar) {
    const auto record = registry::ReadRdapDomain(R"({
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
    const auto record = registry::ReadRdapDomain(R"({"objectClassName": "domain",
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
            registry::ReadRdapDomain(body);
            ADD_FAILURE() << body;
        } catch (const registry::ERdapFormatError &error) {
            EXPECT_STREQ(error.what(), message) << body;
        }
    }
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_THROW(registry::ReadRdapDomain(deep), registry::ERdapFormatError);
}

TEST(RdapResponse, ReadsTheNameTheRecordIsOf) {
    EXPECT_EQ(registry::ReadRdapDomain(
                  R"({"objectClassName": "domain", "ldhName": "XN--BCHER-KVA.EXAMPLE"})")
                  .ldhName,
              "XN--BCHER-KVA.EXAMPLE");
    EXPECT_EQ(registry::ReadRdapDomain(R"({"objectClassName": "domain", "ldhName": 7})").ldhName,
              "");
}

TEST(RdapResponse, OnlyAnErrorObjectOfCode404SaysNotFound) {
    const std::pair<const char *, bool> cases[] = {
        {R"({"errorCode": 404})", true},
        {R"({"errorCode": 404, "title": "Not Found", "description": ["none"],
             "rdapConformance": ["rdap_level_0"], "notices": []})",
         true},
        {R"({"errorCode": "404"})", false},
        {R"({"errorCode": 500})", false},
        {R"({"errorCode": 404, "objectClassName": "domain"})", false},
        {R"({"errorCode": 404, "ldhName": "fastcar.com"})", false},
        {R"({"objectClassName": "domain", "ldhName": "fastcar.com"})", false},
        {"{}", false},
        {"[404]", false},
        {R"({"errorCode": 404)", false},
        {"", false},
    };
    for (const auto &[body, notFound] : cases)
        EXPECT_EQ(registry::IsRdapNotFoundError(body), notFound) << body;
    const std::string deep =
        R"({"errorCode": 404, "x": )" + std::string(1000, '[') + std::string(1000, ']') + "}";
    EXPECT_FALSE(registry::IsRdapNotFoundError(deep));
}

TEST(RdapBootstrap, BuiltInTableCoversTheOfferedSuffixes) {
    const auto bootstrap = registry::RdapBootstrap::BuiltIn();
    EXPECT_EQ(bootstrap.ServerFor("fastcar.com"), "https://rdap.verisign.com/com/v1/");
    EXPECT_EQ(bootstrap.ServerFor("FASTCAR.NET."), "https://rdap.verisign.com/net/v1/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.org"), "https://rdap.publicinterestregistry.org/rdap/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.biz"), "https://rdap.nic.biz/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.info"), "https://rdap.identitydigital.services/rdap/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.co.uk"), "https://rdap.nominet.uk/uk/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.dev"), "https://pubapi.registry.google/rdap/");
    // IANA's file names no RDAP server for these; the copy kept out http:// servers (kg, mg).
    for (const char *name : {"fastcar.us", "fastcar.de", "fastcar.io", "fastcar.kg", "fastcar.mg"})
        EXPECT_EQ(bootstrap.ServerFor(name), std::nullopt) << name;
    EXPECT_EQ(bootstrap.ServerFor("com"), std::nullopt);
    EXPECT_GE(bootstrap.Size(), 1200u);
    EXPECT_EQ(bootstrap.Publication(), registry::ReadPublicationTime("2026-09-16T19:00:03Z"));
}

TEST(RdapBootstrap, FileAddsAndReplacesAndTheLongestSuffixWins) {
    auto bootstrap = registry::RdapBootstrap::BuiltIn();
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
    // An entry with only an http:// server neither adds nor replaces one.
    EXPECT_EQ(bootstrap.ServerFor("fastcar.dev"), "https://pubapi.registry.google/rdap/");
    EXPECT_EQ(bootstrap.ServerFor("fastcar.net"), "https://rdap.verisign.com/net/v1/");
    // The scheme in any case is https, kept in one spelling.
    EXPECT_EQ(bootstrap.ServerFor("fastcar.shop"), "https://rdap.shop.test/");
}

TEST(RdapBootstrap, BadFilesAreErrorsThatNameTheFile) {
    registry::RdapBootstrap bootstrap;
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
        } catch (const registry::ERdapBootstrapError &error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
    EXPECT_THROW(bootstrap.MergeFile("/nonexistent/dns.json"), registry::ERdapBootstrapError);
    EXPECT_EQ(bootstrap.Size(), 0u);
}

// Brackets that never close are refused by their depth before the JSON library builds a value
// for each of them (8 MB of them took some 600 MB to refuse).
TEST(RdapBootstrap, NestingDeeperThanTheFormatIsRefusedBeforeParsing) {
    registry::RdapBootstrap bootstrap;
    const std::string message = "The RDAP bootstrap file f nests deeper than the bootstrap format.";
    for (const std::string &text : {std::string(8 * 1024 * 1024, '['),
                                    R"({"services": [[[[[[[[[[[[[[[[["com"]]]]]]]]]]]]]]]]]})"s}) {
        try {
            bootstrap.Merge(text, "f");
            ADD_FAILURE() << text.substr(0, 40);
        } catch (const registry::ERdapBootstrapError &error) {
            EXPECT_EQ(error.what(), message);
        }
    }
}

// A pipe in place of the file would hold every registry run until something writes to it.
TEST(RdapBootstrap, AFileThatIsNoRegularFileIsRefusedWithoutWaiting) {
    TempFolder folder;
    const std::string pipe = folder.PathOf("dns.json");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto merge = std::async(std::launch::async, [&] {
        registry::RdapBootstrap bootstrap;
        try {
            bootstrap.MergeFile(pipe);
        } catch (const registry::ERdapBootstrapError &error) {
            return std::string(error.what());
        }
        return std::string("merged");
    });
    if (merge.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "the read waits for a writer";
        // A writer that comes and goes releases the read, so that the test ends.
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(merge.get(), "RDAP bootstrap file: cannot read " + pipe +
                               ": it is a pipe, and only a regular file is read here.");
}

TEST(RetryAfter, ReadsSecondsAndDatesWithinTheCap) {
    const auto wait = [](const std::string &value) {
        return registry::RetryAfterWait(value, 30s, 2s);
    };
    EXPECT_EQ(wait("7"), 7s);
    EXPECT_EQ(wait(""), 2s);
    EXPECT_EQ(wait("soon"), 2s);
    EXPECT_EQ(wait("-5"), 0s);
    EXPECT_EQ(wait("86400"), 30s);
    EXPECT_EQ(wait("Wed, 21 Oct 2015 07:28:00 GMT"), 0s);
    EXPECT_EQ(wait("Fri, 01 Jan 2100 00:00:00 GMT"), 30s);
}

// The run's stop ends a wait for a full host and for a slowed host's gap alike, and the
// retry pauses; from then on nothing of the run is let through, and another run is not held.
TEST(RdapWaits, StopEndsTheWaitsForATurnAndTheRetryPauses) {
    net::HostLimiter limiter({.atOnce = 1, .slowedGap = 60000ms});
    const auto held = limiter.Acquire("full.test");
    limiter.SlowDown("slowed.test"); // its gap starts now
    std::stop_source stop;
    registry::CancellableWait pauses;
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
