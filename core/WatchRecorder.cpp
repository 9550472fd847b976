#include "core/WatchRecorder.h"

#include "base/FieldKeys.h"
#include "core/RowCells.h"

namespace core {
namespace {

// A cell's text by its column's key; a detail the row shows as absent is empty.
std::string CellOf(const results::ResultList &list, const results::ResultRow &row,
                   std::string_view key) {
    const auto column = list.GetColumns().IndexOfKey(key);
    if (!column)
        return {};
    const auto cell = row.Cell(*column);
    if (!cell || *cell == kNoDetail)
        return {};
    return std::string(*cell);
}

} // namespace

WatchState StateOfRow(const results::ResultList &list, int position) {
    const results::ResultRow &row = *list.Row(position);
    WatchState state;
    state.available = probes::AvailabilityFromWord(CellOf(list, row, base::field::kAvailable))
                          .value_or(probes::Availability::Unknown);
    state.status = CellOf(list, row, base::field::kStatus);
    state.expires = CellOf(list, row, base::field::kExpires);
    state.registrar = CellOf(list, row, base::field::kRegistrar);
    state.evidence = CellOf(list, row, base::field::kEvidence);
    return state;
}

WatchRecorder::WatchRecorder(WatchList &watch, results::ResultList &list, ChangeSink sink)
    : watch_(watch), list_(list), sink_(std::move(sink)) {
    list_.SetObserver(this);
}

WatchRecorder::~WatchRecorder() {
    list_.SetObserver(nullptr);
}

void WatchRecorder::ListReset() {
    recorded_ = 0;
}

void WatchRecorder::RowsInserted(int, int) {
    RecordFilledRows();
}

void WatchRecorder::CellsChanged(int, int) {
    RecordFilledRows();
}

void WatchRecorder::Finish() {
    for (; recorded_ < list_.Count(); ++recorded_)
        RecordRow(recorded_);
}

void WatchRecorder::RecordFilledRows() {
    const int lastColumn = list_.ColumnCount() - 1;
    for (; recorded_ < list_.Count() && list_.Row(recorded_)->Cell(lastColumn); ++recorded_)
        RecordRow(recorded_);
}

void WatchRecorder::RecordRow(int position) {
    const WatchState state = StateOfRow(list_, position);
    if (state.available == probes::Availability::Unknown) {
        ++undecided_;
        return;
    }
    // The caption is the name in the form the registries were asked in.
    const std::string name = list_.Row(position)->Caption();
    std::optional<WatchChange> change;
    try {
        change = watch_.Record(name, state);
    } catch (const EWatchListError &failure) {
        if (failed_++ == 0)
            firstFailure_ = failure.Message();
        return;
    }
    if (change && sink_)
        sink_(*change);
}

} // namespace core
