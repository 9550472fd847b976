#include "probes/RankIndexProbe.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestIndexes.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace probes {
namespace {

using testsupport::ImportTestIndex;
using testsupport::WebGraphLine;

class RankIndexProbeTest : public ::testing::Test {
protected:
    RankIndexProbeTest() {
        ImportTestIndex(rankindex::RankKind::WebGraph, folder_.Path(),
                        WebGraphLine(12, "com.lapsed") + WebGraphLine(3, "org.xn--caf-dma"));
        ImportTestIndex(rankindex::RankKind::RankList, folder_.Path(),
                        "1,google.com\n42,busy.net\n");
        graph_ = std::make_shared<const rankindex::RankIndex>(
            rankindex::IndexPath(Folder(), rankindex::RankKind::WebGraph));
        list_ = std::make_shared<const rankindex::RankIndex>(
            rankindex::IndexPath(Folder(), rankindex::RankKind::RankList));
    }
    std::filesystem::path Folder() const { return folder_.Path() / "Nimbrel"; }

    TempFolder folder_{"nimbrel-index-probe"};
    std::shared_ptr<const rankindex::RankIndex> graph_, list_;
};

TEST_F(RankIndexProbeTest, AnswersFromItsIndexAndNamesItAsEvidence) {
    const RankIndexProbe links(graph_), rank(list_);
    // The web graph keeps its names, so its probe gives their host counts too.
    EXPECT_EQ(links.Fills(), (std::vector<std::string>{"links", "evidence", "hosts"}));
    EXPECT_EQ(rank.Fills(), (std::vector<std::string>{"rank", "evidence"}));
    EXPECT_TRUE(links.OnlyForAvailable() && rank.OnlyForAvailable());

    const std::string graphDay = IndexEvidence(graph_->Info());
    const std::string listDay = IndexEvidence(list_->Info());
    ASSERT_TRUE(graphDay.starts_with("web graph (2")) << graphDay;
    ASSERT_EQ(graphDay.size(), std::string("web graph (2026-12-01)").size());
    ASSERT_TRUE(listDay.starts_with("rank list (2")) << listDay;

    const struct {
        const char *name;
        std::optional<std::string> links, rank, hosts;
    } cases[] = {
        {"lapsed.com", "12", "", "1"},     {"LAPSED.com.", "12", "", "1"},
        {"xn--caf-dma.org", "3", "", "1"}, {"busy.net", "", "42", ""},
        {"nowhere.com", "", "", ""},
    };
    for (const auto &c : cases) {
        DomainRecord record;
        record.name = c.name;
        links.Run(record, net::NetworkContext(), {});
        rank.Run(record, net::NetworkContext(), {});
        EXPECT_EQ(record.links, c.links) << c.name;
        EXPECT_EQ(record.rank, c.rank) << c.name;
        EXPECT_EQ(record.Field("hosts"), c.hosts) << c.name;
        EXPECT_EQ(record.Field("evidence"), graphDay + "; " + listDay) << c.name;
    }
}

TEST_F(RankIndexProbeTest, ThreadsShareOneProbeAndItsIndex) {
    const RankIndexProbe links(graph_);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                DomainRecord record;
                record.name = i % 2 ? "lapsed.com" : "other.com";
                links.Run(record, net::NetworkContext(), {});
                if (record.links != (i % 2 ? "12" : ""))
                    ++wrong;
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(DomainRecord, EvidenceAddsEachSourceOnce) {
    const struct {
        std::vector<std::string> sources;
        const char *evidence;
    } cases[] = {
        {{"web graph (2026-12-01)"}, "web graph (2026-12-01)"},
        {{"rdap", "web graph (2026-12-01)"}, "rdap; web graph (2026-12-01)"},
        {{"rdap", "rank list (2026-12-01)", "rdap", "rank list (2026-12-01)"},
         "rdap; rank list (2026-12-01)"},
        {{"rank list (2026-12-01)", "rank list"}, "rank list (2026-12-01); rank list"},
    };
    for (const auto &c : cases) {
        DomainRecord record;
        for (const std::string &source : c.sources)
            record.AddEvidence(source);
        EXPECT_EQ(record.Field("evidence"), c.evidence);
    }
}

// A time past the year 9999 (or before 1970) comes only from a damaged or forged index: it is
// said to be invalid rather than printed cut or wrapped.
TEST(IndexEvidenceTest, ShowsTheImportDayOrThatItIsInvalid) {
    const struct {
        std::int64_t importTime;
        const char *evidence;
    } cases[] = {
        {0, "rank list (1970-01-01)"},
        {1717243200, "rank list (2024-06-01)"},
        {253402300799, "rank list (9999-12-31)"},
        {253402300800, "rank list (invalid date)"},
        {67767976233316800, "rank list (invalid date)"},
        {std::numeric_limits<std::int64_t>::max(), "rank list (invalid date)"},
        {-1, "rank list (invalid date)"},
    };
    for (const auto &c : cases) {
        rankindex::RankIndexInfo info;
        info.kind = rankindex::RankKind::RankList;
        info.importTime = c.importTime;
        EXPECT_EQ(IndexEvidence(info), c.evidence) << c.importTime;
    }
}

} // namespace
} // namespace probes
