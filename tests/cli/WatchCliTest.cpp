#include "cli/NimbrelCli.h"
#include "core/WatchList.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSessionBus.h"
#include "tests/support/TlsServer.h"
#include "tests/support/WhoisTestServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/SqliteDatabase.h"
#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

// nimbrel-cli's watch list against local servers only: a name server that delegates nothing, an
// RDAP server behind TLS for ".zz" and a WHOIS server for ".io", scripted anew before each check,
// with the clock of the checks set by the test.
namespace {

using namespace testsupport;
using namespace std::chrono;

const std::string kRdapHost = "rdap.watch.test";
const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";

// Sets an environment variable for the life of the object, then puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::string &value) : name_(name) {
        if (const char *old = std::getenv(name))
            previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *name_;
    std::optional<std::string> previous_;
};

std::string Record(const std::string &name, const std::string &status,
                   const std::string &expires = "2026-11-20") {
    return R"({"objectClassName": "domain", "ldhName": ")" + name + R"(", "status": [)" + status +
           R"(], "events": [{"eventAction": "expiration", "eventDate": ")" + expires +
           R"(T04:00:00Z"}], "entities": [{"objectClassName": "entity", "roles": ["registrar"],
           "vcardArray": ["vcard", [["fn", {}, "text", "Example Registrar"]]]}]})";
}

std::string WhoisRecord(const std::string &name, const std::string &status) {
    return "Domain Name: " + name +
           "\nRegistrar: Example Registrar\nRegistry Expiry Date: 2026-11-20T00:00:00Z\n"
           "Domain Status: " +
           status + " https://icann.org/epp#" + status + "\n";
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class WatchCli : public ::testing::Test {
protected:
    WatchCli() {
        std::ofstream(data.PathOf("zz.json"))
            << R"({"version": "1.0", "services": [[["zz"], ["https://)" + kRdapHost + R"(/"]]]})";
    }

    // args followed by what reaches the local servers only.
    std::vector<std::string> WithNetwork(std::vector<std::string> args) const {
        const std::vector<std::string> network = {
            "--dns-server",
            names.Address(),
            "--ca-file",
            trust.File(),
            "--rdap-bootstrap",
            data.PathOf("zz.json"),
            "--rdap-rate",
            "1000",
            "--whois-pace",
            "0",
            "--no-cache",
            "--connect-to",
            kRdapHost + ":443:127.0.0.1:" + std::to_string(rdapTls.Port()),
            "--connect-to",
            ":43:127.0.0.1:" + std::to_string(whois.Port())};
        args.insert(args.end(), network.begin(), network.end());
        return args;
    }

    Outcome Run(std::vector<std::string> given) {
        const std::vector<std::string> args = WithNetwork(std::move(given));
        std::vector<const char *> argv{"nimbrel-cli"};
        for (const std::string &arg : args)
            argv.push_back(arg.c_str());
        std::ostringstream out, err;
        Outcome outcome;
        outcome.status = cli::RunNimbrelCli(static_cast<int>(argv.size()), argv.data(), out, err,
                                            {}, floor<days>(now), [this] { return now; });
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    // The watch list as --watch-list prints it in JSON, by name.
    std::map<std::string, nlohmann::json> Listed() {
        const Outcome listed = Run({"--watch-list", "--format", "json"});
        EXPECT_EQ(listed.status, 0) << listed.err;
        std::map<std::string, nlohmann::json> rows;
        for (const auto &row : nlohmann::json::parse(listed.out))
            rows[row["domain"]] = row;
        return rows;
    }

    void RdapAnswers(const std::string &name, int status, const std::string &body) {
        rdap.Answer(kRdapHost, "/domain/" + name, status, body, kRdapJson);
    }

    // The environment of a child nimbrel-cli: this test's folders.
    std::vector<std::string> ChildEnvironment() const {
        return {"XDG_DATA_HOME=" + data.Path().string(),
                "XDG_CONFIG_HOME=" + home.Folder().string(),
                "XDG_CACHE_HOME=" + (home.Folder() / "cache").string()};
    }

    std::filesystem::path WatchFile() const { return data.Path() / "Nimbrel" / "watch.sqlite"; }

    TrustedAuthority trust;
    TempFolder data{"nimbrel-watch-data"};
    TempConfigHome home;
    ScopedVariable dataHome{"XDG_DATA_HOME", data.Path().string()};
    ScriptedNameServer names;
    ScriptedServer rdap;
    TestCertificate leaf = trust.Leaf({kRdapHost});
    TlsServer rdapTls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    registrytest::WhoisTestServer whois;
    system_clock::time_point now = sys_days(2026y / 12 / 1) + hours(6);
};

// One check of the story: what each server says, then what must come of it.
struct CheckStep {
    // For a.zz, b.zz and c.zz alike: the RDAP status list, or empty for "not found".
    std::string lifecycle;
    // r.zz: its RDAP status list; w.io: its WHOIS status word, or empty for "not found".
    std::string renewed;
    std::string whoisStatus;
    // u.zz answers 500 at this check when set.
    bool unknown;
    std::string lines;
    // Expected release of a.zz, r.zz and w.io as --watch-list shows it.
    const char *releaseA;
    const char *releaseR;
    const char *releaseW;
};

TEST_F(WatchCli, FollowsNamesThroughTheDeletionCycle) {
    if (!TestSessionBus::Available())
        GTEST_SKIP() << "no dbus-daemon";
    TestSessionBus bus;
    NotificationStandIn notices(bus.Address());
    ScopedVariable busAddress("DBUS_SESSION_BUS_ADDRESS", bus.Address());

    const Outcome added = Run({"--watch-add", "a.zz", "B.zz", "c.zz", "r.zz", "u.zz", "w.io"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "6 names added to the watch list\n");

    const std::string active = R"("active")";
    const std::string redemption = R"("redemption period", "pending delete")";
    const std::string pending = R"("pending delete")";
    const CheckStep steps[] = {
        {active, R"("auto renew period")", "redemptionPeriod", false,
         "a.zz: not checked -> No (active)\n"
         "b.zz: not checked -> No (active)\n"
         "c.zz: not checked -> No (active)\n"
         "r.zz: not checked -> No (auto renew period)\n"
         "u.zz: not checked -> No (active)\n"
         "w.io: not checked -> No (redemption period)\n",
         "-", "2027-01-04 at the earliest (expiry + 45 days of auto-renew grace)",
         "2027-01-05 (redemption period + 30 days + pending delete 5 days)"},
        {redemption, R"("redemption period")", "pendingDelete", true,
         "a.zz: No (active) -> No (redemption period, pending delete)\n"
         "b.zz: No (active) -> No (redemption period, pending delete)\n"
         "c.zz: No (active) -> No (redemption period, pending delete)\n"
         "r.zz: No (auto renew period) -> No (redemption period)\n"
         "w.io: No (redemption period) -> No (pending delete)\n",
         "2027-01-06 (redemption period + 30 days + pending delete 5 days)",
         "2027-01-06 (redemption period + 30 days + pending delete 5 days)",
         "2026-12-07 (pending delete 5 days)"},
        {pending, active, "", false,
         "a.zz: No (redemption period, pending delete) -> No (pending delete)\n"
         "b.zz: No (redemption period, pending delete) -> No (pending delete)\n"
         "c.zz: No (redemption period, pending delete) -> No (pending delete)\n"
         "r.zz: No (redemption period) -> No (active)\n"
         "w.io: No (pending delete) -> Yes\n",
         "2026-12-08 (pending delete 5 days)", "-", "-"},
        {"", active, "", false,
         "a.zz: No (pending delete) -> Yes\n"
         "b.zz: No (pending delete) -> Yes\n"
         "c.zz: No (pending delete) -> Yes\n",
         "-", "-", "-"},
    };
    int check = 0;
    for (const CheckStep &step : steps) {
        ++check;
        for (const char *name : {"a.zz", "b.zz", "c.zz"})
            RdapAnswers(name, step.lifecycle.empty() ? 404 : 200,
                        step.lifecycle.empty() ? R"({"errorCode": 404})"
                                               : Record(name, step.lifecycle));
        RdapAnswers("r.zz", 200, Record("r.zz", step.renewed, "2026-11-20"));
        if (step.unknown)
            rdap.Answer(kRdapHost, "/domain/u.zz", 500, "oops");
        else
            RdapAnswers("u.zz", 200, Record("u.zz", active));
        whois.AnswerQuery("w.io", step.whoisStatus.empty() ? "NOT FOUND\n"
                                                           : WhoisRecord("w.io", step.whoisStatus));

        const Outcome checked = Run({"--watch-check", "--notify", "--jobs", "4"});
        ASSERT_EQ(checked.status, 0) << checked.err;
        EXPECT_EQ(checked.out, step.lines) << "check " << check << "\n" << checked.err;
        EXPECT_EQ(checked.err.find("notice:"), std::string::npos) << checked.err;
        if (step.unknown) {
            EXPECT_NE(checked.err.find("1 name could not be checked"), std::string::npos)
                << checked.err;
        }

        auto listed = Listed();
        ASSERT_EQ(listed.size(), 6u);
        EXPECT_EQ(listed["a.zz"]["release"], step.releaseA) << "check " << check;
        EXPECT_EQ(listed["r.zz"]["release"], step.releaseR) << "check " << check;
        EXPECT_EQ(listed["w.io"]["release"], step.releaseW) << "check " << check;
        EXPECT_EQ(listed["a.zz"]["checked_at"], "2026-12-0" + std::to_string(check) + "T06:00Z");
        now += days(1);
    }

    const auto listed = Listed();
    EXPECT_EQ(listed.at("a.zz")["available"], "Yes");
    EXPECT_EQ(listed.at("u.zz")["status"], "active") << "an unknown answer keeps what was seen";
    EXPECT_EQ(listed.at("u.zz")["checked_at"], "2026-12-04T06:00Z");

    std::vector<std::string> got;
    for (const ReceivedNotice &notice : notices.Received()) {
        EXPECT_EQ(notice.appName, "Nimbrel");
        got.push_back(notice.summary + " | " + notice.body);
    }
    const std::vector<std::string> expected = {
        "w.io is pending delete | w.io is in its last days before the registry releases it; "
        "expected free on 2026-12-07 (pending delete 5 days).",
        "a.zz is pending delete | a.zz is in its last days before the registry releases it; "
        "expected free on 2026-12-08 (pending delete 5 days).",
        "b.zz is pending delete | b.zz is in its last days before the registry releases it; "
        "expected free on 2026-12-08 (pending delete 5 days).",
        "c.zz is pending delete | c.zz is in its last days before the registry releases it; "
        "expected free on 2026-12-08 (pending delete 5 days).",
        "w.io is free | w.io can be registered now; it was No (pending delete) at the check "
        "before.",
        "a.zz is free | a.zz can be registered now; it was No (pending delete) at the check "
        "before.",
        "b.zz is free | b.zz can be registered now; it was No (pending delete) at the check "
        "before.",
        "c.zz is free | c.zz can be registered now; it was No (pending delete) at the check "
        "before.",
    };
    EXPECT_EQ(got, expected);

    core::WatchList watch(WatchFile());
    const std::pair<const char *, std::vector<std::string>> histories[] = {
        {"a.zz", {"active", "redemption period, pending delete", "pending delete", ""}},
        {"r.zz", {"auto renew period", "redemption period", "active"}},
        {"u.zz", {"active"}},
        {"w.io", {"redemption period", "pending delete", ""}},
    };
    for (const auto &[name, statuses] : histories) {
        const auto history = watch.History(name);
        std::vector<std::string> seen;
        for (const auto &row : history)
            seen.push_back(row.state.status);
        EXPECT_EQ(seen, statuses) << name;
        if (!history.empty()) {
            EXPECT_EQ(history.front().state.evidence,
                      std::string(name) == "w.io" ? "whois" : "rdap");
        }
    }
}

TEST_F(WatchCli, WithoutABusTellsEachNoticeOnStandardError) {
    ScopedVariable busAddress("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + data.PathOf("no-bus"));
    ASSERT_EQ(Run({"--watch-add", "a.zz"}).status, 0);
    RdapAnswers("a.zz", 200, Record("a.zz", R"("active")"));
    ASSERT_EQ(Run({"--watch-check", "--notify"}).status, 0);
    RdapAnswers("a.zz", 404, R"({"errorCode": 404})");
    now += days(1);
    const Outcome checked = Run({"--watch-check", "--notify"});
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(checked.out, "a.zz: No (active) -> Yes\n");
    EXPECT_NE(checked.err.find("nimbrel-cli: notice: a.zz is free: a.zz can be registered now"),
              std::string::npos)
        << checked.err;
}

// A delegated watched name is still asked about at its registry, for the status and expiry a
// delegation does not tell; whatever the registry says, the delegation keeps it taken.
TEST_F(WatchCli, AsksTheRegistryAboutADelegatedName) {
    struct Case {
        const char *name;
        int rdapStatus;
        std::string body;
        const char *available;
        const char *status;
        const char *expires;
        const char *evidence;
    };
    const Case cases[] = {
        {"held.zz", 200, Record("held.zz", R"("redemption period")"), "No", "redemption period",
         "2026-11-20", "rdap"},
        // A registry that finds no record of a delegated name does not make it free.
        {"ghost.zz", 404, R"({"errorCode": 404})", "No", "-", "-", "dns"},
        {"mute.zz", 500, "oops", "No", "-", "-", "dns"},
    };
    std::vector<std::string> added = {"--watch-add"};
    for (const Case &c : cases) {
        names.Answer(c.name, NameServerReply::Delegation);
        rdap.Answer(kRdapHost, std::string("/domain/") + c.name, c.rdapStatus, c.body,
                    c.rdapStatus == 500 ? "" : kRdapJson);
        added.push_back(c.name);
    }
    ASSERT_EQ(Run(added).status, 0);
    const Outcome checked = Run({"--watch-check"});
    ASSERT_EQ(checked.status, 0) << checked.err;
    auto listed = Listed();
    core::WatchList watch(WatchFile());
    for (const Case &c : cases) {
        EXPECT_EQ(listed[c.name]["available"], c.available) << c.name;
        EXPECT_EQ(listed[c.name]["status"], c.status) << c.name;
        EXPECT_EQ(listed[c.name]["expires"], c.expires) << c.name;
        const auto history = watch.History(c.name);
        ASSERT_EQ(history.size(), 1u) << c.name;
        EXPECT_EQ(history.front().state.evidence, c.evidence) << c.name;
    }
    EXPECT_EQ(listed["held.zz"]["release"],
              "2027-01-05 (redemption period + 30 days + pending delete 5 days)");
}

struct UsageCase {
    std::vector<std::string> args;
    int status;
    const char *err;
};

TEST_F(WatchCli, RefusesWhatItCannotDoAndChangesNothing) {
    const std::string file = data.PathOf("names.txt");
    std::ofstream(file) << "one.zz\n\nbad..name\nTWO.zz\n";
    const UsageCase cases[] = {
        {{"--watch-add", "good.zz", "bad..name"}, 2, "not a name to watch: 'bad..name'"},
        {{"--watch-add", "www.example.com"}, 2, "not a name to watch"},
        {{"--notify"}, 2, "--notify goes with --watch-check"},
        {{"--watch-list", "keyword"}, 2, "take no keywords"},
        {{"--watch-add", "x.zz", "--from", file}, 2, "not both"},
        {{"--watch-add", "--from", data.PathOf("missing.txt")}, 1, "missing.txt"},
        {{"--watch-add", "--from", file}, 0, ":3: not a name to watch: 'bad..name'"},
    };
    for (const UsageCase &c : cases) {
        const Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.status, c.status) << testing::PrintToString(c.args) << outcome.err;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
    }
    const auto listed = Listed();
    ASSERT_EQ(listed.size(), 2u) << "only the file's good names were added";
    EXPECT_TRUE(listed.count("one.zz") && listed.count("two.zz"));
    const Outcome removed = Run({"--watch-remove", "TWO.zz", "three.zz"});
    EXPECT_EQ(removed.out, "1 name removed from the watch list\n");
    EXPECT_EQ(Listed().size(), 1u);
}

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

// The file passes SQLite's own check of every page and index.
std::string IntegrityOf(const std::filesystem::path &file) {
    platform::SqliteDatabase db(file, milliseconds(1000));
    return db.QueryText("PRAGMA integrity_check");
}

TEST_F(WatchCli, ACheckCutShortKeepsWhatItRecorded) {
    ASSERT_EQ(Run({"--watch-add", "x.zz", "y.zz", "z.zz"}).status, 0);
    RdapAnswers("x.zz", 200, Record("x.zz", R"("active")"));
    rdap.Route(kRdapHost, "/domain/y.zz", {Hold(), Close()});
    RdapAnswers("z.zz", 200, Record("z.zz", R"("active")"));
    ChildProcess check(kProgram, WithNetwork({"--watch-check", "--jobs", "1"}), ChildEnvironment());
    ASSERT_TRUE(rdap.WaitForHeld(1));
    check.Signal(SIGKILL);
    EXPECT_EQ(check.Wait().exitCode, -1);

    EXPECT_EQ(IntegrityOf(WatchFile()), "ok");
    core::WatchList watch(WatchFile());
    const auto names = watch.Names();
    ASSERT_EQ(names.size(), 3u);
    ASSERT_TRUE(names[0].state.has_value()) << "x.zz was checked before the kill";
    EXPECT_EQ(names[0].state->status, "active");
    EXPECT_FALSE(names[1].state.has_value());
    EXPECT_FALSE(names[2].state.has_value());
    EXPECT_EQ(watch.History("x.zz").size(), 1u);
}

// How many checks are killed; scripts/watch-durability asks for more.
int KilledChecks() {
    const char *count = std::getenv("NIMBREL_WATCH_KILLS");
    return count ? std::max(1, std::atoi(count)) : 12;
}

// "n7.zz": built by appending (GCC 12 at -O3 warns falsely about a literal joined to a
// temporary string).
std::string NumberedName(const char *prefix, int number) {
    std::string name = prefix;
    name += std::to_string(number);
    name += ".zz";
    return name;
}

TEST_F(WatchCli, AKillAtAnyMomentLeavesTheListWhole) {
    constexpr int kNames = 20;
    std::vector<std::string> add = {"--watch-add"};
    for (int i = 0; i < kNames; ++i)
        add.push_back(NumberedName("n", i));
    ASSERT_EQ(Run(add).status, 0);
    // Every run finds every name changed, so each one writes all the time it lives.
    const auto script = [&](int run) {
        for (int i = 0; i < kNames; ++i) {
            const std::string name = NumberedName("n", i);
            RdapAnswers(name, 200, Record(name, run % 2 ? R"("client hold")" : R"("active")"));
        }
    };
    script(0);
    const auto started = steady_clock::now();
    ASSERT_EQ(
        ChildProcess(kProgram, WithNetwork({"--watch-check"}), ChildEnvironment()).Wait().exitCode,
        0);
    const auto whole = duration_cast<microseconds>(steady_clock::now() - started);

    std::mt19937 random(27);
    int cutPartWay = 0;
    std::uniform_int_distribution<long> moment(0, whole.count());
    for (int run = 1; run <= KilledChecks(); ++run) {
        script(run);
        ChildProcess check(kProgram, WithNetwork({"--watch-check"}), ChildEnvironment());
        // The kill's moment is what varies: anywhere from the start to a whole check's time.
        std::this_thread::sleep_for(microseconds(moment(random)));
        check.Signal(SIGKILL);
        check.Wait();
        ASSERT_EQ(IntegrityOf(WatchFile()), "ok") << "run " << run;
        core::WatchList watch(WatchFile());
        const auto names = watch.Names();
        ASSERT_EQ(names.size(), static_cast<std::size_t>(kNames)) << "run " << run;
        const std::string newest = run % 2 ? "client hold" : "active";
        const auto recorded = std::count_if(names.begin(), names.end(), [&](const auto &name) {
            return name.state && name.state->status == newest;
        });
        cutPartWay += recorded > 0 && recorded < kNames ? 1 : 0;
        for (const core::WatchedName &name : names) {
            const auto history = watch.History(name.name);
            ASSERT_FALSE(history.empty()) << name.name;
            // Only changes are rows: no two rows in a row say the same.
            for (std::size_t k = 1; k < history.size(); ++k)
                EXPECT_FALSE(history[k].state.SameRegistration(history[k - 1].state))
                    << name.name << " run " << run;
            EXPECT_TRUE(history.back().state.SameRegistration(*name.state)) << name.name;
        }
    }
    std::cerr << "checks killed: " << KilledChecks() << ", of them cut part-way through the "
              << "names: " << cutPartWay << " (a whole check took " << whole.count() / 1000
              << " ms)\n";
}

TEST_F(WatchCli, TwoChecksAtOnceRecordEachChangeOnce) {
    constexpr int kNames = 12;
    std::vector<std::string> add = {"--watch-add"};
    for (int i = 0; i < kNames; ++i) {
        const std::string name = NumberedName("m", i);
        add.push_back(name);
        RdapAnswers(name, 200, Record(name, R"("redemption period")"));
    }
    ASSERT_EQ(Run(add).status, 0);
    ChildProcess first(kProgram, WithNetwork({"--watch-check", "--jobs", "2"}), ChildEnvironment());
    ChildProcess second(kProgram, WithNetwork({"--watch-check", "--jobs", "2"}),
                        ChildEnvironment());
    const ChildResult one = first.Wait();
    const ChildResult two = second.Wait();
    ASSERT_EQ(one.exitCode, 0) << one.err;
    ASSERT_EQ(two.exitCode, 0) << two.err;
    // Each name's first check is a change that exactly one of the two recorded and printed.
    std::multiset<std::string> lines;
    for (const std::string *out : {&one.out, &two.out}) {
        std::istringstream text(*out);
        for (std::string line; std::getline(text, line);)
            lines.insert(line);
    }
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kNames)) << one.out << two.out;
    for (int i = 0; i < kNames; ++i)
        EXPECT_EQ(
            lines.count("m" + std::to_string(i) + ".zz: not checked -> No (redemption period)"),
            1u);
    EXPECT_EQ(IntegrityOf(WatchFile()), "ok");
    core::WatchList watch(WatchFile());
    for (const core::WatchedName &name : watch.Names())
        EXPECT_EQ(watch.History(name.name).size(), 1u) << name.name;
}

} // namespace
