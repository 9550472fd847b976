#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using testsupport::ChildResult;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

// Unicode keywords, names-list lines and suffixes through nimbrel-cli's web check against a
// scripted server: every request asks the ASCII form, the outputs carry both forms.
class IdnCliTest : public ::testing::Test {
protected:
    IdnCliTest() {
        server.Answer("search.test", "*", 200, "<p>Results 1 - 10 of about <b>5</b> for</p>");
        server.Answer("rank.test", "*", 200, "Traffic rank for it: <b>3</b><br>");
    }
    ChildResult Run(std::vector<std::string> args) {
        const std::vector<std::string> network = {"--connect-to",
                                                  "::127.0.0.1:" + std::to_string(server.Port()),
                                                  "--search-engine",
                                                  "http://search.test",
                                                  "--ranking-service",
                                                  "http://rank.test",
                                                  "--check",
                                                  "web",
                                                  "--jobs",
                                                  "1"};
        args.insert(args.end(), network.begin(), network.end());
        return testsupport::RunChild(kProgram, args,
                                     {"XDG_CONFIG_HOME=" + home.Folder().string(),
                                      "XDG_DATA_HOME=" + home.Folder().string()});
    }

    TempConfigHome home;
    testsupport::ScriptedServer server;
};

} // namespace

TEST_F(IdnCliTest, AsksTheAsciiFormAndShowsBothForms) {
    server.Answer("www.xn--caf-dma.com", "/", 200, "a site");
    const ChildResult json =
        Run({"--mode", "exact", "--show", "all", "--format", "json", "Bäcker", "CAFÉ"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["domain"], "xn--bcker-gra.com");
    EXPECT_EQ(rows[0]["display"], "bäcker.com");
    EXPECT_EQ(rows[0]["available"], "Yes");
    EXPECT_EQ(rows[1]["domain"], "xn--caf-dma.com");
    EXPECT_EQ(rows[1]["display"], "café.com");
    EXPECT_EQ(rows[1]["available"], "No");
    for (const std::string &request : server.Requests())
        EXPECT_EQ(request.find("\xc3"), std::string::npos) << request;
    // The progress names the name as people read it.
    EXPECT_NE(json.err.find("Checking... bäcker.com (1/2)"), std::string::npos) << json.err;

    const ChildResult tsv = Run({"--mode", "exact", "--format", "tsv", "bäcker"});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    EXPECT_NE(tsv.out.find("\tdisplay\t"), std::string::npos) << tsv.out;
    EXPECT_NE(tsv.out.find("xn--bcker-gra.com\tcom\tYes\t"), std::string::npos) << tsv.out;
    EXPECT_NE(tsv.out.find("\tbäcker.com\t-\t1\n"), std::string::npos) << tsv.out;

    // The table shows the name as people read it, once.
    const ChildResult table = Run({"--mode", "exact", "--format", "table", "bäcker"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_TRUE(table.out.starts_with("Domain name  Top Level")) << table.out;
    EXPECT_NE(table.out.find("\nbäcker.com   com        Yes"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("xn--"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("Display name"), std::string::npos) << table.out;
}

TEST_F(IdnCliTest, CandidatesOfUnicodeKeywordsAndSuffixes) {
    struct Row {
        std::vector<std::string> args;
        std::string out;
    };
    const Row rows[] = {
        {{"--mode", "all", "--hyphens", "--no-acronyms", "--com", "--no-net", "--no-org", "café",
          "shop"},
         "xn--caf-dma.com\nshop.com\nxn--cafshop-dya.com\nxn--shopcaf-hya.com\n"
         "xn--caf-shop-d1a.com\nxn--shop-caf-i1a.com\n"},
        {{"--mode", "exact", "--no-com", "--no-net", "--no-org", "--suffix", "рф, .ONLINE",
          "bäcker"},
         "xn--bcker-gra.xn--p1ai\nxn--bcker-gra.online\n"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"--candidates"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ChildResult result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, row.out);
    }
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST_F(IdnCliTest, RefusesUnicodeThatIsNoDomainNameNamingIt) {
    struct Row {
        std::vector<std::string> args;
        std::string message;
    };
    const Row rows[] = {
        {{"car", "bä cker"},
         "The keyword 'bä cker' cannot be part of a domain name: it holds a character"},
        {{"bäcker-"}, "The keyword 'bäcker-' cannot be part of a domain name: it starts or ends"},
        {{"bä\x01"
          "cker"},
         "The keyword 'bä\\x01cker'"},
        {{"--suffix", "р ф", "car"}, "--suffix: 'р ф' is no domain suffix"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"--candidates"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ChildResult result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(IdnCliTest, FromTakesUnicodeLines) {
    const std::string names = (home.Folder() / "names.txt").string();
    std::ofstream(names) << "Bäcker.com\nbä cker.com\nshop.рф\n";
    const ChildResult result = Run({"--show", "all", "--format", "json", "--from", names});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = nlohmann::json::parse(result.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["domain"], "xn--bcker-gra.com");
    EXPECT_EQ(rows[0]["display"], "bäcker.com");
    EXPECT_EQ(rows[1]["domain"], "shop.xn--p1ai");
    EXPECT_EQ(rows[1]["display"], "shop.рф");
    EXPECT_NE(result.err.find(":2: not a domain name: 'bä cker.com'"), std::string::npos)
        << result.err;
}
