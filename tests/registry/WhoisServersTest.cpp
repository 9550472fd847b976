#include "registry/WhoisServers.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace registry {
namespace {

struct QueryCase {
    const char *name;
    const char *host;
    const char *query;
};

TEST(WhoisServers, BuiltInServersAndTheirQueryForms) {
    const WhoisServers servers = WhoisServers::BuiltIn();
    const QueryCase rows[] = {
        {"fastcar.us", "whois.nic.us", "fastcar.us\r\n"},
        {"fastcar.de", "whois.denic.de", "-T dn,ace fastcar.de\r\n"},
        {"fastcar.io", "whois.nic.io", "fastcar.io\r\n"},
        {"fastcar.co", "whois.registry.co", "fastcar.co\r\n"},
        {"fastcar.eu", "whois.eu", "fastcar.eu\r\n"},
        {"fastcar.jp", "whois.jprs.jp", "fastcar.jp/e\r\n"},
        {"fastcar.co.jp", "whois.jprs.jp", "fastcar.co.jp/e\r\n"},
        {"FASTCAR.DE.", "whois.denic.de", "-T dn,ace FASTCAR.DE.\r\n"},
    };
    for (const QueryCase &row : rows) {
        const auto server = servers.ServerFor(row.name);
        ASSERT_TRUE(server) << row.name;
        EXPECT_EQ(server->host, row.host) << row.name;
        EXPECT_EQ(server->form.Query(row.name), row.query) << row.name;
        EXPECT_FALSE(server->notFound.empty()) << row.name;
    }
    EXPECT_FALSE(servers.ServerFor("fastcar.com"));
    EXPECT_FALSE(servers.ServerFor("de"));
    EXPECT_FALSE(servers.ServerFor(""));
}

TEST(WhoisServers, QueryTemplatesHoldTheNameOnce) {
    EXPECT_EQ(WhoisQueryForm::FromTemplate("-T dn,ace {name}"),
              (WhoisQueryForm{"-T dn,ace ", ""}));
    EXPECT_EQ(WhoisQueryForm::FromTemplate("{name}/e"), (WhoisQueryForm{"", "/e"}));
    EXPECT_FALSE(WhoisQueryForm::FromTemplate("plain"));
    EXPECT_FALSE(WhoisQueryForm::FromTemplate("{name} {name}"));
    EXPECT_FALSE(WhoisQueryForm::FromTemplate("{name}\r\nsecond line"));
    EXPECT_FALSE(WhoisQueryForm::FromTemplate(std::string(300, 'x') + "{name}"));
}

TEST(WhoisServers, AUserFileAddsAndReplacesEntries) {
    WhoisServers servers = WhoisServers::BuiltIn();
    servers.Merge(R"({"servers": [
        {"suffixes": ["ch", ".LI."], "host": "whois.example.ch", "notFound": ["no entry"]},
        {"suffixes": ["de"], "host": "WHOIS.DENIC.DE", "query": "-C UTF-8 -T dn {name}"},
        {"suffixes": ["us"], "host": "whois.example.us"}
    ]})",
                  "test");
    EXPECT_EQ(servers.ServerFor("fastcar.li")->host, "whois.example.ch");
    EXPECT_EQ(servers.ServerFor("fastcar.ch")->notFound, std::vector<std::string>{"no entry"});
    const auto denic = servers.ServerFor("fastcar.de");
    EXPECT_EQ(denic->form.Query("fastcar.de"), "-C UTF-8 -T dn fastcar.de\r\n");
    // A known host keeps its phrases; an unknown one without phrases has none.
    EXPECT_EQ(denic->notFound, std::vector<std::string>{"Status: free"});
    EXPECT_TRUE(servers.ServerFor("fastcar.us")->notFound.empty());
    EXPECT_EQ(servers.ServerFor("fastcar.jp")->host, "whois.jprs.jp");
}

TEST(WhoisServers, RefusesBrokenFilesWholly) {
    const std::string deep = std::string(9, '[') + std::string(9, ']');
    const std::string tooLarge = R"({"servers": []})" + std::string(1024 * 1024, ' ');
    const char *entry = R"({"suffixes": ["ch"], "host": "whois.example.ch"})";
    const std::string refused[] = {
        "not json",
        "[]",
        R"({"servers": {}})",
        deep,
        tooLarge,
        R"({"servers": [42]})",
        R"({"servers": [{"host": "whois.example.ch"}]})",
        R"({"servers": [{"suffixes": ["c h"], "host": "whois.example.ch"}]})",
        R"({"servers": [{"suffixes": ["ch"], "host": "whois..example.ch"}]})",
        R"({"servers": [{"suffixes": ["ch"], "host": "x", "query": "no name"}]})",
        R"({"servers": [{"suffixes": ["ch"], "host": "x", "notFound": [""]}]})",
        R"({"servers": [{"suffixes": ["ch"], "host": "x", "notFound": ["a\nb"]}]})",
        std::string(R"({"servers": [)") + entry + R"(, {"suffixes": ["li"]}]})",
    };
    for (const std::string &text : refused) {
        WhoisServers servers = WhoisServers::BuiltIn();
        EXPECT_THROW(servers.Merge(text, "test"), EWhoisServersError) << text.substr(0, 80);
        EXPECT_FALSE(servers.ServerFor("fastcar.ch")) << text.substr(0, 80);
        EXPECT_EQ(servers.Size(), WhoisServers::BuiltIn().Size());
    }
}

TEST(WhoisServers, ReadsOnlyRegularFiles) {
    TempFolder folder;
    const std::string path = folder.PathOf("whois-servers.json");
    std::ofstream(path) << "\xEF\xBB\xBF"
                        << R"({"servers": [{"suffixes": ["ch"], "host": "whois.example.ch"}]})";
    WhoisServers servers;
    servers.MergeFile(path);
    EXPECT_EQ(servers.ServerFor("fastcar.ch")->host, "whois.example.ch");
    EXPECT_THROW(servers.MergeFile(folder.Path().string()), EWhoisServersError);
    EXPECT_THROW(servers.MergeFile(folder.PathOf("missing.json")), EWhoisServersError);
    EXPECT_THROW(servers.MergeFile("/dev/zero"), EWhoisServersError);
}

TEST(WhoisServers, FindsTheUsersFileUnderTheDataFolder) {
    TempFolder folder;
    const char *saved = std::getenv("XDG_DATA_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
    EXPECT_FALSE(UserWhoisServersFile());
    std::filesystem::create_directories(folder.Path() / "Nimbrel");
    std::ofstream(folder.Path() / "Nimbrel" / "whois-servers.json") << "{}";
    EXPECT_EQ(UserWhoisServersFile(), (folder.Path() / "Nimbrel" / "whois-servers.json").string());
    if (saved)
        setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace registry
