#include "base/TextEncoding.h"
#include "cli/CliOptions.h"
#include "cli/RowPrinter.h"
#include "probes/RankIndexProbe.h"
#include "rankindex/RankIndex.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestIndexes.h"

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

using testsupport::ChildResult;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

const char *kLinksPage = "<p>Results 1 - 10 of about <b>1,234</b> for link</p>";
const char *kRankPage = "Traffic rank for it: <b>7</b><br>";

// Stands in for every web server the program asks: www.NAME, the search engine, the ranking
// service. Names without an answer get 404, so they count as free.
class CliTest : public ::testing::Test {
protected:
    CliTest() {
        server.Answer("search.test", "*", 200, kLinksPage);
        server.Answer("rank.test", "*", 200, kRankPage);
    }

    std::vector<std::string> NetworkArgs(const std::string &readTimeout = "5") const {
        return {"--connect-to", "::127.0.0.1:" + std::to_string(server.Port()), "--search-engine",
                "http://search.test", "--ranking-service", "http://rank.test", "--connect-timeout",
                "5", "--read-timeout", readTimeout,
                // The web check, whose web servers these tests script.
                "--check", "web",
                // The one-after-the-other run, whose order of requests the tests follow.
                "--jobs", "1"};
    }
    ChildResult Run(std::vector<std::string> args, bool network = true) {
        if (network) {
            const auto extra = NetworkArgs();
            args.insert(args.end(), extra.begin(), extra.end());
        }
        return testsupport::RunChild(kProgram, args, Environment());
    }
    // The per-user store and index folder in the test's own folder, so that no index of the
    // developer's reaches the runs.
    std::vector<std::string> Environment() const {
        return {"XDG_CONFIG_HOME=" + home.Folder().string(),
                "XDG_DATA_HOME=" + home.Folder().string()};
    }
    std::string Path(const std::string &name) const { return (home.Folder() / name).string(); }

    TempConfigHome home;
    testsupport::ScriptedServer server;
};

} // namespace

TEST_F(CliTest, SearchListsFreeNamesWithDetailsAndTakenNamesWithPlaceholders) {
    server.Answer("www.car.com", "/", 200, "a site");
    server.Answer("www.fast.com", "/", 404, "nothing here");
    const ChildResult result =
        Run({"--mode", "exact", "--show", "all", "--format", "tsv", "Fast", "car", "FAST"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tst"
                          "atus\tdisplay\thosts\toffer\tchecked\n"
                          "fast.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tfast.com\t-\t-\t1\n"
                          "car.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\tcar.com\t-\t-\t0\n");
    EXPECT_NE(result.err.find("Checking... fast.com (1/2)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Checking... car.com (2/2)"), std::string::npos) << result.err;

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(
        requests[1].starts_with("GET /search?p=link%3Ahttp%3A%2F%2Fwww.fast.com HTTP/1.1\r\n"))
        << requests[1];
    EXPECT_TRUE(requests[2].starts_with("GET /data/details/?url=www.fast.com HTTP/1.1\r\n"))
        << requests[2];
}

TEST_F(CliTest, PrintsJsonAndTables) {
    server.Answer("www.car.com", "/", 302, "");
    const ChildResult json = Run({"--mode", "exact", "--format", "json", "car", "bike"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["domain"], "car.com");
    EXPECT_EQ(rows[0]["available"], "No");
    EXPECT_EQ(rows[0]["checked"], false);
    EXPECT_EQ(rows[1]["links"], "1234");

    const ChildResult table = Run({"--mode", "exact", "--format", "table", "bike"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(
        table.out,
        "Domain name  Top Level  Available  Link Popularity  Alexa Ranking  Evidence  Expires  "
        "Registrar  Status  Hosts  Offer  Checked\n"
        "bike.com     com        Yes        1234             7              web       -        "
        "-          -       -      -      [x]\n");
}

TEST_F(CliTest, SavedResultsLoadBackAsTheSameRows) {
    server.Answer("www.car.com", "/", 200, "taken");
    const std::string file = Path("run.nbr"), names = Path("names.txt");
    const ChildResult search = Run({"--mode", "all", "--show", "all", "--format", "tsv", "--save",
                                    file, "--names", names, "car", "go"});
    ASSERT_EQ(search.exitCode, 0) << search.err;
    const ChildResult loaded = Run({"--load", file, "--format", "tsv"}, false);
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.out, search.out);

    std::ifstream list(names);
    std::string first;
    std::getline(list, first);
    EXPECT_EQ(first, "car.com");

    const ChildResult sorted = Run({"--load", file, "--format", "tsv", "--sort", "2"}, false);
    EXPECT_NE(sorted.out.find("\tNo\t-\t-\tweb\t-\t-\t-\tcar.com\t-\t-\t0\n"), std::string::npos);
    EXPECT_EQ(sorted.out.substr(sorted.out.rfind('\n', sorted.out.size() - 2) + 1),
              "car.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\tcar.com\t-\t-\t0\n");
}

TEST_F(CliTest, CandidatesAreListedWithoutAnyRequest) {
    const ChildResult result = Run({"--candidates", "--mode", "all", "--hyphens", "--acronyms",
                                    "--com", "--net", "--no-org", "fast", "car"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "fast.com\nfast.net\nf.com\nf.net\ncar.com\ncar.net\nc.com\nc.net\nfastcar.com\n"
              "fastcar.net\nfc.com\nfc.net\ncarfast.com\ncarfast.net\ncf.com\ncf.net\n"
              "fast-car.com\nfast-car.net\nf-c.com\nf-c.net\ncar-fast.com\ncar-fast.net\n"
              "c-f.com\nc-f.net\n");
    EXPECT_EQ(server.Accepted(), 0u);
}

namespace {

// Names per suffix: of a dry run's lines ("12 .com", then "24 names in all"), or of the suffix
// column of a run's TSV rows. The whole count goes under "".
std::map<std::string, std::size_t> DryRunCounts(const std::string &out) {
    std::map<std::string, std::size_t> counts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string what = line.substr(space + 1);
        counts[what == "names in all" || what == "name in all" ? "" : what.substr(1)] =
            std::stoul(line.substr(0, space));
    }
    return counts;
}

std::map<std::string, std::size_t> RowCounts(const std::string &tsv) {
    std::map<std::string, std::size_t> counts;
    std::istringstream lines(tsv);
    std::string line;
    std::getline(lines, line); // the column keys
    for (; std::getline(lines, line); ++counts[""]) {
        const std::size_t tab = line.find('\t');
        ++counts[line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1)];
    }
    return counts;
}

} // namespace

// The count is of the list the run checks; this holds it to that, row by row, for a table of
// option sets. A suffix without names is printed with 0 and has no rows.
TEST_F(CliTest, DryRunCountsTheNamesARunChecksPerSuffixWithoutAnyRequest) {
    const std::vector<std::vector<std::string>> optionSets = {
        {"--mode", "all", "--hyphens", "--acronyms", "--net", "sun", "shop"},
        {"--mode", "all", "--before", "get", "--after", "hq", "--suffix", "io", "--suffix-hacks",
         "fast", "radio"},
        {"--mode", "exact", "--common-affixes", "--max-length", "6", "--suffix", "ly",
         "--suffix-hacks", "family", "go"},
        {"--mode", "all", "--hyphens", "--acronyms", "--max-length", "3", "fast", "car"},
        {"--mode", "all", "--max-length", "2", "--org", "fast", "car"},
    };
    for (const auto &options : optionSets) {
        SCOPED_TRACE(options.back());
        std::vector<std::string> dryRun = options;
        dryRun.insert(dryRun.begin(), "--dry-run");
        const std::size_t accepted = server.Accepted();
        const ChildResult counted = Run(dryRun);
        ASSERT_EQ(counted.exitCode, 0) << counted.err;
        EXPECT_EQ(server.Accepted(), accepted);
        std::vector<std::string> search = options;
        search.insert(search.begin(), {"--show", "all", "--format", "tsv"});
        const ChildResult checked = Run(search);
        ASSERT_EQ(checked.exitCode, 0) << checked.err;
        std::map<std::string, std::size_t> expected = DryRunCounts(counted.out);
        std::erase_if(expected, [](const auto &entry) { return entry.second == 0; });
        EXPECT_EQ(RowCounts(checked.out), expected) << counted.out;
        // The repeats of s.com and ss.com are counted too.
        if (&options == &optionSets.front()) {
            EXPECT_EQ(counted.out, "12 .com\n12 .net\n24 names in all\n");
        }
    }
}

TEST_F(CliTest, UsageAndFileErrorsHaveTheirExitStatusAndOneLine) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"a", "b", "c", "d"}, 2, "You have already typed in 3 keywords!"},
        {{}, 2, "Mistake: You did not enter any keyword!"},
        {{"--show", "some", "a"}, 2, "--show"},
        {{"--sort", std::to_string(results::Columns::Standard().Count()), "--load", "x.nbr"},
         2,
         "--sort"},
        {{"--connect-to", "a:80:b", "x"}, 2, "--connect-to"},
        {{"--connect-to", "a:http:b:80", "x"}, 2, "--connect-to"},
        {{"--read-timeout", "0", "x"}, 2, "--read-timeout"},
        {{"--jobs", "0", "x"}, 2, "--jobs"},
        {{"--jobs", "65", "x"}, 2, "--jobs"},
        {{"--dns-inflight", "0", "x"}, 2, "--dns-inflight"},
        {{"--dns-inflight", "4097", "x"}, 2, "--dns-inflight"},
        {{"--rdap-rate", "0", "x"}, 2, "--rdap-rate"},
        {{"--rdap-rate", "1001", "x"}, 2, "--rdap-rate"},
        {{"--rdap-rate", "nan", "x"}, 2, "--rdap-rate"},
        {{"--limit", "0", "x"}, 2, "--limit"},
        {{"--request-timeout", "-1", "x"}, 2, "--request-timeout"},
        {{"--from", "names.txt", "x"}, 2, "--from"},
        {{"--load", "run.nbr", "extra"}, 2, "--load"},
        {{"--load", "/nonexistent/run.nbr"}, 1, "/nonexistent/run.nbr"},
        {{"--candidates", "--save", "/nonexistent/out.nbr", "x"}, 0, ""},
        {{"--before", "get, a b", "x"}, 2, "--before: 'a b' cannot be part of a domain name"},
        {{"--after", "-x", "x"}, 2, "--after: '-x'"},
        {{"--max-length", "64", "x"}, 2, "--max-length"},
        {{"--dry-run", "--from", "names.txt"}, 2, "--dry-run"},
    };
    for (const Case &c : cases) {
        const ChildResult result = Run(c.args, false);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.size() << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        if (c.exitCode != 0) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
    }

    const ChildResult unwritable =
        Run({"--mode", "exact", "--format", "tsv", "--save", "/nonexistent/out.nbr", "x"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("/nonexistent/out.nbr"), std::string::npos) << unwritable.err;
}

TEST_F(CliTest, InterruptCompletesTheNameInProgressAndExits130) {
    server.Route("www.slow.com", "/", {testsupport::Silent()});
    auto args = NetworkArgs("1");
    const std::vector<std::string> search = {"--mode", "exact",         "--format", "tsv",
                                             "--save", Path("cut.nbr"), "slow",     "later"};
    args.insert(args.begin(), search.begin(), search.end());
    testsupport::ChildProcess child(kProgram, args, Environment());
    // Interrupt once the first name's request has reached its (silent) server.
    for (int i = 0; i < 2000 && server.Requests().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    child.Signal(SIGINT);
    const ChildResult result = child.Wait();
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tst"
                          "atus\tdisplay\thosts\toffer\tchecked\n"
                          "slow.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tslow.com\t-\t-\t1\n");
    EXPECT_TRUE(std::filesystem::exists(Path("cut.nbr")));
}

TEST_F(CliTest, ImportedIndexesAnswerLinksAndRankWithTheirEvidence) {
    testsupport::ImportTestIndex(rankindex::RankKind::WebGraph, home.Folder(),
                                 testsupport::WebGraphLine(12, "com.lapsed") +
                                     testsupport::WebGraphLine(3, "com.busy"));
    testsupport::ImportTestIndex(rankindex::RankKind::RankList, home.Folder(),
                                 "1,google.com\n42,busy.com\n7,lapsed.com\n");
    const auto evidence = [&](rankindex::RankKind kind) {
        return probes::IndexEvidence(
            rankindex::RankIndex(rankindex::IndexPath(home.Folder() / "Nimbrel", kind)).Info());
    };
    const std::string both =
        evidence(rankindex::RankKind::WebGraph) + "; " + evidence(rankindex::RankKind::RankList);
    server.Answer("www.busy.com", "/", 200, "a site");
    std::ofstream(Path("names.txt")) << "lapsed.com\nbusy.com\nnowhere.com\n";

    const ChildResult indexed =
        Run({"--from", Path("names.txt"), "--show", "all", "--format", "tsv"});
    ASSERT_EQ(indexed.exitCode, 0) << indexed.err;
    EXPECT_EQ(indexed.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\ts"
                           "tatus\tdisplay\thosts\toffer\tchecked\n"
                           "lapsed.com\tcom\tYes\t12\t7\tweb; " +
                               both +
                               "\t-\t-\t-\tlapsed.com\t1\t-\t1\n"
                               "busy.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\tbusy.com\t-\t-\t0\n"
                               "nowhere.com\tcom\tYes\t\t\tweb; " +
                               both + "\t-\t-\t-\tnowhere.com\t\t-\t1\n");
    // Only the availability asked the network.
    EXPECT_EQ(server.Requests().size(), 3u);

    const ChildResult table = Run({"--from", Path("names.txt"), "--format", "table"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_TRUE(table.out.starts_with("Domain name  Top Level  Available  Links (rank)  "
                                      "Traffic rank  Evidence"))
        << table.out;

    const ChildResult web = Run({"--from", Path("names.txt"), "--format", "tsv", "--links-from",
                                 "web", "--rank-from", "list"});
    ASSERT_EQ(web.exitCode, 0) << web.err;
    EXPECT_EQ(web.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tstatu"
                       "s\tdisplay\thosts\toffer\tchecked\n"
                       "lapsed.com\tcom\tYes\t1234\t7\tweb; " +
                           evidence(rankindex::RankKind::RankList) +
                           "\t-\t-\t-\tlapsed.com\t-\t-\t1\n"
                           "busy.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\tbusy.com\t-\t-\t0\n"
                           "nowhere.com\tcom\tYes\t1234\t\tweb; " +
                           evidence(rankindex::RankKind::RankList) +
                           "\t-\t-\t-\tnowhere.com\t-\t-\t1\n");

    const ChildResult info = Run({"--index-info"}, false);
    EXPECT_NE(info.out.find("web graph: graph-source.txt, 2 lines (0 malformed), 2 names, "
                            "imported 2"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find(" kB ("), std::string::npos) << info.out;
}

namespace {

const char *kNamesFile = "# names to check\n"
                         "fast.com\n"
                         "\n"
                         "   car.net  \n"
                         "bad..name\n"
                         "x_y.org\n"
                         "#car.com\n"
                         "last.org";

const char *kNamesRows = "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tsta"
                         "tus\tdisplay\thosts\toffer\tchecked\n"
                         "fast.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\tfast.com\t-\t-\t0\n"
                         "car.net\tnet\tYes\t1234\t7\tweb\t-\t-\t-\tcar.net\t-\t-\t1\n"
                         "last.org\torg\tYes\t1234\t7\tweb\t-\t-\t-\tlast.org\t-\t-\t1\n";

} // namespace

TEST_F(CliTest, FromChecksTheGoodNamesOfAFileAndReportsTheBadOnesByLine) {
    server.Answer("www.fast.com", "/", 200, "a site");
    const std::string names = Path("names.txt");
    std::ofstream(names) << kNamesFile;
    const ChildResult result = Run({"--show", "all", "--format", "tsv", "--from", names});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, kNamesRows);
    EXPECT_NE(result.err.find(names + ":5: not a domain name: 'bad..name'"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(names + ":6: not a domain name: 'x_y.org'"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("car.com"), std::string::npos) << result.err;
}

TEST_F(CliTest, FromDashReadsTheNamesFromStandardInput) {
    server.Answer("www.fast.com", "/", 200, "a site");
    const std::string names = Path("names.txt");
    std::ofstream(names) << kNamesFile;
    std::vector<std::string> args = {"-c",     "exec \"$0\" \"$@\" < '" + names + "'",
                                     kProgram, "--show",
                                     "all",    "--format",
                                     "tsv",    "--from",
                                     "-"};
    const auto network = NetworkArgs();
    args.insert(args.end(), network.begin(), network.end());
    const ChildResult result =
        testsupport::RunChild("/bin/sh", args, Environment());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, kNamesRows);
    EXPECT_NE(result.err.find(":5: not a domain name: 'bad..name'"), std::string::npos)
        << result.err;
}

TEST_F(CliTest, KeywordsAfterConnectToAreKeywords) {
    auto args = NetworkArgs();
    // --connect-to and its value first, then the keywords, then the other settings.
    std::vector<std::string> line = {args[0], args[1], "fast", "car"};
    line.insert(line.end(), args.begin() + 2, args.end());
    const std::vector<std::string> search = {"--mode", "exact", "--show", "all", "--format", "tsv"};
    line.insert(line.end(), search.begin(), search.end());
    const ChildResult result = Run(line, false);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tst"
                          "atus\tdisplay\thosts\toffer\tchecked\n"
                          "fast.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tfast.com\t-\t-\t1\n"
                          "car.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tcar.com\t-\t-\t1\n");
}

TEST_F(CliTest, LimitEndsTheRunAfterThatManyFreeNames) {
    server.Answer("www.a.com", "/", 200, "a site");
    const std::string names = Path("names.txt");
    std::ofstream(names) << "a.com\nb.com\nc.com\nd.com\ne.com\n";
    for (const std::string jobs : {"1", "4"}) {
        auto args = NetworkArgs();
        args.back() = jobs;
        const std::vector<std::string> search = {"--show", "all", "--format", "tsv",
                                                 "--from", names, "--limit",  "2"};
        args.insert(args.end(), search.begin(), search.end());
        const ChildResult result = Run(args, false);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar"
                              "\tstatus\tdisplay\thosts\toffer\tchecked\n"
                              "a.com\tcom\tNo\t-\t-\tweb\t-\t-\t-\ta.com\t-\t-\t0\n"
                              "b.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tb.com\t-\t-\t1\n"
                              "c.com\tcom\tYes\t1234\t7\tweb\t-\t-\t-\tc.com\t-\t-\t1\n")
            << "jobs " << jobs;
    }
}

TEST(RowPrinter, CsvQuotesCellsAsRfc4180Asks) {
    const struct {
        std::string cell;
        std::string written;
    } cases[] = {
        {"plain.com", "plain.com"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rlf", "\"cr\rlf\""},
        {"", ""},
    };
    for (const auto &c : cases) {
        std::ostringstream out;
        cli::PrintRows(out, results::Columns::Standard(),
                       {{{c.cell, "com", "Yes", "1", "2", "web", "-", "-", "client hold"}, true}},
                       cli::OutputFormat::Csv);
        EXPECT_EQ(out.str(), "domain,suffix,available,links,rank,evidence,expires,registrar,"
                             "status,display,hosts,offer,checked\r\n" +
                                 c.written + ",com,Yes,1,2,web,-,-,client hold,,,,1\r\n")
            << c.cell;
    }
}

TEST(CliOptions, ReadsConnectToRules) {
    const auto any = cli::ParseConnectTo("::127.0.0.1:8080");
    EXPECT_EQ(any.fromHost, "");
    EXPECT_FALSE(any.fromPort);
    EXPECT_EQ(any.toHost, "127.0.0.1");
    EXPECT_EQ(any.toPort, 8080);
    const auto one = cli::ParseConnectTo("www.a.com:80:localhost:9");
    EXPECT_EQ(one.fromHost, "www.a.com");
    EXPECT_EQ(one.fromPort, 80);
    EXPECT_THROW(cli::ParseConnectTo("a:80::9"), cli::EUsageError);
    EXPECT_THROW(cli::ParseConnectTo("a:80:b:99999"), cli::EUsageError);
}

TEST(CliOptions, ReadsCacheLifetimes) {
    using std::chrono::seconds;
    struct Case {
        const char *text;
        long taken, free; // -1: refused
    };
    const Case cases[] = {
        {"taken=3600,free=60", 3600, 60},
        {"free=0", 86400, 0},
        {"taken=31536000", 31536000, 600},
        {"taken=31536001", -1, -1},
        {"taken=-1", -1, -1},
        {"taken=", -1, -1},
        {"taken=1x", -1, -1},
        {"unknown=5", -1, -1},
        {"taken=5,", -1, -1},
        {"taken", -1, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        if (c.taken < 0) {
            EXPECT_THROW(cli::ParseCacheTtl(c.text), cli::EUsageError);
            continue;
        }
        const registry::CacheLifetimes lifetimes = cli::ParseCacheTtl(c.text);
        EXPECT_EQ(lifetimes.taken, seconds(c.taken));
        EXPECT_EQ(lifetimes.free, seconds(c.free));
    }
    const char *argv[] = {"nimbrel-cli", "--no-cache", "--cache-ttl", "free=5", "word"};
    const cli::CliOptions options = cli::ParseCommandLine(5, argv);
    EXPECT_EQ(options.cache, false);
    ASSERT_TRUE(options.cacheTtl);
    EXPECT_EQ(options.cacheTtl->free, seconds(5));
}

TEST(RowPrinter, EscapesTsvCells) {
    EXPECT_EQ(cli::EscapeTsv("a\tb\nc\rd\\e"), "a\\tb\\nc\\rd\\\\e");
    std::ostringstream out;
    cli::PrintRows(out, results::Columns::Standard(),
                   {{{"x\ty.com", "com", "Yes", "", "", "rdap", "", "", ""}, true}},
                   cli::OutputFormat::Tsv);
    EXPECT_EQ(out.str(), "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tsta"
                         "tus\tdisplay\thosts\toffer\tchecked\n"
                         "x\\ty.com\tcom\tYes\t\t\trdap\t\t\t\t\t\t\t1\n");
}

TEST(RowPrinter, TableShowsControlCharactersAsEscapes) {
    const struct {
        std::string cell;
        std::string shown;
    } cases[] = {
        {"a\x1b[31mb", "a\\x1b[31mb"},
        {"tab\there\x7f", "tab\\x09here\\x7f"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\u009b2J"},
        {"cp1252 \x9b\x81", "cp1252 \xe2\x80\xba\\u0081"},
        {"caf\xc3\xa9 \xc2\xa0", "caf\xc3\xa9 \xc2\xa0"},
    };
    for (const auto &c : cases) {
        std::ostringstream out;
        cli::PrintRows(out, results::Columns::Standard(), {{{c.cell, "", "", "", "", ""}, false}},
                       cli::OutputFormat::Table);
        const std::string text = out.str();
        const std::size_t line = text.find('\n') + 1;
        EXPECT_EQ(text.substr(line, text.find("  ", line) - line), c.shown) << c.shown;
    }
}

TEST(RowPrinter, JsonIsTheWholeDocumentIndentedByTwo) {
    const std::vector<std::vector<cli::OutputRow>> lists = {
        {},
        {{{"a.com", "com", "Yes", "1", "2", "rdap", "-", "-", "active"}, true}},
        {{{"a\"b\n", "", "No", "-", "-", "dns", "2027-03-15", "R\xe9g", "client hold"}, false},
         {{"caf\xe9", "x", "", "", "", "", "", "", ""}, true}}};
    for (const auto &rows : lists) {
        nlohmann::ordered_json document = nlohmann::ordered_json::array();
        for (const auto &row : rows)
            document.push_back({{"domain", base::DisplayUtf8(row.cells[0])},
                                {"suffix", row.cells[1]},
                                {"available", row.cells[2]},
                                {"links", row.cells[3]},
                                {"rank", row.cells[4]},
                                {"evidence", row.cells[5]},
                                {"expires", row.cells[6]},
                                {"registrar", base::DisplayUtf8(row.cells[7])},
                                {"status", row.cells[8]},
                                {"display", ""},
                                {"hosts", ""},
                                {"offer", ""},
                                {"checked", row.checked}});
        std::ostringstream out;
        cli::PrintRows(out, results::Columns::Standard(), rows, cli::OutputFormat::Json);
        EXPECT_EQ(out.str(), document.dump(2) + "\n");
    }
}
