#include "core/CheckSetup.h"

#include "probes/RegistryProbe.h"

#include "core/ForceDetails.h"
#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/RankIndexProbe.h"
#include "probes/TrafficRankProbe.h"
#include "results/ResultList.h"
#include "tests/support/ScriptedApplication.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestIndexes.h"

#include <gtest/gtest.h>

namespace {

using core::CheckSetup;
using rankindex::RankKind;

class CheckSetupTest : public ::testing::Test {
protected:
    void ImportGraph() {
        testsupport::ImportTestIndex(RankKind::WebGraph, data_.Path(),
                                     testsupport::WebGraphLine(12, "com.lapsed"));
    }
    void ImportList() {
        testsupport::ImportTestIndex(RankKind::RankList, data_.Path(),
                                     "1,google.com\n42,busy.net\n");
    }
    std::filesystem::path Folder() const { return data_.Path() / "Nimbrel"; }
    CheckSetup Setup(std::int32_t linksFrom, std::int32_t rankFrom) const {
        core::SearchOptions options;
        options.SetCheck(core::kCheckWeb);
        options.SetLinksFrom(linksFrom);
        options.SetRankFrom(rankFrom);
        return core::ChooseCheckSetup(options, Folder());
    }

    // "web" or "index" for each probe after the availability, and the captions of the detail
    // columns.
    static std::string Describe(const CheckSetup &setup) {
        std::string text;
        EXPECT_EQ(setup.probes.size(), 3u);
        EXPECT_TRUE(dynamic_cast<const probes::AvailabilityProbe *>(setup.probes.at(0).get()));
        for (std::size_t i = 1; i < setup.probes.size(); ++i)
            text += dynamic_cast<const probes::RankIndexProbe *>(setup.probes[i].get()) ? "index "
                                                                                        : "web ";
        for (const char *key : {"links", "rank"})
            text += "/" + setup.columns.At(*setup.columns.IndexOfKey(key)).caption;
        return text;
    }

    TempFolder data_{"nimbrel-setup"};
};

TEST_F(CheckSetupTest, EachDetailComesFromItsIndexWhenPresentAndAllowed) {
    using core::kFromIndex, core::kFromWeb, core::kIndexWhenPresent;
    const std::string web = "web web /Link Popularity/Alexa Ranking";
    EXPECT_EQ(Describe(Setup(kIndexWhenPresent, kIndexWhenPresent)), web);
    ImportList();
    EXPECT_EQ(Describe(Setup(kIndexWhenPresent, kIndexWhenPresent)),
              "web index /Link Popularity/Traffic rank");
    ImportGraph();
    const struct {
        std::int32_t linksFrom, rankFrom;
        const char *described;
    } cases[] = {
        {kIndexWhenPresent, kIndexWhenPresent, "index index /Links (rank)/Traffic rank"},
        {kFromIndex, kFromIndex, "index index /Links (rank)/Traffic rank"},
        {kFromWeb, kFromWeb, "web web /Link Popularity/Alexa Ranking"},
        {kFromWeb, kIndexWhenPresent, "web index /Link Popularity/Traffic rank"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Describe(Setup(c.linksFrom, c.rankFrom)), c.described);
    // The keys and their order stay those of the results file.
    const CheckSetup indexed = Setup(kIndexWhenPresent, kIndexWhenPresent);
    for (int c = 0; c < indexed.columns.Count(); ++c) {
        EXPECT_EQ(indexed.columns.At(c).key, results::Columns::Standard().At(c).key);
        EXPECT_EQ(indexed.columns.At(c).ordering, results::Columns::Standard().At(c).ordering);
    }
}

TEST_F(CheckSetupTest, AMissingOrDamagedIndexFallsBackToTheWebUnlessRequired) {
    using core::kFromIndex, core::kIndexWhenPresent;
    EXPECT_THROW(Setup(kFromIndex, kIndexWhenPresent), core::ENoIndex);
    EXPECT_THROW(Setup(kIndexWhenPresent, kFromIndex), core::ENoIndex);
    EXPECT_NO_THROW(core::ChooseCheckSetup(core::SearchOptions(), {}));
    const CheckSetup registry = core::ChooseCheckSetup(core::SearchOptions(), {});
    EXPECT_TRUE(dynamic_cast<const probes::RegistryProbe *>(registry.probes.at(0).get()));

    ImportList();
    // A rank list where the web graph belongs, and a cut-short rank list.
    std::filesystem::copy_file(rankindex::IndexPath(Folder(), RankKind::RankList),
                               rankindex::IndexPath(Folder(), RankKind::WebGraph));
    std::filesystem::resize_file(rankindex::IndexPath(Folder(), RankKind::RankList), 100);
    const CheckSetup fallen = Setup(kIndexWhenPresent, kIndexWhenPresent);
    EXPECT_EQ(Describe(fallen), "web web /Link Popularity/Alexa Ranking");
    ASSERT_EQ(fallen.notes.size(), 2u);
    EXPECT_NE(fallen.notes[0].find("holds no web graph; asking the web instead"), std::string::npos)
        << fallen.notes[0];
    EXPECT_NE(fallen.notes[1].find("cut short"), std::string::npos) << fallen.notes[1];
    EXPECT_THROW(Setup(kFromIndex, kIndexWhenPresent), core::ENoIndex);
}

TEST_F(CheckSetupTest, ForceDetailsFillsATakenRowFromTheIndexes) {
    ImportGraph();
    ImportList();
    const CheckSetup setup = Setup(core::kIndexWhenPresent, core::kIndexWhenPresent);
    const std::string graphDay = probes::IndexEvidence(
        rankindex::RankIndex(rankindex::IndexPath(Folder(), RankKind::WebGraph)).Info());
    const std::string listDay = probes::IndexEvidence(
        rankindex::RankIndex(rankindex::IndexPath(Folder(), RankKind::RankList)).Info());

    const struct {
        const char *name;
        std::string evidenceBefore;
        std::vector<std::string> after;
    } cases[] = {
        {"busy.net", "-", {"busy.net", "net", "No", "", "42", graphDay + "; " + listDay}},
        {"lapsed.com",
         "rdap",
         {"lapsed.com", "com", "No", "12", "", "rdap; " + graphDay + "; " + listDay}},
        // Forced twice: each source is named once.
        {"x.com",
         "rdap; " + graphDay + "; " + listDay,
         {"x.com", "com", "No", "", "", "rdap; " + graphDay + "; " + listDay}},
    };
    ScriptedApplication app;
    for (const auto &c : cases) {
        results::ResultList list(setup.columns);
        auto row = list.Append();
        row->SetCaption(c.name);
        const std::string suffix = std::string(c.name).substr(std::string(c.name).rfind('.') + 1);
        for (const std::string &cell :
             {suffix, std::string("No"), std::string("-"), std::string("-"), c.evidenceBefore})
            row->AppendSubItem(cell);
        list.SetSelectedIndex(0);
        core::ForceDetails(list, setup.probes, net::NetworkContext());
        std::vector<std::string> cells{row->Caption()};
        for (int i = 0; i < row->SubItemCount(); ++i)
            cells.emplace_back(*row->SubItem(i));
        EXPECT_EQ(cells, c.after) << c.name;
    }
}

} // namespace
