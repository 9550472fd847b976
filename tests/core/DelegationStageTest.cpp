#include "core/DelegationStage.h"

#include "core/CheckPool.h"
#include "net/ConnectRouteStack.h"
#include "probes/RegistryProbe.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Names made as they are read, counting how many were.
class CountedNames : public core::NameSource {
public:
    explicit CountedNames(std::size_t count) : count_(count) {}
    std::optional<std::string> Next() override {
        if (read_ == count_)
            return std::nullopt;
        return "name" + std::to_string(read_++) + ".com";
    }
    std::size_t Count() const override { return count_; }
    std::size_t Read() const { return read_; }

private:
    const std::size_t count_;
    std::atomic<std::size_t> read_ = 0;
};

core::DelegationAhead Ahead(const ScriptedNameServer &server, int inflight) {
    core::DelegationAhead ahead;
    ahead.dns = {server.Address(), 1, 2};
    ahead.dns.inflight = inflight;
    return ahead;
}

TEST(DelegationStage, HandsNamesOutInOrderWithTheirVerdictsWithinItsBoundInFlight) {
    ScriptedNameServer server;
    server.HoldUdpReplies();
    for (int i = 0; i < 300; i += 4)
        server.Answer("name" + std::to_string(i) + ".com", NameServerReply::Delegation);
    // "name7.com" is known from an earlier run: no query for it.
    auto ahead = Ahead(server, 8);
    ahead.known = [](const std::string &name) { return name == "name7.com"; };
    CountedNames names(300);
    core::DelegationStage stage(names, ahead, 5s, {});
    for (std::size_t i = 0; i < 300; ++i) {
        const auto name = stage.Next();
        ASSERT_EQ(name, "name" + std::to_string(i) + ".com");
        const auto verdict = stage.Await(i, {});
        if (i == 7) {
            EXPECT_FALSE(verdict);
            continue;
        }
        ASSERT_TRUE(verdict) << *name;
        EXPECT_EQ(verdict->state,
                  i % 4 == 0 ? registry::Delegation::Delegated : registry::Delegation::NotDelegated)
            << *name;
    }
    EXPECT_FALSE(stage.Next());
    EXPECT_EQ(server.MostHeld(), 8u);
    EXPECT_EQ(server.Queries().size(), 299u);
}

TEST(DelegationStage, ReadsOnlyAWindowAheadOfTheNamesTakenAndEndsWhenAbandoned) {
    ScriptedNameServer server;
    CountedNames names(1000000);
    std::stop_source abandon;
    const std::size_t window = 16 + core::DelegationStage::kReadAhead;
    {
        core::DelegationStage stage(names, Ahead(server, 16), 5s, abandon.get_token());
        ASSERT_TRUE(server.WaitForQueries(window, 10s));
        EXPECT_EQ(names.Read(), window);
        // A worker waiting for a verdict that will not come is freed by the abandon.
        server.Answer("name" + std::to_string(window) + ".com", NameServerReply::Silence);
        for (std::size_t i = 0; i <= window; ++i)
            stage.Next();
        std::jthread abandoner([&] {
            server.WaitForQueries(window + 1, 10s);
            abandon.request_stop();
        });
        for (std::size_t i = 0; i < window; ++i)
            ASSERT_TRUE(stage.Await(i, {}));
        const auto start = Clock::now();
        EXPECT_FALSE(stage.Await(window, abandon.get_token()));
        EXPECT_LT(Clock::now() - start, 2s);
    }
    // One name more was read for each one taken, and the stage stopped reading at the abandon.
    EXPECT_LE(names.Read(), 2 * window + 1);
}

// A registry check of many names: the delegated ones are decided by the stage's verdict, never
// asked of RDAP, and the outcomes keep the list's order.
TEST(DelegationStage, DelegatedNamesNeverReachRdapAndOutcomesKeepTheListOrder) {
    TrustedAuthority trust;
    ScriptedNameServer dns;
    ScriptedServer rdap;
    TestCertificate leaf = trust.Leaf({"rdap.zz.test"});
    TlsServer tls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    TempFolder folder;
    std::ofstream(folder.PathOf("zz.json"))
        << R"({"version": "1.0", "services": [[["zz"], ["https://rdap.zz.test/"]]]})";

    std::vector<std::string> names;
    std::size_t undelegated = 0;
    for (int i = 0; i < 60; ++i) {
        names.push_back(std::string("n").append(std::to_string(i)).append(".zz"));
        if (i % 5 == 0) {
            ++undelegated;
            rdap.Answer("rdap.zz.test", "/domain/" + names.back(), 404, "");
        } else {
            dns.Answer(names.back(), NameServerReply::Delegation);
        }
    }
    probes::RegistrySettings settings;
    settings.tls.CAFile = trust.File();
    settings.bootstrapFiles = {folder.PathOf("zz.json")};
    settings.dns = {dns.Address(), 1, 2};
    settings.dns.inflight = 16;
    settings.rdapRate = 1000; // not the pace under test here
    probes::ProbeList probes{std::make_shared<probes::RegistryProbe>(
        std::make_shared<probes::RegistryContext>(settings))};
    net::NetworkContext base;
    base.Sockets = net::RoutedSocketLayer({{"rdap.zz.test", 443, "127.0.0.1", tls.Port()}});
    core::CheckPool pool(names, probes, core::ContextForRun(base, 4), 4, nullptr,
                         core::DelegationAhead{settings.dns, nullptr});
    std::size_t next = 0;
    const auto deadline = Clock::now() + 10s;
    while (!pool.Done() && Clock::now() < deadline) {
        auto outcome = pool.Next(100ms);
        if (!outcome)
            continue;
        ASSERT_FALSE(outcome->failure);
        ASSERT_EQ(outcome->index, next);
        ASSERT_EQ(outcome->name, names[next]);
        const bool delegated = next % 5 != 0;
        EXPECT_EQ(outcome->record.available,
                  delegated ? probes::Availability::Taken : probes::Availability::Free)
            << outcome->name;
        EXPECT_EQ(outcome->record.Field(base::field::kEvidence), delegated ? "dns" : "rdap")
            << outcome->name;
        ++next;
    }
    EXPECT_EQ(next, names.size());
    EXPECT_EQ(rdap.Requests().size(), undelegated);
    for (const std::string &request : rdap.Requests())
        EXPECT_NE(request.find("GET /domain/n"), std::string::npos) << request;
    // One delegation query a name: the checks took the stage's verdicts. Each taken name is
    // asked for its sale sign once, no other name is.
    EXPECT_EQ(dns.QueriesOfType(2), names.size());
    EXPECT_EQ(dns.QueriesOfType(16), names.size() - undelegated);
    EXPECT_EQ(dns.Queries().size(), 2 * names.size() - undelegated);
}

} // namespace
