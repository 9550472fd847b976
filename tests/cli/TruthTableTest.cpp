#include "registry/WhoisServers.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"
#include "tests/support/WhoisTestServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <string>
#include <vector>

// nimbrel-cli's registry check end to end over hundreds of names whose truth is known, against
// local servers only: a name server, one RDAP server behind TLS for the suffixes with RDAP, one
// WHOIS server for the others, each reached through --connect-to.
namespace {

using namespace testsupport;

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";
const std::string kRdapHost = "rdap.truth.test";
const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";

enum class Truth { Delegated, Registered, Free, Reserved, RateLimited, NotUnderstood };

struct Suffix {
    const char *name;
    bool rdap;
};

const Suffix kSuffixes[] = {{"com", true}, {"net", true},   {"org", true}, {"info", true},
                            {"dev", true}, {"co.uk", true}, {"io", false}, {"co", false},
                            {"de", false}, {"eu", false},   {"us", false}, {"jp", false}};

const std::pair<Truth, const char *> kTruths[] = {
    {Truth::Delegated, "parked"}, {Truth::Registered, "held"},  {Truth::Free, "open"},
    {Truth::Reserved, "kept"},    {Truth::RateLimited, "busy"}, {Truth::NotUnderstood, "odd"}};

constexpr int kNamesPerKind = 5;

struct Expected {
    Truth truth;
    const char *available;
    std::string evidence;
    std::string status;
};

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string RecordOf(const std::string &name) {
    return R"({"objectClassName": "domain", "ldhName": ")" + name +
           R"(", "status": ["client hold"], "events": [{"eventAction": "expiration",
           "eventDate": "2027-03-15T04:00:00Z"}]})";
}

class TruthTable : public ::testing::Test {
protected:
    TruthTable() {
        web.Answer("search.test", "*", 200, "<p>Results 1 - 10 of about <b>1,234</b></p>");
        web.Answer("rank.test", "*", 200, "Traffic rank for it: <b>7</b><br>");
    }

    // A registry run over the names file with every row shown, asking the scripted resolver and
    // trusting the test authority; more arguments follow.
    std::vector<std::string> RegistryRun(const char *format, const char *jobs) {
        return {"--check",   "registry",   "--from",           data.PathOf("names.txt"),
                "--format",  format,       "--show",           "all",
                "--jobs",    jobs,         "--dns-server",     names.Address(),
                "--ca-file", trust.File(), "--rdap-bootstrap", data.PathOf("rdap.json")};
    }

    // Scripts the servers for name and says what the program must answer.
    Expected Script(const std::string &name, const Suffix &suffix, Truth truth) {
        if (truth == Truth::Delegated) {
            names.Answer(name, NameServerReply::Delegation);
            return {truth, "No", "dns", "-"};
        }
        return suffix.rdap ? ScriptRdap(name, truth) : ScriptWhois(name, truth);
    }

    Expected ScriptRdap(const std::string &name, Truth truth) {
        const std::string target = "/domain/" + name;
        switch (truth) {
        case Truth::Registered:
            rdap.Answer(kRdapHost, target, 200, RecordOf(name), kRdapJson);
            return {truth, "No", "rdap", "client hold"};
        case Truth::Free:
            rdap.Answer(kRdapHost, target, 404, R"({"errorCode": 404})", kRdapJson);
            return {truth, "Yes", "rdap", "-"};
        case Truth::Reserved:
            rdap.Answer(kRdapHost, target, 404,
                        R"({"errorCode": 404, "title": "Not Found", "description": ["This name )"
                        R"(is reserved by the registry."]})",
                        kRdapJson);
            return {truth, "No", "rdap", "reserved"};
        case Truth::RateLimited:
            // "unavailable" rather than 429, which would slow the host for the rest of the run.
            rdap.Answer(kRdapHost, target, 503, "", "Retry-After: 0\r\n");
            return {truth, "Unknown", "rdap: unavailable (503)", "-"};
        case Truth::NotUnderstood:
        case Truth::Delegated:
            break;
        }
        rdap.Answer(kRdapHost, target, 200, "<html>parked</html>", "Content-Type: text/html\r\n");
        return {truth, "Unknown", "rdap: reply not understood", "-"};
    }

    Expected ScriptWhois(const std::string &name, Truth truth) {
        const auto server = registry::WhoisServers::BuiltIn().ServerFor(name).value();
        std::string query = server.form.Query(name);
        query.resize(query.size() - 2); // CR LF
        switch (truth) {
        case Truth::Registered:
            whois.AnswerQuery(query, "Domain Name: " + name +
                                         "\nRegistrar: Example Registrar\nRegistry Expiry "
                                         "Date: 2027-03-15T00:00:00Z\nDomain Status: "
                                         "clientHold https://icann.org/epp#clientHold\n");
            return {truth, "No", "whois", "client hold"};
        case Truth::Free:
            whois.AnswerQuery(query, "Domain: " + name + "\n" + server.notFound.at(0) + "\n");
            return {truth, "Yes", "whois", "-"};
        case Truth::Reserved:
            whois.AnswerQuery(query, server.notFound.at(0) + "\nReserved by Registry\n");
            return {truth, "No", "whois", "reserved"};
        case Truth::RateLimited:
            whois.AnswerQuery(query, server.notFound.at(0) + "\nQuery limit exceeded.\n");
            return {truth, "Unknown", "whois: limit exceeded", "-"};
        case Truth::NotUnderstood:
        case Truth::Delegated:
            break;
        }
        whois.AnswerQuery(query, "Service is being maintained.\n");
        return {truth, "Unknown", "whois: reply not understood", "-"};
    }

    TrustedAuthority trust;
    TempFolder data;
    TempConfigHome home;
    ScriptedServer web;
    ScriptedNameServer names;
    ScriptedServer rdap;
    TestCertificate leaf = trust.Leaf({kRdapHost});
    TlsServer rdapTls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    registrytest::WhoisTestServer whois;
};

TEST_F(TruthTable, NoNameThatIsNotFreeIsYesAndEveryUnknownSaysWhy) {
    std::map<std::string, Expected> expected;
    std::string list;
    for (const Suffix &suffix : kSuffixes)
        for (const auto &[truth, word] : kTruths)
            for (int i = 0; i < kNamesPerKind; ++i) {
                const std::string name = word + std::to_string(i) + "." + suffix.name;
                expected.emplace(name, Script(name, suffix, truth));
                list += name + "\n";
            }
    ASSERT_GE(expected.size(), 300u);
    WriteFile(data.PathOf("names.txt"), list);
    WriteFile(data.PathOf("rdap.json"),
              R"({"version": "1.0", "services": [[["com", "net", "org", "info", "dev", "uk"],)"
              R"( ["https://)" +
                  kRdapHost + R"(/"]]]})");
    // The user's WHOIS table replaces io's entry with the same server.
    WriteFile(data.PathOf("whois.json"), R"({"servers": [{"suffixes": ["io"], )"
                                         R"("host": "whois.nic.io", "notFound": ["NOT FOUND"]}]})");

    // Every RDAP name here asks one host: paced at the default rate, the run would take half a
    // minute.
    std::vector<std::string> args = RegistryRun("json", "16");
    args.insert(args.end(), {"--whois-servers", data.PathOf("whois.json"), "--whois-pace", "0",
                             "--rdap-rate", "1000", "--search-engine", "http://search.test",
                             "--ranking-service", "http://rank.test", "--connect-to",
                             kRdapHost + ":443:127.0.0.1:" + std::to_string(rdapTls.Port()),
                             "--connect-to", ":43:127.0.0.1:" + std::to_string(whois.Port()),
                             "--connect-to", "::127.0.0.1:" + std::to_string(web.Port())});
    const ChildResult result = RunChild(
        kProgram, args,
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("No registry could be reached"), std::string::npos) << result.err;

    const auto rows = nlohmann::json::parse(result.out);
    ASSERT_EQ(rows.size(), expected.size());
    std::size_t free = 0, freeYes = 0, takenYes = 0, unknownWithoutReason = 0;
    for (const auto &row : rows) {
        const std::string name = row["domain"];
        const Expected &want = expected.at(name);
        const std::string available = row["available"];
        const bool isFree = want.truth == Truth::Free;
        free += isFree ? 1 : 0;
        freeYes += isFree && available == "Yes" ? 1 : 0;
        takenYes += !isFree && available == "Yes" ? 1 : 0;
        if (available == "Unknown" && (row["evidence"] == "" || row["evidence"] == "-"))
            ++unknownWithoutReason;
        EXPECT_EQ(available, want.available) << name;
        EXPECT_EQ(row["evidence"], want.evidence) << name;
        EXPECT_EQ(row["status"], want.status) << name;
    }
    EXPECT_EQ(takenYes, 0u);
    EXPECT_GE(freeYes * 100, free * 95) << freeYes << " of " << free;
    EXPECT_EQ(unknownWithoutReason, 0u);
    // A delegated name costs no registry query.
    for (const std::string &query : whois.Queries())
        EXPECT_EQ(query.find("parked"), std::string::npos) << query;
    for (const std::string &request : rdap.Requests())
        EXPECT_EQ(request.find("parked"), std::string::npos) << request;
}

// With no resolver and no registry answering, every row says why, and the program says once
// what the user can do.
TEST_F(TruthTable, NothingAnsweringIsSaidOnce) {
    for (const char *name : {"one.com", "two.de", "three.qq"})
        names.Answer(name, NameServerReply::Silence);
    WriteFile(data.PathOf("names.txt"), "one.com\ntwo.de\nthree.qq\n");
    WriteFile(data.PathOf("rdap.json"),
              R"({"version": "1.0", "services": [[["com"], ["https://)" + kRdapHost + R"(/"]]]})");
    std::vector<std::string> args = RegistryRun("tsv", "3");
    args.insert(args.end(), {"--request-timeout", "0.5", "--connect-to",
                             kRdapHost + ":443:127.0.0.1:1", "--connect-to", ":43:127.0.0.1:1"});
    const ChildResult result = RunChild(
        kProgram, args,
        {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string line = "No registry could be reached; check the network.\n";
    const auto at = result.err.find(line);
    ASSERT_NE(at, std::string::npos) << result.err << result.out;
    EXPECT_EQ(result.err.find(line, at + 1), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("one.com\tcom\tUnknown\t-\t-\tdns: no answer; rdap: no answer\t"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("two.de\tde\tUnknown\t-\t-\tdns: no answer; whois: no answer\t"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("dns: no answer; whois: no server for .qq"), std::string::npos)
        << result.out;
}

} // namespace
