#pragma once

#include "core/WatchList.h"
#include "results/ResultList.h"

#include <functional>

// Records a check run's rows in the watch list as the run decides them, each name in its own
// transaction, so a run stopped or killed part-way keeps every name it recorded. A row is
// recorded, in list order, as soon as it holds every column (a run of one name at a time fills
// a row after it appends it), and at the run's end whatever it holds. Rows whose availability
// is Unknown record nothing.
namespace core {

class WatchRecorder : public results::ResultListObserver {
public:
    // Told each change as it is recorded.
    using ChangeSink = std::function<void(const WatchChange &)>;

    // Follows list until it is destroyed.
    WatchRecorder(WatchList &watch, results::ResultList &list, ChangeSink sink);
    ~WatchRecorder() override;
    WatchRecorder(const WatchRecorder &) = delete;
    WatchRecorder &operator=(const WatchRecorder &) = delete;

    void ListReset() override;
    void RowsInserted(int first, int count) override;
    void CellsChanged(int, int) override;
    // Records the rows not recorded yet.
    void Finish();

    // Rows that were Unknown: their names keep what was recorded before.
    int Undecided() const { return undecided_; }
    // Rows the watch list could not record (busy beyond its wait, a full disk), and the first
    // reason; the run goes on with the other names.
    int Failed() const { return failed_; }
    const std::string &FirstFailure() const { return firstFailure_; }

private:
    void RecordFilledRows();
    void RecordRow(int position);

    WatchList &watch_;
    results::ResultList &list_;
    ChangeSink sink_;
    int recorded_ = 0;
    int undecided_ = 0;
    int failed_ = 0;
    std::string firstFailure_;
};

// The state a row of the standard columns shows, by its cells' keys; its availability Unknown
// when the row lacks it.
WatchState StateOfRow(const results::ResultList &list, int position);

} // namespace core
