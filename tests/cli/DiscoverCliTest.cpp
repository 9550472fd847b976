#include "rankindex/RankImport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"
#include "tests/support/WebGraphFiles.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace testsupport;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";
const char *kSyllables[] = {"car", "bo", "ta", "mi", "shop", "ne", "lo", "ra", "ki", "su", "da"};
const char *kSuffixes[] = {"com", "com", "com", "com", "com", "net", "net", "org", "de", "com"};

// Lines of the generated graph: 4000 here; scripts/e2e-discover asks for a million and keeps the
// files in a folder to compare them with awk.
std::size_t LineCount() {
    const char *lines = std::getenv("NIMBREL_E2E_LINES");
    return lines ? std::strtoul(lines, nullptr, 10) : 4000;
}

// A name of two to four syllables from a simple generator, made unique by its line number.
std::string NameOf(std::size_t line, std::uint64_t &state) {
    std::string name;
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const std::size_t count = 2 + (state >> 33) % 3;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        name += kSyllables[(state >> 33) % std::size(kSyllables)];
    }
    return name + std::to_string(line);
}

struct Graph {
    std::string text;
    // The names an awk over the file gives: "car" in the name, .com or .net, in line order.
    std::vector<std::string> matching;
};

Graph MakeGraph(std::size_t lines) {
    Graph graph;
    graph.text = kWebGraphHeader;
    graph.text.reserve(lines * 48);
    std::uint64_t state = 7;
    for (std::size_t line = 1; line <= lines; ++line) {
        const std::string name = NameOf(line, state);
        const std::string suffix = kSuffixes[line % std::size(kSuffixes)];
        graph.text += WebGraphRow(line, suffix + "." + name, 1 + line % 7);
        if ((suffix == "com" || suffix == "net") && name.find("car") != std::string::npos)
            graph.matching.push_back(name + "." + suffix);
    }
    return graph;
}

// What the local registry says of the k-th matching name: its name server delegates a third, the
// RDAP server holds a record for another third, and the rest (and every name it was not told of)
// it answers 404 for.
enum class Verdict { Delegated, Registered, Free };
Verdict VerdictOf(std::size_t k) {
    return k % 3 == 0 ? Verdict::Delegated : (k % 3 == 2 ? Verdict::Registered : Verdict::Free);
}
constexpr std::size_t kScripted = 400;

std::string RecordOf(const std::string &name) {
    return R"({"objectClassName": "domain", "ldhName": ")" + name + R"("})";
}

TEST(DiscoverCli, ListsTheGraphsNamesInRankOrderAndTheFreeOnesAreTheUndelegated404s) {
    TempFolder data{"nimbrel-discover"};
    TempConfigHome home;
    const Graph graph = MakeGraph(LineCount());
    const auto source = data.Path() / "host-ranks.txt.gz";
    WriteGzipFile(source, graph.text);
    rankindex::ImportRankFile(rankindex::RankKind::WebGraph, source, data.Path() / "Nimbrel");

    ScriptedNameServer dns;
    ScriptedServer rdap;
    ScriptedServer web;
    web.Answer("rank.test", "*", 200, "Traffic rank for it: <b>7</b><br>");
    TrustedAuthority trust;
    const TestCertificate leaf = trust.Leaf({"rdap.verisign.com"});
    TlsServer rdapTls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    for (std::size_t k = 0; k < std::min(kScripted, graph.matching.size()); ++k) {
        const std::string &name = graph.matching[k];
        const std::string suffix = name.substr(name.rfind('.') + 1);
        if (VerdictOf(k) == Verdict::Delegated)
            dns.Answer(name, NameServerReply::Delegation);
        if (VerdictOf(k) == Verdict::Registered)
            rdap.Answer("rdap.verisign.com", "/" + suffix + "/v1/domain/" + name, 200,
                        RecordOf(name));
    }

    const ChildResult result = RunChild(
        kProgram,
        {"--discover",
         "car",
         "--limit",
         "50",
         "--show",
         "all",
         "--com",
         "--net",
         "--format",
         "json",
         "--jobs",
         "16",
         "--dns-server",
         dns.Address(),
         "--ca-file",
         trust.File(),
         "--rdap-rate",
         "1000",
         "--no-cache",
         "--rank-from",
         "web",
         "--ranking-service",
         "http://rank.test",
         "--connect-to",
         "rdap.verisign.com:443:127.0.0.1:" + std::to_string(rdapTls.Port()),
         "--connect-to",
         "::127.0.0.1:" + std::to_string(web.Port())},
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = nlohmann::json::parse(result.out);

    // The awk's list up to its 50th free name, each with its verdict.
    std::vector<std::string> listed, free;
    for (std::size_t k = 0; k < graph.matching.size() && free.size() < 50; ++k) {
        listed.push_back(graph.matching[k]);
        if (k >= kScripted || VerdictOf(k) == Verdict::Free)
            free.push_back(graph.matching[k]);
    }
    ASSERT_EQ(rows.size(), listed.size()) << result.out;
    std::vector<std::string> shownFree;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(listed[i]);
        EXPECT_EQ(rows[i]["domain"], listed[i]);
        // Every row, taken or free, says where the graph ranks the name and how many hosts it has.
        const std::size_t line =
            std::stoul(listed[i].substr(listed[i].find_first_of("0123456789")));
        EXPECT_EQ(rows[i]["links"], std::to_string(line));
        EXPECT_EQ(rows[i]["hosts"], std::to_string(1 + line % 7));
        EXPECT_NE(rows[i]["evidence"].get<std::string>().find("web graph ("), std::string::npos);
        if (rows[i]["available"] == "Yes")
            shownFree.push_back(rows[i]["domain"]);
        else
            EXPECT_EQ(rows[i]["available"], "No");
    }
    EXPECT_EQ(shownFree, free);

    if (const char *keep = std::getenv("NIMBREL_E2E_KEEP")) {
        std::filesystem::copy_file(source, std::filesystem::path(keep) / "host-ranks.txt.gz",
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream out(std::filesystem::path(keep) / "listed.txt");
        for (const auto &row : rows)
            out << row["domain"].get<std::string>() << '\n';
    }
}

// The search needs the names of an imported web graph: without one, or with an older index
// that keeps only hashes, the run says so and checks nothing.
TEST(DiscoverCli, SaysWhatIsMissingFromTheIndex) {
    TempFolder data{"nimbrel-discover"};
    TempConfigHome home;
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.Folder().string(),
                                          "XDG_DATA_HOME=" + data.Path().string()};
    const std::vector<std::string> args = {"--discover", "car", "--dns-server", "127.0.0.1:9"};
    const ChildResult none = RunChild(kProgram, args, env);
    EXPECT_EQ(none.exitCode, 1) << none.err;
    EXPECT_NE(none.err.find("no web graph index"), std::string::npos) << none.err;

    const auto source = data.Path() / "ranks.txt.gz";
    WriteGzipFile(source, std::string(kWebGraphHeader) + WebGraphRow(1, "com.fastcar", 3));
    rankindex::ImportRankFile(rankindex::RankKind::WebGraph, source, data.Path() / "Nimbrel");
    MakeHashOnly(rankindex::IndexPath(data.Path() / "Nimbrel", rankindex::RankKind::WebGraph));
    const ChildResult hashOnly = RunChild(kProgram, args, env);
    EXPECT_EQ(hashOnly.exitCode, 1) << hashOnly.err;
    EXPECT_NE(hashOnly.err.find("re-import to search by keyword"), std::string::npos)
        << hashOnly.err;

    const ChildResult misused = RunChild(kProgram, {"--min-hosts", "3", "car"}, env);
    EXPECT_EQ(misused.exitCode, 2);
    EXPECT_NE(misused.err.find("--min-hosts goes with --discover"), std::string::npos);
}

} // namespace
