#include "cli/NimbrelCli.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

using namespace testsupport;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

std::string DataFile(const std::string &publication) {
    return R"({"publication": ")" + publication +
           R"(", "services": [[["com"], ["https://rdap.mirror.test/com/"]]]})";
}

std::string Read(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string &text, const std::string &part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// nimbrel-cli --update-registry-data against a TLS server of the test's own, as a user runs it
// one day after another.
TEST(RegistryDataCli, UpdateKeepsOnlyANewerFileFromATrustedServer) {
    TrustedAuthority trust, stranger;
    ScriptedTlsServer iana(trust, "data.iana.test");
    ScriptedTlsServer impostor(stranger, "data.iana.test");
    TempFolder data;
    TempConfigHome home;
    const std::filesystem::path user = data.Path() / "Nimbrel" / "rdap-dns.json";
    const auto update = [&](int port) {
        return RunChild(
            kProgram,
            {"--update-registry-data", "--registry-data-url",
             "https://data.iana.test/rdap/dns.json", "--ca-file", trust.File(), "--connect-to",
             "data.iana.test:443:127.0.0.1:" + std::to_string(port), "--request-timeout", "10"},
            {"XDG_CONFIG_HOME=" + home.Folder().string(), "XDG_DATA_HOME=" + data.Path().string()});
    };
    const std::string newer = DataFile("2027-01-02T03:04:05Z");
    struct Step {
        std::string reply;
        int port;
        int exitCode;
        const char *said;
    };
    const Step steps[] = {
        {HttpReply(200, newer), iana.tls.Port(), 0, "updated to the file published 2027-01-02"},
        {HttpReply(200, newer), iana.tls.Port(), 0, "already current (2027-01-02)"},
        {HttpReply(200, DataFile("2026-12-01T00:00:00Z")), iana.tls.Port(), 3,
         "published 2026-12-01, before the data in use (2027-01-02)"},
        {HttpReply(200, "{\"publication\": \"2028-01-01\""), iana.tls.Port(), 3, "is not JSON"},
        {HttpReply(200, DataFile("2028-01-01T00:00:00Z")), impostor.tls.Port(), 3,
         "certificate was not accepted"},
    };
    for (const Step &step : steps) {
        iana.plain.Enqueue(Respond(step.reply));
        impostor.plain.Enqueue(Respond(step.reply));
        const ChildResult result = update(step.port);
        EXPECT_EQ(result.exitCode, step.exitCode) << result.out << result.err;
        EXPECT_NE((result.out + result.err).find(step.said), std::string::npos)
            << result.out << result.err;
        EXPECT_EQ(Read(user), newer);
    }
    EXPECT_EQ(impostor.plain.Accepted(), 0u);
}

// The run itself: which data it uses, and one line on standard error when that data is old.
TEST(RegistryDataCli, SaysOnceWhenTheDataInUseIsOld) {
    ScriptedNameServer names;
    names.Answer("one.com", NameServerReply::Delegation);
    names.Answer("two.com", NameServerReply::Delegation);
    TempFolder data;
    TempConfigHome home;
    const std::string list = data.PathOf("names.txt");
    std::ofstream(list) << "one.com\ntwo.com\n";
    // The data folder of this process, for the run made in it; put back as it was at the end.
    struct DataHome {
        explicit DataHome(const std::filesystem::path &folder) {
            if (const char *old = std::getenv("XDG_DATA_HOME"))
                previous = old;
            ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
        }
        ~DataHome() {
            if (previous)
                ::setenv("XDG_DATA_HOME", previous->c_str(), 1);
            else
                ::unsetenv("XDG_DATA_HOME");
        }
        std::optional<std::string> previous;
    } dataHome(data.Path());
    const auto run = [&](std::chrono::sys_days today) {
        const std::string dns = names.Address();
        const char *argv[] = {"nimbrel-cli",
                              "--check",
                              "registry",
                              "--from",
                              list.c_str(),
                              "--jobs",
                              "1",
                              "--links-from",
                              "web",
                              "--dns-server",
                              dns.c_str(),
                              "--format",
                              "tsv",
                              "--search-engine",
                              "http://search.invalid",
                              "--ranking-service",
                              "http://rank.invalid"};
        std::ostringstream out, err;
        const int status =
            cli::RunNimbrelCli(static_cast<int>(std::size(argv)), argv, out, err, {}, today);
        EXPECT_EQ(status, 0) << err.str();
        return err.str();
    };
    using namespace std::chrono_literals;
    const std::string warning = "The registry data is from 2026-09-16, more than 180 days old; "
                                "update it with --update-registry-data";
    // The compiled-in (or installed) copy of 2026-09-16.
    EXPECT_EQ(Count(run(std::chrono::sys_days(2027y / 1 / 1)), warning), 0u);
    EXPECT_EQ(Count(run(std::chrono::sys_days(2027y / 6 / 1)), warning), 1u);
    // The user's newer copy wins, and is not old on that day.
    std::filesystem::create_directories(data.Path() / "Nimbrel");
    std::ofstream(data.Path() / "Nimbrel" / "rdap-dns.json") << DataFile("2027-05-01T00:00:00Z");
    EXPECT_EQ(Count(run(std::chrono::sys_days(2027y / 6 / 1)), "registry data is from"), 0u);
}

} // namespace
