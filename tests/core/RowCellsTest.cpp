#include "core/RowCells.h"

#include "results/ResultList.h"
#include "results/ResultsFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

using probes::Availability;

// A record's availability becomes the word its row shows, the word is what a results file
// stores, and the word read back from the file gives the same availability.
TEST(RowCells, AvailabilityWordsSurviveTheResultsFile) {
    const struct {
        Availability availability;
        const char *word;
    } cases[] = {{Availability::Free, "Yes"},
                 {Availability::Taken, "No"},
                 {Availability::Unknown, "Unknown"}};
    results::ResultList list(results::Columns::Standard());
    for (const auto &c : cases) {
        probes::DomainRecord record;
        record.name = std::string(c.word) + ".com";
        record.suffix = "com";
        record.available = c.availability;
        core::AppendCells(*list.Append(), record, list.GetColumns(),
                          core::Missing::ShowPlaceholder);
    }
    const TempFolder folder("nimbrel-rowcells");
    const std::string path = folder.PathOf("words.nbr");
    results::WriteResultsFile(path, list);
    results::ResultList loaded(results::Columns::Standard());
    results::LoadResultsFile(path, loaded);

    ASSERT_EQ(loaded.Count(), 3);
    const int column = *loaded.GetColumns().IndexOfKey(base::field::kAvailable);
    for (int k = 0; k < loaded.Count(); ++k) {
        const std::string_view cell = *loaded.Row(k)->Cell(column);
        EXPECT_EQ(cell, cases[k].word);
        EXPECT_EQ(probes::AvailabilityFromWord(cell), cases[k].availability) << cell;
    }
    EXPECT_EQ(probes::AvailabilityFromWord("yes"), std::nullopt);
    EXPECT_EQ(probes::AvailabilityFromWord(""), std::nullopt);
}

} // namespace
