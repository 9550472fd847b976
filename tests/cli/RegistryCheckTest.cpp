#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

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
        {"broken.com", "Unknown", "-", "-", "-", "-", false},
        {"free.zz", "Yes", "rdap", "-", "-", "1234", true},
        {"held.qm", "Unknown", "-", "-", "-", "-", false},
        {"nordap.qq", "Unknown", "-", "-", "-", "-", false},
        {"delegated.qq", "No", "dns", "-", "-", "-", false},
        {"page.com", "Unknown", "-", "-", "-", "-", false},
        {"own.com", "Unknown", "-", "-", "-", "-", false},
        {"moved.com", "Unknown", "-", "-", "-", "-", false},
        {"mixup.com", "Unknown", "-", "-", "-", "-", false},
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
                          "\tchecked\nexample-taken.com\tcom\tNo\t-\t-\tdns\t-\t-\t0\n");
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
