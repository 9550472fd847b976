#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

using namespace testsupport;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";
constexpr std::uint16_t kTxt = 16;

using Records = std::vector<std::vector<std::string>>;

// A taken name: its name servers, its _for-sale records, and the row it must get.
struct TakenName {
    std::string name;
    std::vector<std::string> nameServers;
    Records records;
    std::string status;   // "-" for no mark
    std::string offer;    // "-" for none
    std::string evidence; // "dns" unless parked
};

std::vector<std::string> Ordinary(const std::string &host) {
    return {"ns1." + host, "ns2." + host};
}

TakenName ForSale(std::string name, Records records, std::string offer) {
    return {std::move(name),    Ordinary("hosting.example"),
            std::move(records), "for sale",
            std::move(offer),   "dns"};
}

TakenName Unmarked(std::string name, Records records = {},
                   std::vector<std::string> servers = Ordinary("hosting.example")) {
    return {std::move(name), std::move(servers), std::move(records), "-", "-", "dns"};
}

TakenName Parked(std::string name, const std::string &service) {
    return {std::move(name), Ordinary(service), {}, "parked", "-", "dns; parked: " + service};
}

std::vector<TakenName> TakenNames() {
    // 300 bytes in two character-strings, each within a string's limit.
    const std::string longRecord = "v=FORSALE1;ftxt=" + std::string(284, 'x');
    std::vector<TakenName> names = {
        // Each tag form, alone and in the company of others.
        ForSale("price.com", {{"v=FORSALE1;fval=EUR799.00"}}, "EUR799.00"),
        ForSale("secure.com", {{"v=FORSALE1;furi=https://sale.example/secure.com"}},
                "https://sale.example/secure.com"),
        ForSale("plain.com", {{"v=FORSALE1;furi=http://sale.example/?d=plain.com"}},
                "http://sale.example/?d=plain.com"),
        ForSale("words.com", {{"v=FORSALE1;ftxt=Make me an offer; I answer fast"}},
                "Make me an offer; I answer fast"),
        ForSale("code.com", {{"v=FORSALE1;fcod=NLFS-ABC123"}}, "NLFS-ABC123"),
        ForSale("bare.com", {{"v=FORSALE1;"}}, "-"),
        // Character-strings of one record join before it is read.
        ForSale("pieces.com", {{"v=FORSALE1;", "ftxt=Call ", "+31 26 000 0000"}},
                "Call +31 26 000 0000"),
        // A price goes before a link, whatever the order of the records.
        ForSale("both.com",
                {{"v=FORSALE1;furi=https://sale.example/"}, {"v=FORSALE1;fval=USD1500"}},
                "USD1500"),
        // A record that does not read is passed over; its neighbour still counts.
        ForSale("mixed.com", {{"v=FORSALE1;furi=javascript:alert(1)"}, {"v=FORSALE1;ftxt=Yes"}},
                "Yes"),
        ForSale("shout.com", {{"v=FORSALE1;furi=HTTPS://sale.example/shout"}},
                "HTTPS://sale.example/shout"),
        // Malformed records: no mark at all.
        Unmarked("script.com", {{"v=FORSALE1;furi=javascript:alert(document.cookie)"}}),
        Unmarked("long.com", {{longRecord.substr(0, 150), longRecord.substr(150)}}),
        Unmarked("twotags.com", {{"v=FORSALE1;fval=EUR5;ftxt=cheap"}}),
        Unmarked("noversion.com", {{"ftxt=for sale, honestly"}}),
        Unmarked("version2.com", {{"v=FORSALE2;ftxt=next year"}}),
    };
    const char *services[] = {
        "sedoparking.com",  "parkingcrew.net",       "bodis.com",  "above.com",
        "dan.com",          "afternic.com",          "dnsowl.com", "ztomy.com",
        "parking1.ovh.net", "uniregistrymarket.link"};
    int n = 0;
    for (const char *service : services)
        names.push_back(Parked("parked" + std::to_string(++n) + ".com", service));
    // Ordinary name servers, some only a letter away from a parking service's.
    for (int i = 1; i <= 25; ++i) {
        const std::string host = i == 1   ? "notsedoparking.com"
                                 : i == 2 ? "sedoparking.com.example"
                                 : i == 3 ? "bodis.co"
                                          : "hosting" + std::to_string(i) + ".example";
        names.push_back(Unmarked("ordinary" + std::to_string(i) + ".com", {}, Ordinary(host)));
    }
    return names;
}

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(SaleMarksCli, MarksExactlyTheTakenNamesForSaleOrParkedAndAsksOnlyTakenNames) {
    const std::vector<TakenName> taken = TakenNames();
    ASSERT_EQ(taken.size(), 50u);
    ScriptedNameServer names;
    std::string list;
    for (const TakenName &name : taken) {
        names.Answer(name.name, NameServerReply::Delegation, name.nameServers);
        if (!name.records.empty())
            names.AnswerText("_for-sale." + name.name, name.records);
        list += name.name + "\n";
    }
    // Free and Unknown names, each with a sign that must never be asked for.
    const std::vector<std::string> untaken = {"free1.com", "free2.com", "broken1.com",
                                              "broken2.com"};
    for (const std::string &name : untaken) {
        names.AnswerText("_for-sale." + name, {{"v=FORSALE1;fval=EUR1.00"}});
        list += name + "\n";
    }
    ScriptedServer rdap;
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/free1.com", 404, "");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/free2.com", 404, "");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/broken1.com", 500, "oops");
    rdap.Answer("rdap.verisign.com", "/com/v1/domain/broken2.com", 500, "oops");
    TrustedAuthority trust;
    TestCertificate leaf = trust.Leaf({"rdap.verisign.com"});
    TlsServer tls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    TempFolder data;
    TempConfigHome home;
    WriteFile(data.PathOf("names.txt"), list);

    const ChildResult result = RunChild(
        kProgram,
        {"--check",
         "registry",
         "--from",
         data.PathOf("names.txt"),
         "--format",
         "json",
         "--show",
         "all",
         "--jobs",
         "4",
         "--no-cache",
         "--dns-server",
         names.Address(),
         "--ca-file",
         trust.File(),
         "--connect-to",
         "rdap.verisign.com:443:127.0.0.1:" + std::to_string(tls.Port()),
         "--search-engine",
         "http://search.test",
         "--ranking-service",
         "http://rank.test",
         "--connect-to",
         "::127.0.0.1:1"},
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto rows = nlohmann::json::parse(result.out);
    ASSERT_EQ(rows.size(), taken.size() + untaken.size()) << result.out;
    std::map<std::string, nlohmann::json> byName;
    for (const auto &row : rows)
        byName[row["domain"]] = row;
    for (const TakenName &name : taken) {
        SCOPED_TRACE(name.name);
        const nlohmann::json &row = byName[name.name];
        EXPECT_EQ(row["available"], "No");
        EXPECT_EQ(row["status"], name.status);
        EXPECT_EQ(row["offer"], name.offer);
        EXPECT_EQ(row["evidence"], name.evidence);
    }
    for (const std::string &name : untaken) {
        SCOPED_TRACE(name);
        EXPECT_NE(byName[name]["available"], "No");
        EXPECT_EQ(byName[name]["status"], "-");
        EXPECT_EQ(byName[name]["offer"], "-");
    }

    // One TXT query for each taken name, none for the others.
    std::set<std::string> asked;
    for (const std::string &query : names.Queries())
        if (query.ends_with(" 16"))
            asked.insert(query.substr(0, query.size() - 3));
    std::set<std::string> expected;
    for (const TakenName &name : taken)
        expected.insert("_for-sale." + name.name);
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(names.QueriesOfType(kTxt), taken.size());
}

} // namespace
