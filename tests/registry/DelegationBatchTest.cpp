#include "registry/DelegationBatch.h"

#include "tests/support/ScriptedNameServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stop_token>
#include <thread>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;
using registry::Delegation;
using registry::DelegationBatch;
using registry::DelegationResult;
using Clock = std::chrono::steady_clock;

struct Verdicts {
    std::map<std::uint64_t, DelegationResult> byTag;
    std::vector<std::uint64_t> order;
    std::size_t repeated = 0;
};

// Queries names[i] under tag i, keeping the batch full, until every verdict is out or stop.
Verdicts RunBatch(DelegationBatch &batch, const std::vector<std::string> &names,
                  std::chrono::milliseconds queryTimeout = 5s, std::stop_token stop = {}) {
    Verdicts verdicts;
    std::size_t next = 0;
    const auto keep = [&](std::vector<DelegationBatch::Verdict> out) {
        for (auto &[tag, result] : out) {
            verdicts.order.push_back(tag);
            if (!verdicts.byTag.emplace(tag, std::move(result)).second)
                ++verdicts.repeated;
        }
    };
    while (verdicts.order.size() < names.size() && !stop.stop_requested()) {
        for (; next < names.size() && !batch.Full(); ++next)
            batch.Start(next, names[next], Clock::now() + queryTimeout);
        keep(batch.Serve(Clock::now() + 5s, stop));
    }
    if (stop.stop_requested())
        keep(batch.CancelAll());
    return verdicts;
}

registry::DnsSettings Settings(const ScriptedNameServer &server, int inflight, int attempts = 2) {
    registry::DnsSettings settings{server.Address(), 1, attempts};
    settings.inflight = inflight;
    return settings;
}

TEST(DelegationBatch, KeepsItsBoundInFlightAndTakesRepliesInAnyOrder) {
    ScriptedNameServer server;
    server.HoldUdpReplies();
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) {
        names.push_back("name" + std::to_string(i) + ".com");
        if (i % 3 == 0)
            server.Answer(names.back(), NameServerReply::Delegation);
    }
    DelegationBatch batch(Settings(server, 16), 16);
    const Verdicts verdicts = RunBatch(batch, names);
    ASSERT_EQ(verdicts.byTag.size(), names.size());
    EXPECT_EQ(verdicts.repeated, 0u);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(verdicts.byTag.at(i).state,
                  i % 3 == 0 ? Delegation::Delegated : Delegation::NotDelegated)
            << names[i];
    // The server held each round and answered it last first.
    EXPECT_FALSE(std::is_sorted(verdicts.order.begin(), verdicts.order.end()));
    EXPECT_EQ(server.MostHeld(), 16u);
    EXPECT_EQ(server.Queries().size(), names.size());
}

struct ReplyCase {
    const char *name;
    NameServerReply reply;
    Delegation state;
    const char *detail;
    // The queries the server saw for the name.
    std::vector<std::string> queries;
};

// Every case in flight at once on one channel: a reply meant for one query changes no other.
TEST(DelegationBatch, EachReplyDecidesOnlyItsOwnQuery) {
    const ReplyCase cases[] = {
        {"wrongid.com",
         NameServerReply::WrongIdFirst,
         Delegation::NotDelegated,
         "NXDOMAIN",
         {"wrongid.com 2"}},
        {"otherquestion.com",
         NameServerReply::OtherQuestionFirst,
         Delegation::NotDelegated,
         "NXDOMAIN",
         {"otherquestion.com 2"}},
        {"truncated.com",
         NameServerReply::Truncated,
         Delegation::Delegated,
         "2 NS records",
         {"truncated.com 2", "truncated.com 2 tcp"}},
        {"retried.com",
         NameServerReply::SilentOnce,
         Delegation::Delegated,
         "2 NS records",
         {"retried.com 2", "retried.com 2"}},
        {"servfail.com",
         NameServerReply::ServerFailure,
         Delegation::Failed,
         "SERVFAIL",
         {"servfail.com 2"}},
        {"delegated.com",
         NameServerReply::Delegation,
         Delegation::Delegated,
         "2 NS records",
         {"delegated.com 2"}},
        {"nodata.com",
         NameServerReply::NoData,
         Delegation::NotDelegated,
         "no NS records",
         {"nodata.com 2"}},
    };
    ScriptedNameServer server;
    std::vector<std::string> names;
    for (const ReplyCase &c : cases) {
        server.Answer(c.name, c.reply);
        names.push_back(c.name);
    }
    DelegationBatch batch(Settings(server, 64), 64);
    const Verdicts verdicts = RunBatch(batch, names);
    const auto queries = server.Queries();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const ReplyCase &c = cases[i];
        ASSERT_TRUE(verdicts.byTag.contains(i)) << c.name;
        EXPECT_EQ(verdicts.byTag.at(i).state, c.state) << c.name;
        EXPECT_EQ(verdicts.byTag.at(i).detail, c.detail) << c.name;
        std::vector<std::string> seen;
        std::copy_if(
            queries.begin(), queries.end(), std::back_inserter(seen),
            [&](const std::string &q) { return q.starts_with(std::string(c.name) + " "); });
        EXPECT_EQ(seen, c.queries) << c.name;
    }
    EXPECT_EQ(verdicts.repeated, 0u);
}

TEST(DelegationBatch, AQueryPastItsDeadlineGetsItsVerdictButKeepsItsPlaceInFlight) {
    ScriptedNameServer server;
    server.Answer("silent.com", NameServerReply::Silence);
    DelegationBatch batch(Settings(server, 1), 1);
    const Verdicts verdicts = RunBatch(batch, {"silent.com"}, 50ms);
    ASSERT_EQ(verdicts.byTag.size(), 1u);
    EXPECT_EQ(verdicts.byTag.at(0).state, Delegation::Failed);
    EXPECT_EQ(verdicts.byTag.at(0).detail, "no answer before the request time-out");
    // The server may still answer it: no other query takes its place until the tries end.
    EXPECT_TRUE(batch.Full());
    EXPECT_EQ(batch.Waiting(), 0u);
}

TEST(DelegationBatch, StopEndsARunOfSilentQueriesAtOnce) {
    ScriptedNameServer server;
    std::vector<std::string> names;
    for (int i = 0; i < 50; ++i) {
        names.push_back("quiet" + std::to_string(i) + ".com");
        server.Answer(names.back(), NameServerReply::Silence);
    }
    // Tries of 3 s: only the stop can end the run in time.
    registry::DnsSettings settings = Settings(server, 64);
    settings.timeoutSeconds = 3;
    DelegationBatch batch(settings, 64);
    std::stop_source stop;
    std::jthread stopper([&] {
        server.WaitForQueries(names.size(), 5s);
        stop.request_stop();
    });
    const auto start = Clock::now();
    const Verdicts verdicts = RunBatch(batch, names, 30s, stop.get_token());
    EXPECT_LT(Clock::now() - start, 2s);
    ASSERT_EQ(verdicts.byTag.size(), names.size());
    for (const auto &[tag, result] : verdicts.byTag) {
        EXPECT_EQ(result.state, Delegation::Failed);
        EXPECT_EQ(result.detail, "cancelled");
    }
    EXPECT_EQ(batch.InFlight(), 0u);
}

TEST(DelegationBatch, AnUnreadableResolverAddressIsRefused) {
    registry::DnsSettings settings;
    settings.server = "127.0.0.1:x";
    EXPECT_THROW(DelegationBatch(settings, 8), registry::EDnsChannelError);
}

} // namespace
