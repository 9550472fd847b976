#include "core/DomainCheck.h"

#include "net/ConnectRouteStack.h"
#include "probes/WebProbes.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace testsupport;

// Answers every step as told, and logs which probe came next.
class Steps : public core::CheckSteps {
public:
    core::NextStep BeforeProbe(const probes::DomainRecord &, const probes::Probe &next) override {
        asked.push_back(next.Fills().front());
        const auto found = answers.find(next.Fills().front());
        return found == answers.end() ? core::NextStep::Go : found->second;
    }
    std::map<std::string, core::NextStep> answers;
    std::vector<std::string> asked;
};

class NamedProbe : public probes::Probe {
public:
    NamedProbe(std::string field, bool onlyForAvailable, std::string value)
        : field_(std::move(field)), onlyForAvailable_(onlyForAvailable), value_(std::move(value)) {}
    std::vector<std::string> Fills() const override { return {field_}; }
    bool OnlyForAvailable() const override { return onlyForAvailable_; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        record.SetField(field_, value_);
    }

private:
    std::string field_;
    bool onlyForAvailable_;
    std::string value_;
};

probes::ProbeList Table(const std::string &availability) {
    return {std::make_shared<NamedProbe>("available", false, availability),
            std::make_shared<NamedProbe>("links", true, "12"),
            std::make_shared<NamedProbe>("rating", true, "A")};
}

TEST(DomainCheck, AsksTheDetailsOnlyOfFreeNamesAndStopsWhereTheCallerSays) {
    struct Case {
        const char *name;
        const char *availability;
        std::map<std::string, core::NextStep> answers;
        std::vector<std::string> asked;
        bool abandoned;
        std::optional<std::string> links, rating;
    };
    const Case cases[] = {
        {"free", "Yes", {}, {"available", "links", "rating"}, false, "12", "A"},
        {"taken", "No", {}, {"available"}, false, std::nullopt, std::nullopt},
        {"skipped",
         "Yes",
         {{"links", core::NextStep::SkipRest}},
         {"available", "links"},
         false,
         std::nullopt,
         std::nullopt},
        {"abandoned",
         "Yes",
         {{"rating", core::NextStep::Abandon}},
         {"available", "links", "rating"},
         true,
         std::nullopt,
         std::nullopt},
    };
    for (const Case &c : cases) {
        Steps steps;
        steps.answers = c.answers;
        const auto record =
            core::CheckDomain("fast.co.uk", Table(c.availability), net::NetworkContext(), steps);
        EXPECT_EQ(steps.asked, c.asked) << c.name;
        ASSERT_EQ(!record, c.abandoned) << c.name;
        if (!record)
            continue;
        EXPECT_EQ(record->suffix, "co.uk") << c.name;
        EXPECT_EQ(record->links, c.links) << c.name;
        EXPECT_EQ(record->Field("rating"), c.rating) << c.name;
    }
}

// A context whose every connection goes to one local server, with its own waits.
net::NetworkContext RoutedTo(const ScriptedServer &server, int readTimeout) {
    net::NetworkContext context;
    context.ConnectTimeout = 2000;
    context.ReadTimeout = readTimeout;
    context.Sockets = net::RoutedSocketLayer({{"", std::nullopt, "127.0.0.1", server.Port()}});
    return context;
}

TEST(DomainCheck, TwoContextsWorkSideBySideEachWithItsOwnServer) {
    ScriptedServer taken, free;
    taken.Answer("*", "*", 200, "<html>taken</html>");
    free.Answer("www.fast.com", "*", 404, "none");
    free.Answer("search.yahoo.com", "*", 200, "of about <b>1,234</b>");
    free.Answer("www.alexa.com", "*", 200, "traffic rank for x: <b>9</b><br>");
    // The second server is silent for the first request; only its own short wait ends it.
    ScriptedServer silent;
    silent.Enqueue({Silent()});
    const net::NetworkContext first = RoutedTo(taken, 2000);
    const net::NetworkContext second = RoutedTo(free, 2000);
    const net::NetworkContext third = RoutedTo(silent, 50);

    Steps steps1, steps2, steps3;
    std::optional<probes::DomainRecord> other, slow;
    std::thread worker([&] {
        other = core::CheckDomain("fast.com", probes::WebProbes(), second, steps2);
        slow = core::CheckDomain("slow.com", {probes::WebProbes().front()}, third, steps3);
    });
    const auto mine = core::CheckDomain("fast.com", probes::WebProbes(), first, steps1);
    worker.join();

    ASSERT_TRUE(mine && other && slow);
    EXPECT_EQ(mine->available, "No");
    EXPECT_FALSE(mine->links);
    EXPECT_EQ(other->available, "Yes");
    EXPECT_EQ(other->links, "1234");
    EXPECT_EQ(other->rank, "9");
    EXPECT_EQ(slow->available, "Yes");
    EXPECT_EQ(taken.Accepted(), 1u);
    EXPECT_EQ(free.Accepted(), 3u);
    EXPECT_EQ(silent.Accepted(), 1u);
}

} // namespace
