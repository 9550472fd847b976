#include "results/Columns.h"

namespace results {

Columns::Columns(std::vector<Column> columns) : columns_(std::move(columns)) {}

const Columns &Columns::Standard() {
    static const Columns standard({
        {"Domain name", "domain", "domain", Ordering::TextAscending},
        {"Top Level", "suffix", "suffix", Ordering::TextAscending},
        {"Available", "available", "available", Ordering::TextDescending},
        {"Link Popularity", "links", "links", Ordering::Number},
        {"Alexa Ranking", "rank", "rank", Ordering::Number},
        {"Evidence", "evidence", "evidence", Ordering::TextAscending},
        {"Expires", "expires", "expires", Ordering::TextAscending},
        {"Registrar", "registrar", "registrar", Ordering::TextAscending},
    });
    return standard;
}

Columns Columns::With(Column column) const {
    Columns wider = *this;
    wider.columns_.push_back(std::move(column));
    return wider;
}

Columns Columns::WithCaption(std::string_view key, std::string caption) const {
    Columns renamed = *this;
    if (const auto index = IndexOfKey(key))
        renamed.columns_[static_cast<std::size_t>(*index)].caption = std::move(caption);
    return renamed;
}

std::optional<int> Columns::IndexOfKey(std::string_view key) const {
    for (int i = 0; i < Count(); ++i)
        if (columns_[static_cast<std::size_t>(i)].key == key)
            return i;
    return std::nullopt;
}

} // namespace results
