#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace testsupport;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

// The record of a registered name.
std::string RecordOf(const std::string &ldhName) {
    return R"({"objectClassName": "domain", "ldhName": ")" + ldhName + R"(",
  "events": [{"eventAction": "expiration", "eventDate": "2027-03-15T04:00:00Z"}],
  "entities": [{"objectClassName": "entity", "roles": ["registrar"],
                "vcardArray": ["vcard", [["fn", {}, "text", "Example Registrar, Inc."]]]}]})";
}

const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";

std::string Bootstrap(const std::string &suffix, const std::string &server) {
    return R"({"version": "1.0", "services": [[[")" + suffix + R"("], [")" + server + R"("]]]})";
}

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Route(const std::string &host, int port) {
    return host + ":443:127.0.0.1:" + std::to_string(port);
}

// nimbrel-cli's registry check against local servers only: a name server, the RDAP servers
// behind one TLS server whose certificate a test authority signed, and one RDAP server whose
// certificate names another host.
class RegistryCheckCli : public ::testing::Test {
protected:
    RegistryCheckCli() {
        web.Answer("search.test", "*", 200, "<p>Results 1 - 10 of about <b>1,234</b></p>");
        web.Answer("rank.test", "*", 200, "Traffic rank for it: <b>7</b><br>");
        names.Answer("delegated.com", NameServerReply::Delegation);
        names.Answer("delegated.qq", NameServerReply::Delegation);
    }

    const std::vector<std::string> rdapHosts{"rdap.verisign.com", "rdap.publicinterestregistry.org",
                                             "rdap.zz.test"};
    TrustedAuthority trust;
    TempFolder data;
    TempConfigHome home;
    ScriptedServer web;
    ScriptedNameServer names;
    ScriptedServer rdap;
    TestCertificate leaf = trust.Leaf(rdapHosts);
    TlsServer rdapTls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    TestCertificate otherLeaf = trust.Leaf({"other.test"});
    TlsServer otherTls{rdap.Port(), otherLeaf.certificatePem, otherLeaf.keyPem};
};

TEST_F(RegistryCheckCli, AnswersFromDelegationAndRdapAndNeverCountsAnErrorAsFree) {
    // The first RDAP request is limited.org's: "too many requests" once, then its record.
    rdap.Enqueue(Respond(HttpReply(429, "slow down", "Retry-After: 0\r\n")));
    rdap.Answer("rdap.publicinterestregistry.org", "/rdap/domain/limited.org", 200,
                RecordOf("limited.org"));
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/held.com", 200, RecordOf("HELD.COM"));
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/free.com", 404, R"({"errorCode": 404})",
                kRdapJson);
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/broken.com", 500, "oops");
    rdap.Answer("rdap.zz.test", "/domain/free.zz", 404, "");
    // Answers that once freed a registered name: a 404 page, a 404 holding the name's own
    // record, a redirect to another name's lookup, and another name's record.
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/page.com", 404, "<html>gone</html>",
                "Content-Type: text/html\r\n");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/own.com", 404, RecordOf("own.com"), kRdapJson);
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/moved.com", 302, "",
                "Location: /com/v1/domain/free.com\r\n");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/mixup.com", 200, RecordOf("held.com"));

    const std::string names_file = data.PathOf("names.txt");
    WriteFile(names_file, "limited.org\ndelegated.com\nheld.com\nfree.com\nbroken.com\nfree.zz\n"
                          "held.qm\nnordap.qq\ndelegated.qq\npage.com\nown.com\nmoved.com\n"
                          "mixup.com\n");
    WriteFile(data.PathOf("zz.json"), Bootstrap("zz", "https://rdap.zz.test/"));
    // The user's own bootstrap file, read from the data folder.
    std::filesystem::create_directories(data.Path() / "Nimbrel");
    WriteFile(data.PathOf("Nimbrel/rdap-bootstrap.json"),
              Bootstrap("qm", "https://rdap.mismatch.test/"));

    std::vector<std::string> args = {"--check",
                                     "registry",
                                     "--from",
                                     names_file,
                                     "--format",
                                     "json",
                                     "--show",
                                     "all",
                                     "--jobs",
                                     "1",
                                     "--dns-server",
                                     names.Address(),
                                     "--ca-file",
                                     trust.File(),
                                     "--rdap-bootstrap",
                                     data.PathOf("zz.json"),
                                     "--search-engine",
                                     "http://search.test",
                                     "--ranking-service",
                                     "http://rank.test",
                                     "--read-timeout",
                                     "5",
                                     "--connect-to",
                                     Route("rdap.mismatch.test", otherTls.Port())};
    for (const std::string &host : rdapHosts) {
        args.push_back("--connect-to");
        args.push_back(Route(host, rdapTls.Port()));
    }
    args.push_back("--connect-to");
    args.push_back("::127.0.0.1:" + std::to_string(web.Port()));
    const ChildResult result = RunChild(
        kProgram, args,
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    struct Expected {
        const char *domain, *available, *evidence, *expires, *registrar, *links;
        bool checked;
    };
    const char *registrar = "Example Registrar, Inc.";
    const Expected expected[] = {
        {"limited.org", "No", "rdap", "2027-03-15", registrar, "-", false},
        {"delegated.com", "No", "dns", "-", "-", "-", false},
        {"held.com", "No", "rdap", "2027-03-15", registrar, "-", false},
        {"free.com", "Yes", "rdap", "-", "-", "1234", true},
        {"broken.com", "Unknown", "rdap: HTTP 500", "-", "-", "-", false},
        {"free.zz", "Yes", "rdap", "-", "-", "1234", true},
        {"held.qm", "Unknown", "rdap: certificate not accepted", "-", "-", "-", false},
        {"nordap.qq", "Unknown", "whois: no server for .qq", "-", "-", "-", false},
        {"delegated.qq", "No", "dns", "-", "-", "-", false},
        {"page.com", "Unknown", "rdap: reply not understood", "-", "-", "-", false},
        {"own.com", "Unknown", "rdap: reply not understood", "-", "-", "-", false},
        {"moved.com", "Unknown", "rdap: redirect not followed", "-", "-", "-", false},
        {"mixup.com", "Unknown", "rdap: reply not understood", "-", "-", "-", false},
    };
    const auto rows = nlohmann::json::parse(result.out);
    ASSERT_EQ(rows.size(), std::size(expected)) << result.out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Expected &row = expected[i];
        SCOPED_TRACE(row.domain);
        EXPECT_EQ(rows[i]["domain"], row.domain);
        EXPECT_EQ(rows[i]["available"], row.available);
        EXPECT_EQ(rows[i]["evidence"], row.evidence);
        EXPECT_EQ(rows[i]["expires"], row.expires);
        EXPECT_EQ(rows[i]["registrar"], row.registrar);
        EXPECT_EQ(rows[i]["links"], row.links);
        EXPECT_EQ(rows[i]["checked"], row.checked);
    }

    // A delegated name asks no RDAP server; the certificate for another host ends the handshake.
    for (const std::string &request : rdap.Requests())
        EXPECT_EQ(request.find("delegated"), std::string::npos) << request;
    // The server may still be noting the failure when the program has ended.
    ASSERT_TRUE(otherTls.WaitForEnded(1, std::chrono::seconds(5)));
    EXPECT_EQ(otherTls.FailedHandshakes().size(), 1u);
    EXPECT_EQ(rdapTls.ServerNames().front(), "rdap.publicinterestregistry.org");
}

// A run of the registry check whose servers hold it up, ended by Ctrl-C (or not at all). held.org
// comes first and is answered at once by an RDAP host of its own; the .com names are held up.
struct StuckRun {
    const char *name;
    // What holds the .com names up: their RDAP server says nothing, or says "come back in a
    // minute"; or the name server's TCP port after a truncated reply says nothing.
    enum class Hold { RdapSilent, RdapRetryAfter, DnsOverTcp } hold;
    const char *jobs;
    const char *requestTimeout;
    int interrupts;
    // The rows printed, as "domain available"; "slow Unknown" stands for any slow name.
    std::vector<std::string> rows;
    int exitCode;
};

void PrintTo(const StuckRun &c, std::ostream *os) {
    *os << c.name;
}

const StuckRun kStuckRuns[] = {
    // The four names at the host end with the request time-out; the eleven waiting for their
    // turn with it are never asked.
    {"FirstInterruptEndsTheWaitsForAHost",
     StuckRun::Hold::RdapSilent,
     "16",
     "2",
     1,
     {"held.org No", "slow Unknown", "slow Unknown", "slow Unknown", "slow Unknown"},
     130},
    // The name asked was told to come back in a minute: neither it nor any other name of its
    // host is asked again.
    {"FirstInterruptEndsTheRetryWaits",
     StuckRun::Hold::RdapRetryAfter,
     "16",
     "60",
     1,
     {"held.org No"},
     130},
    {"SecondInterruptEndsTheExchanges",
     StuckRun::Hold::RdapSilent,
     "16",
     "60",
     2,
     {"held.org No"},
     130},
    {"SecondInterruptEndsTheExchangeOneAtATime",
     StuckRun::Hold::RdapSilent,
     "1",
     "60",
     2,
     {"held.org No"},
     130},
    {"UnansweredTcpRetryEndsWithTheRequestTimeOut",
     StuckRun::Hold::DnsOverTcp,
     "16",
     "1",
     0,
     {"held.org No", "held.com No"},
     0},
    {"SecondInterruptEndsTheUnansweredTcpRetry",
     StuckRun::Hold::DnsOverTcp,
     "16",
     "60",
     2,
     {"held.org No"},
     130},
    {"SecondInterruptEndsTheUnansweredTcpRetryOneAtATime",
     StuckRun::Hold::DnsOverTcp,
     "1",
     "60",
     2,
     {"held.org No"},
     130},
};

// "domain available" of each row of tab-separated output.
std::vector<std::string> Rows(const std::string &tsv) {
    std::vector<std::string> rows;
    std::istringstream out(tsv);
    std::string line;
    std::getline(out, line); // the captions
    while (std::getline(out, line)) {
        std::istringstream fields(line);
        std::string domain, suffix, available;
        std::getline(fields, domain, '\t');
        std::getline(fields, suffix, '\t');
        std::getline(fields, available, '\t');
        rows.push_back((domain.starts_with("slow") ? "slow" : domain) + " " + available);
    }
    return rows;
}

class StuckRunTest : public RegistryCheckCli, public ::testing::WithParamInterface<StuckRun> {};

TEST_P(StuckRunTest, EndsInTimeWithTheRowsThatFinished) {
    const StuckRun &c = GetParam();
    using Clock = std::chrono::steady_clock;
    const bool rdapHolds = c.hold != StuckRun::Hold::DnsOverTcp;
    std::string list = "held.org\n";
    rdap.Answer("rdap.publicinterestregistry.org", "/rdap/domain/held.org", 200,
                RecordOf("HELD.ORG"));
    if (rdapHolds) {
        for (int i = 0; i < 15; ++i) {
            const std::string name = "slow" + std::to_string(10 + i) + ".com";
            list += name + "\n";
            rdap.Route("rdap.verisign.com", "/com/v1/domain/" + name,
                       c.hold == StuckRun::Hold::RdapSilent
                           ? Script{Hold()}
                           : Script{Send(HttpReply(429, "", "Retry-After: 60\r\n")), Close()});
        }
    } else {
        list += "held.com\n";
        rdap.Answer("rdap.verisign.com", "/com/v1/domain/held.com", 200, RecordOf("HELD.COM"));
        names.Answer("held.com", NameServerReply::Truncated);
        names.SilenceOverTcp();
    }
    WriteFile(data.PathOf("names.txt"), list);
    std::vector<std::string> args = {"--check",
                                     "registry",
                                     "--from",
                                     data.PathOf("names.txt"),
                                     "--format",
                                     "tsv",
                                     "--show",
                                     "all",
                                     "--jobs",
                                     c.jobs,
                                     "--dns-server",
                                     names.Address(),
                                     "--ca-file",
                                     trust.File(),
                                     "--request-timeout",
                                     c.requestTimeout};
    for (const std::string &host : rdapHosts) {
        args.push_back("--connect-to");
        args.push_back(Route(host, rdapTls.Port()));
    }
    const auto start = Clock::now();
    ChildProcess child(kProgram, args, {"XDG_CONFIG_HOME=" + home.Folder().string()});

    // Interrupt once held.org is answered and the run is held up: every slot with the .com host
    // taken (one at a time: the one name), or the DNS query waiting over TCP.
    auto lastInterrupt = start;
    const std::size_t heldUp = std::string(c.jobs) == "1" ? 1 : 4;
    if (c.interrupts > 0) {
        if (c.hold == StuckRun::Hold::RdapSilent)
            ASSERT_TRUE(rdap.WaitForFinished(1) && rdap.WaitForHeld(heldUp));
        else if (c.hold == StuckRun::Hold::RdapRetryAfter)
            // The first "come back in a minute" holds the whole host: the other names wait.
            ASSERT_TRUE(rdap.WaitForFinished(2));
        else
            ASSERT_TRUE(rdap.WaitForFinished(1) &&
                        names.WaitForTcpQueries(1, std::chrono::seconds(5)));
        for (int i = 0; i < c.interrupts; ++i) {
            // Signals sent at once would merge into one: the next waits for the first's effect.
            if (i > 0) {
                ASSERT_TRUE(child.WaitForError("Ctrl-C again"));
            }
            child.Signal(SIGINT);
            lastInterrupt = Clock::now();
        }
    }
    const ChildResult result = child.Wait(std::chrono::seconds(15));
    const auto took = Clock::now() - lastInterrupt;
    ASSERT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(Rows(result.out), c.rows) << result.out;
    if (c.interrupts == 2) {
        EXPECT_LT(took, std::chrono::seconds(1));
    } else {
        EXPECT_LT(took, std::chrono::seconds(std::stoi(c.requestTimeout) + 2));
    }
    // Names that waited for their turn were never asked.
    if (c.hold == StuckRun::Hold::RdapSilent) {
        EXPECT_EQ(rdap.Requests().size(), 1 + heldUp);
    }
}

INSTANTIATE_TEST_SUITE_P(Interrupts, StuckRunTest, ::testing::ValuesIn(kStuckRuns),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(RegistryCheckCli, RefusesABadSuffixAndAnUnreadableTrustStore) {
    // A registered name is never a suffix: the names built on it lie below a registration.
    const std::pair<const char *, const char *> suffixes[] = {
        {"io, -bad", "'-bad' is no domain suffix"},
        {"io, example-taken.com", "'example-taken.com' is a registrable name, not a domain suffix"},
    };
    for (const auto &[list, message] : suffixes) {
        const ChildResult suffix =
            RunChild(kProgram, {"--check", "registry", "--suffix", list, "car"},
                     {"XDG_CONFIG_HOME=" + home.Folder().string()});
        EXPECT_EQ(suffix.exitCode, 2) << suffix.err;
        EXPECT_NE(suffix.err.find(message), std::string::npos) << suffix.err;
    }

    const ChildResult trust =
        RunChild(kProgram, {"--check", "registry", "--ca-file", data.PathOf("none.pem"), "car"},
                 {"XDG_CONFIG_HOME=" + home.Folder().string()});
    EXPECT_EQ(trust.exitCode, 1);
    EXPECT_NE(trust.err.find("none.pem"), std::string::npos) << trust.err;
}

// Below a delegation there is no delegation, and the registry has no record of a host: a host
// of a registered name once came out free. Such a line is refused with its number.
TEST_F(RegistryCheckCli, RefusesALineThatNamesAHostBelowARegistrableName) {
    names.Answer("example-taken.com", NameServerReply::Delegation);
    names.Answer("www.example-taken.com", NameServerReply::NoData);
    names.Answer("shop.example-taken.com", NameServerReply::NameError);
    const std::string list = data.PathOf("names.txt");
    WriteFile(list, "www.example-taken.com\nexample-taken.com\nshop.example-taken.com\n");
    const ChildResult result = RunChild(
        kProgram,
        {"--check", "registry", "--from", list, "--format", "tsv", "--show", "all", "--dns-server",
         names.Address(), "--ca-file", trust.File(), "--connect-to",
         Route("rdap.verisign.com", rdapTls.Port()), "--connect-to",
         "::127.0.0.1:" + std::to_string(web.Port())},
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar"
                          "\tstatus\tdisplay\thosts\tchecked\nexample-taken.com\tcom\tNo\t-\t-\tdns\t-"
                          "\t-\t-\texample-taken.com\t-\t0\n");
    for (const char *line : {":1: www.example-taken.com", ":3: shop.example-taken.com"})
        EXPECT_NE(result.err.find(list + line +
                                  " is a host below the registrable name example-taken.com"),
                  std::string::npos)
            << result.err;
    EXPECT_TRUE(rdap.Requests().empty());
}

// The user's own bootstrap file is read at the start of every run: a pipe there once held each
// run until something wrote to it.
TEST_F(RegistryCheckCli, RefusesAUserBootstrapFileThatIsNoRegularFile) {
    std::filesystem::create_directories(data.Path() / "Nimbrel");
    const std::string pipe = data.PathOf("Nimbrel/rdap-bootstrap.json");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const ChildResult result = RunChild(
        kProgram, {"--check", "registry", "--dns-server", names.Address(), "car"},
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find(pipe + ": it is a pipe, and only a regular file is read here"),
              std::string::npos)
        << result.err;
}

} // namespace

// The same names checked three times: the second run takes the decided answers from the cache
// and asks only for the one that stayed Unknown; --no-cache asks for everything again.
TEST_F(RegistryCheckCli, ASecondRunAnswersFromTheCacheAndNoCacheAsksAgain) {
    names.Answer("delegated.com", NameServerReply::Delegation);
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/held.com", 200, RecordOf("held.com"));
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/free.com", 404, "");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/broken.com", 500, "oops");
    const std::string namesFile = data.PathOf("names.txt");
    WriteFile(namesFile, "delegated.com\nheld.com\nfree.com\nbroken.com\n");
    TempFolder cacheHome;
    const auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {"--check", "registry", "--from", namesFile, "--format",
                                         "json", "--show", "all", "--jobs", "2", "--dns-server",
                                         names.Address(), "--ca-file", trust.File(),
                                         "--links-from", "web", "--search-engine",
                                         "http://search.test", "--ranking-service",
                                         "http://rank.test", "--connect-to",
                                         Route("rdap.verisign.com", rdapTls.Port()),
                                         "--connect-to", "::127.0.0.1:" + std::to_string(web.Port())};
        args.insert(args.end(), more.begin(), more.end());
        const ChildResult result =
            RunChild(kProgram, args,
                     {"XDG_CONFIG_HOME=" + home.Folder().string(),
                      "XDG_DATA_HOME=" + data.Path().string(),
                      "XDG_CACHE_HOME=" + cacheHome.Path().string()});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::vector<std::string> cells;
        for (const auto &row : nlohmann::json::parse(result.out))
            cells.push_back(row["domain"].get<std::string>() + " " +
                            row["available"].get<std::string>() + " " +
                            row["evidence"].get<std::string>() + " " +
                            row["registrar"].get<std::string>());
        return cells;
    };
    const auto asked = [&] { return names.Queries().size() + rdap.Requests().size(); };

    const std::vector<std::string> fresh = {
        "delegated.com No dns -", "held.com No rdap Example Registrar, Inc.",
        "free.com Yes rdap -", "broken.com Unknown rdap: HTTP 500 -"};
    EXPECT_EQ(run({}), fresh);
    const std::size_t firstRun = asked();
    EXPECT_TRUE(std::filesystem::exists(cacheHome.Path() / "Nimbrel/answers.sqlite"));

    EXPECT_EQ(run({}), (std::vector<std::string>{
                           "delegated.com No cache (dns) -",
                           "held.com No cache (rdap) Example Registrar, Inc.",
                           "free.com Yes cache (rdap) -", "broken.com Unknown rdap: HTTP 500 -"}));
    // Only the Unknown name was asked again: its delegation and its RDAP lookup.
    EXPECT_EQ(asked() - firstRun, 2u);
    const std::vector<std::string> requests = rdap.Requests();
    EXPECT_NE(requests.back().find("broken.com"), std::string::npos) << requests.back();

    const std::size_t secondRun = asked();
    EXPECT_EQ(run({"--no-cache"}), fresh);
    EXPECT_EQ(asked() - secondRun, firstRun);

    // A free answer kept no time is asked again; taken ones still come from the cache.
    const std::size_t thirdRun = asked();
    const auto again = run({"--cache-ttl", "free=0"});
    EXPECT_EQ(again.at(1), "held.com No cache (rdap) Example Registrar, Inc.");
    EXPECT_EQ(again.at(2), "free.com Yes rdap -");
    EXPECT_EQ(asked() - thirdRun, 4u);
}
