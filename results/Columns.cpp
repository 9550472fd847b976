#include "results/Columns.h"

#include "base/FieldKeys.h"

namespace results {

Columns::Columns(std::vector<Column> columns) : columns_(std::move(columns)) {}

const Columns &Columns::Standard() {
    // The file keys are the results file's own words: they stay as stored files have them.
    static const Columns standard({
        {"Domain name", "domain", std::string(base::field::kDomain), Ordering::TextAscending},
        {"Top Level", "suffix", std::string(base::field::kSuffix), Ordering::TextAscending},
        {"Available", "available", std::string(base::field::kAvailable), Ordering::TextDescending},
        {"Link Popularity", "links", std::string(base::field::kLinks), Ordering::Number},
        {"Alexa Ranking", "rank", std::string(base::field::kRank), Ordering::Number},
        {"Evidence", "evidence", std::string(base::field::kEvidence), Ordering::TextAscending},
        {"Expires", "expires", std::string(base::field::kExpires), Ordering::TextAscending},
        {"Registrar", "registrar", std::string(base::field::kRegistrar), Ordering::TextAscending},
        {"Status", "status", std::string(base::field::kStatus), Ordering::TextAscending},
        {"Display name", "display", std::string(base::field::kDisplay), Ordering::TextAscending},
        {"Hosts", "hosts", std::string(base::field::kHosts), Ordering::Number},
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
