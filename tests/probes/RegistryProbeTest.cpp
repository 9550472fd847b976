#include "probes/RegistryProbe.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace {

using namespace std::chrono_literals;

TEST(RegistryContext, ARunsStopEndsItsRetryWaitsAndLimitsButNotTheNextRuns) {
    probes::RegistryContext registry({});
    EXPECT_TRUE(registry.Wait(0ms));
    EXPECT_TRUE(registry.Limiter().Acquire("rdap.test"));
    std::stop_source run;
    run.request_stop();
    EXPECT_FALSE(registry.Wait(1h, run.get_token()));
    EXPECT_FALSE(registry.Limiter().Acquire("rdap.test", run.get_token()));
    EXPECT_TRUE(registry.Wait(0ms));
    EXPECT_TRUE(registry.Limiter().Acquire("rdap.test"));

}

TEST(RegistryContext, MergesBootstrapFilesInOrderAndRefusesUnusableOnes) {
    TempFolder folder;
    const auto write = [&](const std::string &name, const std::string &text) {
        std::ofstream(folder.PathOf(name)) << text;
        return folder.PathOf(name);
    };
    probes::RegistrySettings settings;
    settings.bootstrapFiles = {
        write("a.json", R"({"services": [[["io", "com"], ["https://a.test/"]]]})"),
        write("b.json", R"({"services": [[["io"], ["https://b.test/x"]]]})")};
    const probes::RegistryContext registry(settings);
    EXPECT_EQ(registry.Bootstrap().ServerFor("car.io"), "https://b.test/x/");
    EXPECT_EQ(registry.Bootstrap().ServerFor("car.com"), "https://a.test/");
    EXPECT_EQ(registry.Bootstrap().ServerFor("car.org"),
              "https://rdap.publicinterestregistry.org/rdap/");

    settings.bootstrapFiles = {write("bad.json", "[1, 2")};
    EXPECT_THROW(probes::RegistryContext{settings}, registry::ERdapBootstrapError);
    settings.bootstrapFiles.clear();
    settings.tls.CAFile = folder.PathOf("missing.pem");
    EXPECT_THROW(probes::RegistryContext{settings}, net::EIdTLSError);
}

} // namespace
