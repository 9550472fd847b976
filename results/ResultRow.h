#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace results {

class ResultList;

// One row of the result list: the domain name as its caption, the sub-items in the order they
// were appended (suffix, availability, link popularity, traffic rank, ...) and a check mark. A
// row keeps its identity wherever a sort moves it; once its list lets it go (a clear), changes to
// it reach no view any more.
//
// A list may hold millions of rows, so the sub-items share one buffer, each behind its length:
// a row costs its text and a few dozen bytes, not a string object per cell. Reading a sub-item
// walks the lengths before it (a handful of columns); changing one rebuilds the buffer.
class ResultRow {
public:
    ResultRow() = default;
    ResultRow(const ResultRow &) = delete;
    ResultRow &operator=(const ResultRow &) = delete;

    const std::string &Caption() const { return caption_; }
    void SetCaption(std::string caption);

    int SubItemCount() const { return subItemCount_; }
    // The sub-item at index, or nothing when the row has no such sub-item. The text stays valid
    // until the row's sub-items change.
    std::optional<std::string_view> SubItem(int index) const;
    void AppendSubItem(std::string_view text);
    // Replaces an existing sub-item; a row without that sub-item is left as it is (false).
    bool SetSubItem(int index, std::string_view text);

    // The text shown in a column: 0 is the caption, column c the sub-item c - 1; nothing when
    // the row lacks it.
    std::optional<std::string_view> Cell(int column) const;

    bool Checked() const { return checked_; }
    void SetChecked(bool checked);

    // Position in its list, -1 once the list has let it go.
    int Index() const { return index_; }
    // Whether the row still belongs to a list.
    bool Listed() const { return owner_ != nullptr; }

private:
    friend class ResultList;
    void Changed();
    // Where the length of sub-item index starts in subItems_ (its end for index == count).
    std::size_t OffsetOf(int index) const;

    ResultList *owner_ = nullptr;
    int index_ = -1;
    bool checked_ = false;
    std::uint16_t subItemCount_ = 0;
    std::string caption_;
    // Each sub-item as its length (7 bits a byte, the high bit saying that more follow) and
    // its bytes.
    std::string subItems_;
};

} // namespace results
