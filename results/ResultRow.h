#pragma once

#include <string>
#include <vector>

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

    int SubItemCount() const { return static_cast<int>(subItems_.size()); }
    // The sub-item at index, or nullptr when the row has no such sub-item.
    const std::string *SubItem(int index) const;
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
    std::vector<std::string> subItems_;
    bool checked_ = false;
};

} // namespace results
