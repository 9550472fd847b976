#include "results/ResultRow.h"

#include "results/ResultList.h"

namespace results {

void ResultRow::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    Changed();
}

const std::string *ResultRow::SubItem(int index) const {
    if (index < 0 || index >= SubItemCount())
        return nullptr;
    return &subItems_[static_cast<std::size_t>(index)];
}

void ResultRow::AppendSubItem(std::string text) {
    if (subItemCount_ == MaxSubItems)
        throw EListError("a row has no column for another sub-item");
    subItems_[static_cast<std::size_t>(subItemCount_++)] = std::move(text);
    Changed();
}

bool ResultRow::SetSubItem(int index, std::string text) {
    if (index < 0 || index >= SubItemCount())
        return false;
    subItems_[static_cast<std::size_t>(index)] = std::move(text);
    Changed();
    return true;
}

const std::string *ResultRow::Cell(int column) const {
    return column == 0 ? &caption_ : SubItem(column - 1);
}

void ResultRow::SetChecked(bool checked) {
    if (checked_ == checked)
        return;
    checked_ = checked;
    Changed();
}

void ResultRow::Changed() {
    if (owner_)
        owner_->RowChanged(index_);
}

} // namespace results
