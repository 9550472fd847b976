#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace results {

// How a column's cells order a sort.
enum class Ordering {
    TextAscending,  // byte by byte, a-z folded to A-Z
    TextDescending, // the same, reversed ("Yes" before "No")
    Number,         // by value; a cell that is no number compares equal to everything
};

// One column of the result list, as every view of the rows names it.
struct Column {
    std::string caption; // the list's header and the terminal table's
    std::string fileKey; // the key in a results file's sections
    std::string key;     // TSV and JSON key, and the field of a check's record that fills it
    Ordering ordering = Ordering::TextAscending;
};

// The columns of the result list, in display order. Column 0 is the row's caption (the domain
// name); column c > 0 is its sub-item c - 1. New columns go at the right.
class Columns {
public:
    explicit Columns(std::vector<Column> columns);

    // Domain name, suffix, availability, link popularity, traffic rank, then what decided the
    // availability, a registration's expiry date, its registrar and its lifecycle status, and the
    // name as people read it (Unicode; the list and the terminal table show it in the domain
    // name's column), and what a taken name's owner asks for it (Offer).
    static const Columns &Standard();

    // A copy with column added at the right.
    Columns With(Column column) const;
    // A copy whose column of that key has another caption (no column of the key: the same).
    Columns WithCaption(std::string_view key, std::string caption) const;

    int Count() const { return static_cast<int>(columns_.size()); }
    bool Has(int index) const { return index >= 0 && index < Count(); }
    const Column &At(int index) const { return columns_.at(static_cast<std::size_t>(index)); }
    std::optional<int> IndexOfKey(std::string_view key) const;

    auto begin() const { return columns_.begin(); }
    auto end() const { return columns_.end(); }

private:
    std::vector<Column> columns_;
};

} // namespace results
