#pragma once

#include "base/Exception.h"
#include "results/Columns.h"
#include "results/ResultRow.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace results {

// A position outside the list.
class EListError : public base::Exception {
public:
    using Exception::Exception;
};

// What a view learns of the list. Every call comes after the change it reports.
class ResultListObserver {
public:
    virtual ~ResultListObserver() = default;

    // Any row may have gone, moved or changed: after a clear, a sort or a batch of changes.
    virtual void ListReset() = 0;
    // count rows now stand at positions first to first + count - 1.
    virtual void RowsInserted(int first, int count) = 0;
    // Captions, sub-items or check marks of the rows firstRow to lastRow have changed.
    virtual void CellsChanged(int firstRow, int lastRow) = 0;
};

// The rows of the result list in display order, the selected row and the sort column. The list
// owns its rows; anyone who must follow a row across sorts keeps a weak reference to it and
// the generation it saw, and drops its work once either is gone.
class ResultList {
public:
    // Positions of the standard columns.
    enum Column {
        DomainName = 0,
        TopLevel = 1,
        Available = 2,
        LinkPopularity = 3,
        AlexaRanking = 4
    };

    explicit ResultList(Columns columns = Columns::Standard());
    ~ResultList();
    ResultList(const ResultList &) = delete;
    ResultList &operator=(const ResultList &) = delete;

    // Removes every row and raises the generation.
    void Clear();
    // Clear, and the columns take the captions of the columns of the same key in captions (the
    // rows to come get a detail from elsewhere: an index instead of the web); the keys and the
    // count of columns stay.
    void Clear(const Columns &captions);
    // A new, empty, unchecked row at the end.
    std::shared_ptr<ResultRow> Append();

    int Count() const { return static_cast<int>(rows_.size()); }
    // The row at a 0-based position; raises EListError outside the list.
    const std::shared_ptr<ResultRow> &Row(int position) const;
    // Raised by every Clear, so that work begun on the old rows can tell they are gone.
    std::uint64_t Generation() const { return generation_; }

    // The selected row's position, -1 when no row is selected.
    int SelectedIndex() const;
    // Selects the row at position; -1 or a position outside the list selects none.
    void SetSelectedIndex(int position);
    std::shared_ptr<ResultRow> SelectedRow() const;

    const Columns &GetColumns() const { return columns_; }
    int ColumnCount() const { return columns_.Count(); }

    int SortColumn() const { return sortColumn_; }
    // Stores the column and sorts every row by it.
    void SortByColumn(int column);
    // Negative places row1 before row2, positive after it, 0 when they compare equal, by the
    // ordering rule of the sort column.
    int CompareInSortOrder(const ResultRow &row1, const ResultRow &row2) const;

    // The view told of changes; nullptr for none.
    void SetObserver(ResultListObserver *observer) { observer_ = observer; }
    // Holds back notifications until the matching EndUpdate, which reports the batch at once:
    // one CellsChanged when only cells changed, otherwise one ListReset.
    void BeginUpdate();
    void EndUpdate();

private:
    friend class ResultRow;
    void RowChanged(int position);
    void Reordered();
    void Reset();
    void Inserted(int position);
    void Detach(ResultRow &row);

    Columns columns_;
    std::vector<std::shared_ptr<ResultRow>> rows_;
    std::uint64_t generation_ = 0;
    const ResultRow *selected_ = nullptr;
    int sortColumn_ = DomainName;
    ResultListObserver *observer_ = nullptr;

    int updateDepth_ = 0;
    bool structureChanged_ = false;
    int changedFirst_ = -1;
    int changedLast_ = -1;
};

// Ends an update batch however the scope is left.
class ResultListUpdate {
public:
    explicit ResultListUpdate(ResultList &list) : list_(list) { list_.BeginUpdate(); }
    ~ResultListUpdate() { list_.EndUpdate(); }
    ResultListUpdate(const ResultListUpdate &) = delete;
    ResultListUpdate &operator=(const ResultListUpdate &) = delete;

private:
    ResultList &list_;
};

} // namespace results
