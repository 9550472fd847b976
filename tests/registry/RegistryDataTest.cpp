#include "registry/RegistryData.h"
#include "registry/RegistryDataUpdate.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace testsupport;
using registry::RegistryDataOrigin;
using registry::UpdateOutcome;

namespace {

// The compiled-in copy's publication time.
constexpr const char *kBuiltInPublication = "2026-09-16T19:00:03Z";

// A bootstrap file naming one server for "zz", published at publication (none when empty).
std::string DataFile(const std::string &publication, const std::string &server) {
    const std::string published =
        publication.empty() ? "" : R"("publication": ")" + publication + R"(", )";
    return "{" + published + R"("services": [[["zz"], [")" + server + R"("]]]})";
}

void Write(const std::filesystem::path &path, const std::string &text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct SourceCase {
    const char *name;
    const char *installed; // the installed copy's text; nullptr: none
    const char *user;      // the user's copy's text; nullptr: none
    RegistryDataOrigin origin;
    const char *zzServer; // nullptr: the compiled-in copy has none
    std::size_t notes;
};

const std::string kOld = DataFile("2020-01-01T00:00:00Z", "https://old.test/");
const std::string kSame = DataFile(kBuiltInPublication, "https://installed.test/");
const std::string kNewer = DataFile("2027-01-01T00:00:00Z", "https://newer.test/");
const std::string kUndated = DataFile("", "https://undated.test/");

const SourceCase kSources[] = {
    {"NothingButTheCompiledInCopy", nullptr, nullptr, RegistryDataOrigin::CompiledIn, nullptr, 0},
    {"InstalledCopyOfTheSameDate", kSame.c_str(), nullptr, RegistryDataOrigin::Installed,
     "https://installed.test/", 0},
    {"OlderInstalledCopyPassedOver", kOld.c_str(), nullptr, RegistryDataOrigin::CompiledIn, nullptr,
     0},
    {"BrokenInstalledCopyPassedOverWithANote", "[1, 2", nullptr, RegistryDataOrigin::CompiledIn,
     nullptr, 1},
    {"NewerUserCopyWinsOverTheInstalledOne", kSame.c_str(), kNewer.c_str(),
     RegistryDataOrigin::User, "https://newer.test/", 0},
    {"OlderUserCopyPassedOver", kSame.c_str(), kOld.c_str(), RegistryDataOrigin::Installed,
     "https://installed.test/", 0},
    {"UndatedUserCopyPassedOver", nullptr, kUndated.c_str(), RegistryDataOrigin::CompiledIn,
     nullptr, 0},
    {"BrokenUserCopyPassedOverWithANote", nullptr, "{\"services\": 7}",
     RegistryDataOrigin::CompiledIn, nullptr, 1},
};

class RegistryDataSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(RegistryDataSourceTest, NewestReadableCopyWins) {
    const SourceCase &c = GetParam();
    TempFolder folder;
    registry::RegistryDataSources sources;
    // The first folder holds no copy; the second is asked then.
    sources.installedFolders = {folder.Path() / "missing", folder.Path() / "share"};
    sources.userFile = folder.Path() / "user" / "rdap-dns.json";
    if (c.installed)
        Write(folder.Path() / "share" / "rdap-dns.json", c.installed);
    if (c.user)
        Write(*sources.userFile, c.user);

    const registry::RegistryData data = registry::LoadRegistryData(sources);
    EXPECT_EQ(data.origin, c.origin);
    EXPECT_EQ(data.notes.size(), c.notes);
    if (c.zzServer)
        EXPECT_EQ(data.bootstrap.ServerFor("fastcar.zz"), c.zzServer);
    else
        EXPECT_EQ(data.bootstrap.ServerFor("fastcar.zz"), std::nullopt);
    // A copy that replaces the compiled-in one replaces it whole.
    if (c.origin == RegistryDataOrigin::CompiledIn)
        EXPECT_EQ(data.bootstrap.ServerFor("fastcar.com"), "https://rdap.verisign.com/com/v1/");
    else
        EXPECT_EQ(data.bootstrap.ServerFor("fastcar.com"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Copies, RegistryDataSourceTest, ::testing::ValuesIn(kSources),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RegistryData, PublicationTimesAndAge) {
    using std::chrono::sys_days;
    using namespace std::chrono_literals;
    const std::pair<const char *, std::optional<std::chrono::sys_seconds>> times[] = {
        {"2026-09-16T19:00:03Z", sys_days(2026y / 9 / 16) + 19h + 3s},
        {"2026-09-16t19:00:03.250z", sys_days(2026y / 9 / 16) + 19h + 3s},
        {"2024-02-29", sys_days(2024y / 2 / 29)},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"2026-09-16T19:00:03", std::nullopt},
        {"2026-09-16T24:00:00Z", std::nullopt},
        {"2026-09-16T19:00:03+02:00", std::nullopt},
        {"2026-9-16", std::nullopt},
        {"2026-09-16T19:00:03.Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[text, expected] : times)
        EXPECT_EQ(registry::ReadPublicationTime(text), expected) << text;
    EXPECT_EQ(registry::PublicationDay(sys_days(2026y / 9 / 16) + 19h), "2026-09-16");

    const auto published = registry::ReadPublicationTime(kBuiltInPublication);
    const std::pair<sys_days, bool> days[] = {
        {sys_days(2026y / 9 / 16), false},
        {sys_days(2027y / 3 / 15), false}, // 180 days on
        {sys_days(2027y / 3 / 16), true},
        {sys_days(2020y / 1 / 1), false}, // a clock set back
    };
    for (const auto &[today, old] : days)
        EXPECT_EQ(registry::IsRegistryDataOld(published, today), old)
            << static_cast<int>(std::chrono::year_month_day(today).year());
    EXPECT_FALSE(registry::IsRegistryDataOld(std::nullopt, sys_days(2099y / 1 / 1)));
}

// --update-registry-data's fetch, against a TLS server of the test's own.
struct UpdateCase {
    const char *name;
    std::string reply;
    UpdateOutcome outcome;
    const char *detail; // part of the reason
};

std::string Ok(const std::string &body) {
    return HttpReply(200, body, "Content-Type: application/json\r\n");
}

const UpdateCase kUpdates[] = {
    {"NewerFileReplacesTheOld", Ok(kNewer), UpdateOutcome::Replaced, "rdap-dns.json"},
    {"SameDateIsAlreadyCurrent", Ok(DataFile(kBuiltInPublication, "https://same.test/")),
     UpdateOutcome::AlreadyCurrent, ""},
    {"OlderFileRefused", Ok(kOld), UpdateOutcome::Refused, "published 2020-01-01, before"},
    {"BrokenFileRefused", Ok("{\"publication\": \"2027-01-01\", \"services\": [1"),
     UpdateOutcome::Refused, "is not JSON"},
    {"UndatedFileRefused", Ok(kUndated), UpdateOutcome::Refused, "does not say when"},
    {"FileOfPlainHttpServersRefused", Ok(DataFile("2027-01-01T00:00:00Z", "http://plain.test/")),
     UpdateOutcome::Refused, "names no RDAP server"},
    {"ErrorStatusRefused", HttpReply(404, "gone"), UpdateOutcome::Refused, "HTTP 404"},
    {"FileOverTheSizeBoundRefused",
     Ok("{\"publication\": \"2027-01-01\", \"services\": [], \"x\": \"" +
        std::string(registry::kLargestRegistryData, 'x') + "\"}"),
     UpdateOutcome::Refused, "too large"},
};

class RegistryDataUpdateTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(RegistryDataUpdateTest, OnlyANewerBootstrapFileIsKept) {
    const UpdateCase &c = GetParam();
    TrustedAuthority trust;
    ScriptedTlsServer server(trust, "data.iana.test");
    server.plain.Enqueue(Respond(c.reply));
    const LoopbackNetwork network(server.plain.Port());
    TempFolder folder;
    const std::filesystem::path user = folder.Path() / "Nimbrel" / "rdap-dns.json";
    registry::UpdateSettings settings;
    settings.url = server.Url("/rdap/dns.json");
    settings.network = network.Context(2000, 2000);
    settings.tls = trust.Context();
    settings.sources.userFile = user;

    const registry::RegistryDataUpdate update = registry::UpdateRegistryData(settings);
    EXPECT_EQ(update.outcome, c.outcome) << update.detail;
    EXPECT_NE(update.detail.find(c.detail), std::string::npos) << update.detail;
    if (c.outcome == UpdateOutcome::Replaced) {
        EXPECT_EQ(Read(user), kNewer);
        EXPECT_EQ(registry::LoadRegistryData(settings.sources).origin, RegistryDataOrigin::User);
    } else {
        EXPECT_FALSE(std::filesystem::exists(user));
    }
    const std::string report = registry::UpdateReport(update);
    EXPECT_NE(report.find(c.detail), std::string::npos) << report;
    EXPECT_EQ(report.find(".."), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(Replies, RegistryDataUpdateTest, ::testing::ValuesIn(kUpdates),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RegistryDataUpdate, RefusesWhatItCannotTrustAndKeepsTheUserCopy) {
    TrustedAuthority trust, stranger;
    ScriptedTlsServer server(stranger, "data.iana.test");
    ScriptedTlsServer otherName(trust, "other.test");
    const LoopbackNetwork network(server.plain.Port());
    TempFolder folder;
    registry::UpdateSettings settings;
    settings.network = network.Context(2000, 2000);
    settings.tls = trust.Context();
    settings.sources.userFile = folder.Path() / "rdap-dns.json";
    Write(*settings.sources.userFile, kNewer);

    const std::pair<std::string, const char *> cases[] = {
        // A chain the trust store does not know, and a certificate for another host.
        {server.Url("/dns.json"), "certificate was not accepted"},
        {"https://data.iana.test:" + std::to_string(otherName.tls.Port()) + "/dns.json",
         "certificate was not accepted"},
        {"http://data.iana.test/dns.json", "only an https address"},
    };
    for (const auto &[url, detail] : cases) {
        settings.url = url;
        const registry::RegistryDataUpdate update = registry::UpdateRegistryData(settings);
        EXPECT_EQ(update.outcome, UpdateOutcome::Refused) << url;
        EXPECT_NE(update.detail.find(detail), std::string::npos) << update.detail;
        EXPECT_EQ(update.inUse, registry::ReadPublicationTime("2027-01-01T00:00:00Z"));
    }
    EXPECT_EQ(Read(*settings.sources.userFile), kNewer);
    EXPECT_EQ(server.plain.Accepted(), 0u);
    EXPECT_EQ(otherName.plain.Accepted(), 0u);
}

} // namespace
