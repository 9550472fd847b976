#include "cli/RowPrinter.h"
#include "core/CheckRun.h"
#include "results/ResultsFile.h"
#include "tests/support/ProbeCalls.h"
#include "tests/support/TempFolder.h"
#include "ui/ResultTableModel.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Answers every name as free, with fixed details.
class FreeNames : public testsupport::ProbeCalls {
public:
    probes::Availability CheckAvailability(const std::string &, int) override {
        return probes::Availability::Free;
    }
    std::string GetLinkPopularity(const std::string &) override { return "12"; }
    std::string GetTrafficRank(const std::string &) override { return "34"; }
};

// A probe this test adds: a rating for every free name.
class RatingProbe : public probes::Probe {
public:
    std::vector<std::string> Fills() const override { return {"rating"}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        record.SetField("rating", std::to_string(record.name.size()));
    }
};

class Keywords : public core::KeywordsPrompt {
public:
    core::KeywordsAnswer ShowKeywordsModal() override { return core::KeywordsAnswer::Search; }
};

class NoStatus : public core::ProgressView {
public:
    void ShowProgress(const core::RunProgress &) override {}
    void ShowDone(const core::RunEnd &) override {}
};

TEST(AddedColumn, AProbeAndAColumnReachTheListTheTsvAndTheResultsFile) {
    const results::Columns columns = results::Columns::Standard().With(
        {"Rating", "rating", "rating", results::Ordering::Number});
    results::ResultList list(columns);
    core::SearchOptions options;
    options.keywords = {"fast", "car"};
    options.COM = true;
    options.SetSearchFor(core::kExactPhrase);
    options.SetShow(core::kShowAll);
    FreeNames calls;
    probes::ProbeList probes = testsupport::ProbeListOf(calls);
    probes.push_back(std::make_shared<RatingProbe>());
    core::StringList candidates, scratch;
    Keywords prompt;
    NoStatus status;
    core::CheckRun(options, candidates, scratch, list, probes, net::NetworkContext(), prompt,
                   status)
        .Start();

    ui::ResultTableModel model(list);
    // Right of the standard columns.
    const int rating = results::Columns::Standard().Count();
    ASSERT_EQ(model.columnCount(), rating + 1);
    EXPECT_EQ(model.headerData(rating, Qt::Horizontal).toString(), QStringLiteral("Rating"));
    EXPECT_EQ(model.data(model.index(0, rating)).toString(), QStringLiteral("8"));
    list.SortByColumn(rating);
    EXPECT_EQ(list.Row(0)->Caption(), "car.com");

    std::ostringstream tsv;
    cli::PrintRows(tsv, list, cli::OutputFormat::Tsv);
    EXPECT_EQ(tsv.str(), "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tsta"
                         "tus\tdisplay\thosts"
                         "\trating\tchecked\n"
                         "car.com\tcom\tYes\t12\t34\t-\t-\t-\t-\tcar.com\t-\t7\t1\n"
                         "fast.com\tcom\tYes\t12\t34\t-\t-\t-\t-\tfast.com\t-\t8\t1\n");

    TempFolder folder;
    const std::string path = (folder.Path() / "rated.nbr").string();
    results::WriteResultsFile(path, list);
    results::ResultList loaded(columns);
    results::ReadResultsFile(path, loaded);
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(*loaded.Row(1)->Cell(rating), "8");
    results::ResultList standard;
    results::ReadResultsFile(path, standard);
    EXPECT_EQ(standard.Row(1)->SubItemCount(), results::Columns::Standard().Count() - 1);
}

} // namespace
