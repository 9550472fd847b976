#include "core/LinkedNames.h"

#include "core/CheckSetup.h"
#include "rankindex/RankImport.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WebGraphFiles.h"

#include <gtest/gtest.h>

namespace core {
namespace {

struct Listed {
    const char *reversed;
    std::uint32_t hosts;
};

// In harmonic order; fillers follow, every 400th of them holding "car".
const Listed kListed[] = {
    {"com.carshop", 40},    {"net.bestcars", 3},     {"com.example", 100}, {"com.scarf", 1},
    {"org.carpool", 5},     {"de.xn--bcher-kva", 8}, {"com.CARBON", 2},    {"uk.co.carhire", 9},
    {"com.blog.carfan", 6}, {"com.shop-car", 0},
};
constexpr int kFillers = 2000;

std::string FillerName(int i) {
    return i % 400 == 0 ? "com.carfill" + std::to_string(i) : "com.filler" + std::to_string(i);
}

class LinkedNamesTest : public ::testing::Test {
protected:
    LinkedNamesTest() {
        std::string text = testsupport::kWebGraphHeader;
        std::uint64_t position = 0;
        for (const Listed &listed : kListed)
            text += testsupport::WebGraphRow(++position, listed.reversed, listed.hosts);
        for (int i = 1; i <= kFillers; ++i)
            text += testsupport::WebGraphRow(++position, FillerName(i), 1);
        const auto source = folder_.Path() / "ranks.txt.gz";
        testsupport::WriteGzipFile(source, text);
        rankindex::ImportRankFile(rankindex::RankKind::WebGraph, source, folder_.Path());
        index_ = std::make_shared<const rankindex::RankIndex>(
            rankindex::IndexPath(folder_.Path(), rankindex::RankKind::WebGraph));
    }

    std::vector<std::string> All(const LinkedNamesQuery &query, std::size_t page,
                                 std::stop_token stop = {}) const {
        LinkedNames names(index_, query, stop, page);
        std::vector<std::string> found;
        while (auto name = names.Next())
            found.push_back(*name);
        EXPECT_EQ(names.Count(), found.size());
        return found;
    }

    TempFolder folder_{"nimbrel-linked"};
    std::shared_ptr<const rankindex::RankIndex> index_;
};

struct SearchCase {
    const char *label;
    std::vector<std::string> keywords;
    std::vector<std::string> suffixes;
    std::uint32_t minHosts;
    std::size_t maxLength;
    std::vector<std::string> expected;
};

TEST_F(LinkedNamesTest, FindsNamesInLinkOrderWhateverThePageSize) {
    const std::vector<std::string> carFillers = {"carfill400.com", "carfill800.com",
                                                 "carfill1200.com", "carfill1600.com",
                                                 "carfill2000.com"};
    auto withFillers = [&](std::vector<std::string> head) {
        head.insert(head.end(), carFillers.begin(), carFillers.end());
        return head;
    };
    const SearchCase cases[] = {
        // A host below a registered name (carfan.blog.com) and a name without hosts stay out.
        {"one keyword",
         {"car"},
         {"com"},
         1,
         0,
         withFillers({"carshop.com", "scarf.com", "carbon.com"})},
        {"every keyword", {"car", "shop"}, {"com"}, 1, 0, {"carshop.com"}},
        {"keywords in either order",
         {"shop", "car"},
         {"com"},
         0,
         0,
         {"carshop.com", "shop-car.com"}},
        {"several suffixes merge by rank",
         {"car"},
         {"net", "org"},
         1,
         0,
         {"bestcars.net", "carpool.org"}},
        {"two-label suffix", {"car"}, {"co.uk"}, 1, 0, {"carhire.co.uk"}},
        {"min hosts", {"car"}, {"com", "net", "org"}, 5, 0, {"carshop.com", "carpool.org"}},
        {"max length", {"car"}, {"com"}, 1, 6, {"scarf.com", "carbon.com"}},
        {"punycode keyword", {"xn--bcher"}, {"de"}, 1, 0, {"xn--bcher-kva.de"}},
        {"unicode keyword in its ascii form",
         {"b\xC3\xBC"
          "cher"},
         {"de"},
         1,
         0,
         {"xn--bcher-kva.de"}},
        {"suffix without names", {"car"}, {"xyz"}, 1, 0, {}},
        {"keyword nowhere", {"zebra"}, {"com"}, 1, 0, {}},
    };
    for (const SearchCase &c : cases) {
        SCOPED_TRACE(c.label);
        SearchOptions options;
        options.COM = false;
        options.keywords = c.keywords;
        for (const std::string &suffix : c.suffixes)
            options.suffixes += suffix + ",";
        options.minHosts = c.minHosts;
        options.maxNameLength = c.maxLength;
        const LinkedNamesQuery query = LinkedNamesQueryFor(options);
        // Pages of one and of three names go through many passes; the last takes one.
        for (const std::size_t page : {1u, 3u, 8192u})
            EXPECT_EQ(All(query, page), c.expected) << "page " << page;
    }
}

TEST_F(LinkedNamesTest, StopEndsTheScanAndTheWaits) {
    const LinkedNamesQuery query{{"fill"}, {"com"}, 1, 0};
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_TRUE(All(query, 1, stopped.get_token()).empty());

    std::stop_source stop;
    LinkedNames names(index_, query, stop.get_token(), 1);
    ASSERT_TRUE(names.Next());
    stop.request_stop();
    // At most the page scanned already comes out; then the list ends.
    std::size_t after = 0;
    while (names.Next())
        ++after;
    EXPECT_LE(after, 2u);
    EXPECT_TRUE(names.WaitReady(std::chrono::milliseconds(0)));
}

TEST_F(LinkedNamesTest, SetupRefusesAWebGraphWithoutNames) {
    SearchOptions options;
    options.SetSearchMode(kLinkedNames);
    options.SetLinksFrom(kFromWeb);
    options.SetRankFrom(kFromWeb);
    options.SetCheck(kCheckWeb);
    index_.reset();
    TempFolder empty{"nimbrel-linked-none"};
    EXPECT_THROW(ChooseCheckSetup(options, empty.Path()), ENoIndex);
    const CheckSetup setup = ChooseCheckSetup(options, folder_.Path());
    ASSERT_TRUE(setup.webGraph);
    ASSERT_EQ(setup.probes.size(), 3u);
    EXPECT_FALSE(setup.probes[1]->OnlyForAvailable());

    testsupport::MakeHashOnly(rankindex::IndexPath(folder_.Path(), rankindex::RankKind::WebGraph));
    try {
        ChooseCheckSetup(options, folder_.Path());
        ADD_FAILURE() << "a hash-only index was taken";
    } catch (const ENoIndex &error) {
        EXPECT_EQ(error.Message(), kHashOnlyIndexText);
    }
}

} // namespace
} // namespace core
