#include "results/ResultList.h"

#include "results/MergeSort.h"
#include "results/RowOrder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace results {
namespace {

using Rows = std::vector<std::shared_ptr<ResultRow>>;

// A row's cell read once before the sort, so that the sort compares prepared keys rather than
// reading every cell again for every comparison. The keys compare exactly as CompareRows does.
struct TextKey {
    std::string_view text;
    bool present;
    std::uint32_t row;
};

struct NumberKey {
    double value;
    bool valid;
    std::uint32_t row;
};

std::vector<TextKey> TextKeys(const Rows &rows, int column) {
    std::vector<TextKey> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::optional<std::string_view> cell = rows[i]->Cell(column);
        keys.push_back(
            {cell.value_or(std::string_view()), cell.has_value(), static_cast<std::uint32_t>(i)});
    }
    return keys;
}

std::vector<NumberKey> NumberKeys(const Rows &rows, int column, char separator) {
    std::vector<NumberKey> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::optional<std::string_view> cell = rows[i]->Cell(column);
        const std::optional<double> number = cell ? CellNumber(*cell, separator) : std::nullopt;
        keys.push_back({number.value_or(0.0), number.has_value(), static_cast<std::uint32_t>(i)});
    }
    return keys;
}

template <typename Key> Rows InKeyOrder(Rows &rows, const std::vector<Key> &keys) {
    Rows sorted;
    sorted.reserve(rows.size());
    for (const Key &key : keys)
        sorted.push_back(std::move(rows[key.row]));
    return sorted;
}

Rows SortedRows(Rows &rows, int column, Ordering ordering, char separator) {
    if (ordering == Ordering::Number) {
        std::vector<NumberKey> keys = NumberKeys(rows, column, separator);
        MergeSort(keys, [](const NumberKey &a, const NumberKey &b) {
            return a.valid && b.valid ? CompareNumbers(a.value, b.value) : 0;
        });
        return InKeyOrder(rows, keys);
    }
    const bool descending = ordering == Ordering::TextDescending;
    std::vector<TextKey> keys = TextKeys(rows, column);
    MergeSort(keys, [descending](const TextKey &a, const TextKey &b) {
        if (!a.present || !b.present)
            return 0;
        return descending ? CompareCellText(b.text, a.text) : CompareCellText(a.text, b.text);
    });
    return InKeyOrder(rows, keys);
}

} // namespace

ResultList::ResultList(Columns columns) : columns_(std::move(columns)) {}

ResultList::~ResultList() {
    for (const auto &row : rows_)
        Detach(*row);
}

void ResultList::Clear() {
    for (const auto &row : rows_)
        Detach(*row);
    rows_.clear();
    selected_ = nullptr;
    ++generation_;
    Reset();
}

void ResultList::Clear(const Columns &captions) {
    for (const results::Column &column : captions)
        columns_ = columns_.WithCaption(column.key, column.caption);
    Clear();
}

std::shared_ptr<ResultRow> ResultList::Append() {
    auto row = std::make_shared<ResultRow>();
    row->owner_ = this;
    row->index_ = Count();
    rows_.push_back(row);
    Inserted(row->index_);
    return row;
}

const std::shared_ptr<ResultRow> &ResultList::Row(int position) const {
    if (position < 0 || position >= Count())
        throw EListError("List index out of bounds (" + std::to_string(position) + ")");
    return rows_[static_cast<std::size_t>(position)];
}

int ResultList::SelectedIndex() const {
    return selected_ ? selected_->Index() : -1;
}

void ResultList::SetSelectedIndex(int position) {
    selected_ = position >= 0 && position < Count() ? Row(position).get() : nullptr;
}

std::shared_ptr<ResultRow> ResultList::SelectedRow() const {
    const int position = SelectedIndex();
    return position < 0 ? nullptr : Row(position);
}

void ResultList::SortByColumn(int column) {
    sortColumn_ = column;
    if (rows_.size() < 2 || !columns_.Has(column))
        return;
    rows_ = SortedRows(rows_, column, columns_.At(column).ordering, LocaleDecimalSeparator());
    Reordered();
}

int ResultList::CompareInSortOrder(const ResultRow &row1, const ResultRow &row2) const {
    return CompareRows(row1, row2, sortColumn_, columns_, LocaleDecimalSeparator());
}

void ResultList::BeginUpdate() {
    ++updateDepth_;
}

void ResultList::EndUpdate() {
    if (updateDepth_ == 0 || --updateDepth_ > 0)
        return;
    const bool structureChanged = structureChanged_;
    const int first = changedFirst_;
    const int last = changedLast_;
    structureChanged_ = false;
    changedFirst_ = changedLast_ = -1;
    if (!observer_)
        return;
    if (structureChanged)
        observer_->ListReset();
    else if (first >= 0)
        observer_->CellsChanged(first, last);
}

void ResultList::RowChanged(int position) {
    if (updateDepth_ > 0) {
        changedFirst_ = changedFirst_ < 0 ? position : std::min(changedFirst_, position);
        changedLast_ = std::max(changedLast_, position);
        return;
    }
    if (observer_)
        observer_->CellsChanged(position, position);
}

void ResultList::Reordered() {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        rows_[i]->index_ = static_cast<int>(i);
    Reset();
}

void ResultList::Reset() {
    if (updateDepth_ > 0) {
        structureChanged_ = true;
        return;
    }
    if (observer_)
        observer_->ListReset();
}

void ResultList::Inserted(int position) {
    if (updateDepth_ > 0) {
        structureChanged_ = true;
        return;
    }
    if (observer_)
        observer_->RowsInserted(position, 1);
}

void ResultList::Detach(ResultRow &row) {
    row.owner_ = nullptr;
    row.index_ = -1;
}

} // namespace results
