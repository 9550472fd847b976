#pragma once

#include "cli/CliOptions.h"
#include "results/ResultList.h"

#include <chrono>
#include <ostream>

namespace cli {

// The rows of a run printed as the run decides them, in list order, instead of all at its end:
// a long list's first answers reach a pipe while the rest are checked. A row goes out once the
// row after it is there or the run has ended (a run of one name at a time fills a row's details
// after it appends it). Not for a table or a sorted output, which need every row first. The
// output is flushed at most every 100 ms while rows come, and at the end.
class RowStream : public results::ResultListObserver {
public:
    // Follows list until it is destroyed.
    RowStream(std::ostream &out, results::ResultList &list, OutputFormat format);
    ~RowStream() override;
    RowStream(const RowStream &) = delete;
    RowStream &operator=(const RowStream &) = delete;

    // Whether rows in format, sorted or not, can be printed as they come.
    static bool Streams(OutputFormat format, bool sorted) {
        return !sorted && format != OutputFormat::Table;
    }

    void ListReset() override;
    void RowsInserted(int first, int count) override;
    void CellsChanged(int, int) override {}
    // Prints the rows not printed yet and what closes the output.
    void Finish();

private:
    void PrintUpTo(int end);

    std::ostream &out_;
    results::ResultList &list_;
    const OutputFormat format_;
    bool headPrinted_ = false;
    int printed_ = 0;
    std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

} // namespace cli
