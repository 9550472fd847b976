#include "core/DomainCheck.h"

#include "base/Exception.h"

#include "net/ConnectRouteStack.h"
#include "probes/WebProbes.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
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
    // The details asked at once come to the same as the details asked one after another.
    for (const auto details : {core::Details::OneAfterAnother, core::Details::AtOnce})
        for (const Case &c : cases) {
            const std::string label =
                std::string(c.name) + (details == core::Details::AtOnce ? " at once" : "");
            Steps steps;
            steps.answers = c.answers;
            const auto record = core::CheckDomain("fast.co.uk", Table(c.availability),
                                                  net::NetworkContext(), steps, details);
            EXPECT_EQ(steps.asked, c.asked) << label;
            ASSERT_EQ(!record, c.abandoned) << label;
            if (!record)
                continue;
            EXPECT_EQ(record->suffix, "co.uk") << label;
            EXPECT_EQ(record->links, c.links) << label;
            EXPECT_EQ(record->Field("rating"), c.rating) << label;
        }
}

// Detail probes that wait (a bounded time) until every one of them has started: only probes
// that run at once all see the others.
class Rendezvous {
public:
    explicit Rendezvous(int parties) : parties_(parties) {}
    bool Meet() {
        std::unique_lock lock(mutex_);
        ++arrived_;
        arrivals_.notify_all();
        return arrivals_.wait_for(lock, std::chrono::seconds(5),
                                  [this] { return arrived_ >= parties_; });
    }

private:
    const int parties_;
    std::mutex mutex_;
    std::condition_variable arrivals_;
    int arrived_ = 0;
};

class MeetingProbe : public probes::Probe {
public:
    MeetingProbe(std::vector<std::string> fills, Rendezvous &rendezvous)
        : fills_(std::move(fills)), rendezvous_(rendezvous) {}
    std::vector<std::string> Fills() const override { return fills_; }
    bool OnlyForAvailable() const override { return true; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        if (fills_.front() == "fails")
            throw base::Exception("no sockets");
        const bool met = fills_.size() == 1 && rendezvous_.Meet();
        record.SetField(fills_.front(), met ? "met" : "alone");
        if (fills_.size() > 1)
            record.AddEvidence(fills_.front());
    }

private:
    std::vector<std::string> fills_;
    Rendezvous &rendezvous_;
};

TEST(DomainCheck, DetailsAtOnceRunTogetherUnlessTheyShareAField) {
    struct Case {
        const char *name;
        std::vector<std::vector<std::string>> details;
        std::map<std::string, std::string> fields;
    };
    const Case cases[] = {
        {"own fields", {{"links"}, {"rank"}}, {{"links", "met"}, {"rank", "met"}}},
        // Both add to the evidence: one after the other, in list order.
        {"shared evidence",
         {{"links", "evidence"}, {"rank", "evidence"}},
         {{"links", "alone"}, {"rank", "alone"}, {"evidence", "web; links; rank"}}},
    };
    for (const Case &c : cases) {
        Rendezvous rendezvous(static_cast<int>(c.details.size()));
        probes::ProbeList list{std::make_shared<NamedProbe>("available", false, "Yes")};
        for (const auto &fills : c.details)
            list.push_back(std::make_shared<MeetingProbe>(fills, rendezvous));
        Steps steps;
        list.insert(list.begin() + 1, std::make_shared<NamedProbe>("evidence", false, "web"));
        const auto record = core::CheckDomain("fast.com", list, net::NetworkContext(), steps,
                                              core::Details::AtOnce);
        ASSERT_TRUE(record) << c.name;
        for (const auto &[key, value] : c.fields)
            EXPECT_EQ(record->Field(key), value) << c.name << " " << key;
    }
}

TEST(DomainCheck, AFailureOfADetailAskedAtOnceIsTheCallersToSee) {
    Rendezvous rendezvous(1);
    const probes::ProbeList list{
        std::make_shared<NamedProbe>("available", false, "Yes"),
        std::make_shared<MeetingProbe>(std::vector<std::string>{"links"}, rendezvous),
        std::make_shared<MeetingProbe>(std::vector<std::string>{"fails"}, rendezvous)};
    Steps steps;
    EXPECT_THROW(
        core::CheckDomain("fast.com", list, net::NetworkContext(), steps, core::Details::AtOnce),
        base::Exception);
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
    EXPECT_EQ(mine->available, probes::Availability::Taken);
    EXPECT_FALSE(mine->links);
    EXPECT_EQ(other->available, probes::Availability::Free);
    EXPECT_EQ(other->links, "1234");
    EXPECT_EQ(other->rank, "9");
    EXPECT_EQ(slow->available, probes::Availability::Free);
    EXPECT_EQ(taken.Accepted(), 1u);
    EXPECT_EQ(free.Accepted(), 3u);
    EXPECT_EQ(silent.Accepted(), 1u);
}

} // namespace
