#include "registry/ParkingServices.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using registry::ParkingServices;

TEST(ParkingServices, NameServersMatchTheirDomainOrOneBelowIt) {
    ParkingServices parking;
    parking.AddText("# a comment line\n"
                    "sedoparking.com\n"
                    "Parking1.OVH.net   OVH parking  # upper case is read as lower\r\n"
                    "\n"
                    "not a domain\n"
                    "bad..example\n"
                    ".lead.example\n"
                    "single\n"
                    "under_score.example\n");
    EXPECT_EQ(parking.Count(), 2u);
    struct Case {
        std::vector<std::string> nameServers;
        std::optional<std::string> service;
    } cases[] = {
        {{"ns1.sedoparking.com", "ns2.sedoparking.com"}, "sedoparking.com"},
        {{"sedoparking.com"}, "sedoparking.com"},
        {{"NS1.SedoParking.COM"}, "sedoparking.com"},
        {{"ns1.hosting.example", "a.ns.parking1.ovh.net"}, "OVH parking"},
        {{"ns1.notsedoparking.com"}, std::nullopt},
        {{"sedoparking.com.example"}, std::nullopt},
        {{"parking2.ovh.net"}, std::nullopt},
        {{"com"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parking.ServiceOf(c.nameServers), c.service)
            << ::testing::PrintToString(c.nameServers);
}

TEST(ParkingServices, FilesAreReadWithinBoundsAndOnesThatCannotBeReadAreSaid) {
    TempFolder folder;
    std::ofstream(folder.PathOf("user.txt")) << "parkingcrew.net ParkingCrew\n";
    std::ofstream(folder.PathOf("huge.txt")) << std::string(ParkingServices::kLargestFile + 1, '#');
    ParkingServices parking;
    EXPECT_EQ(parking.AddFile(folder.PathOf("user.txt")), std::nullopt);
    EXPECT_TRUE(parking.AddFile(folder.PathOf("huge.txt")));
    EXPECT_TRUE(parking.AddFile(folder.PathOf("missing.txt")));
    EXPECT_TRUE(parking.AddFile(folder.Path()));
    EXPECT_EQ(parking.ServiceOf({"ns1.parkingcrew.net"}), "ParkingCrew");

    std::string many;
    for (std::size_t i = 0; i < ParkingServices::kMostDomains + 5; ++i)
        many.append("d").append(std::to_string(i)).append(".example\n");
    ParkingServices full;
    full.AddText(many);
    EXPECT_EQ(full.Count(), ParkingServices::kMostDomains);
}

TEST(ParkingServices, TheInstalledListReadsAndLeavesOutBrandProtection) {
    ParkingServices parking;
    ASSERT_EQ(
        parking.AddFile(std::string(NIMBREL_BINARY_DIR) + "/share/nimbrel/parking-nameservers.txt"),
        std::nullopt);
    EXPECT_GE(parking.Count(), 15u);
    EXPECT_TRUE(parking.ServiceOf({"ns1.sedoparking.com"}));
    EXPECT_FALSE(parking.ServiceOf({"ns1.markmonitor.com"}));
}

} // namespace
