#include "cli/RowStream.h"

#include "cli/RowPrinter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using cli::OutputFormat;

void AddRow(results::ResultList &list, int i) {
    auto row = list.Append();
    row->SetCaption("name" + std::to_string(i) + ".com");
    for (const char *cell : {"com", i % 2 ? "No" : "Yes", "12", "3"})
        row->AppendSubItem(cell);
    row->SetChecked(i % 2 == 0);
}

// Each row goes out once the next one is there, and the whole output is what printing the
// finished list at once gives, for every format that can stream and for an empty run.
TEST(RowStream, PrintsEachRowOnceTheNextIsThereAndEndsAsPrintingAllAtOnce) {
    for (const OutputFormat format : {OutputFormat::Tsv, OutputFormat::Csv, OutputFormat::Json}) {
        for (const int rows : {0, 1, 3}) {
            results::ResultList list;
            std::ostringstream streamed;
            {
                cli::RowStream stream(streamed, list, format);
                list.Clear();
                for (int i = 0; i < rows; ++i) {
                    AddRow(list, i);
                    if (i > 0) {
                        EXPECT_NE(streamed.str().find("name" + std::to_string(i - 1) + ".com"),
                                  std::string::npos);
                    }
                    EXPECT_EQ(streamed.str().find("name" + std::to_string(i) + ".com"),
                              std::string::npos);
                }
                stream.Finish();
            }
            std::ostringstream whole;
            cli::PrintRows(whole, list, format);
            EXPECT_EQ(streamed.str(), whole.str()) << static_cast<int>(format) << " " << rows;
        }
    }
    EXPECT_FALSE(cli::RowStream::Streams(OutputFormat::Table, false));
    EXPECT_FALSE(cli::RowStream::Streams(OutputFormat::Tsv, true));
}

} // namespace
