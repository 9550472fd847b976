#pragma once

#include <array>
#include <string>

namespace results {

class ResultList;

// One row of the result list: the domain name as its caption, the sub-items in the order they
// were appended (suffix, availability, link popularity, traffic rank) and a check mark. A row
// keeps its identity wherever a sort moves it; once its list lets it go (a clear), changes to
// it reach no view any more.
class ResultRow {
public:
    ResultRow() = default;
    ResultRow(const ResultRow &) = delete;
    ResultRow &operator=(const ResultRow &) = delete;

    const std::string &Caption() const { return caption_; }
    void SetCaption(std::string caption);

    // A row has at most one sub-item for each column after the caption.
    static constexpr int MaxSubItems = 4;

    int SubItemCount() const { return subItemCount_; }
    // The sub-item at index, or nullptr when the row has no such sub-item.
    const std::string *SubItem(int index) const;
    // Adds a sub-item after the last; a row that has all MaxSubItems raises EListError.
    void AppendSubItem(std::string text);
    // Replaces an existing sub-item; a row without that sub-item is left as it is (false).
    bool SetSubItem(int index, std::string text);

    // The text shown in a column: 0 is the caption, column c the sub-item c - 1; nullptr when
    // the row lacks it.
    const std::string *Cell(int column) const;

    bool Checked() const { return checked_; }
    void SetChecked(bool checked);

    // Position in its list, -1 once the list has let it go.
    int Index() const { return index_; }
    // Whether the row still belongs to a list.
    bool Listed() const { return owner_ != nullptr; }

private:
    friend class ResultList;
    void Changed();

    ResultList *owner_ = nullptr;
    int index_ = -1;
    std::string caption_;
    // Held in the row itself: a list of a million rows is held in a million allocations, not
    // two million.
    std::array<std::string, MaxSubItems> subItems_;
    int subItemCount_ = 0;
    bool checked_ = false;
};

} // namespace results
