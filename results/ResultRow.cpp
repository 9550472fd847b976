#include "results/ResultRow.h"

#include "results/ResultList.h"

namespace results {
namespace {

void AppendLength(std::string &buffer, std::size_t length) {
    while (length >= 0x80) {
        buffer += static_cast<char>(0x80 | (length & 0x7F));
        length >>= 7;
    }
    buffer += static_cast<char>(length);
}

// The length written at offset; offset moves past it.
std::size_t ReadLength(const std::string &buffer, std::size_t &offset) {
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(buffer[offset++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return length;
    }
}

std::size_t LengthBytes(std::size_t length) {
    std::size_t bytes = 1;
    for (; length >= 0x80; length >>= 7)
        ++bytes;
    return bytes;
}

} // namespace

void ResultRow::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    Changed();
}

std::size_t ResultRow::OffsetOf(int index) const {
    std::size_t offset = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t length = ReadLength(subItems_, offset);
        offset += length;
    }
    return offset;
}

std::optional<std::string_view> ResultRow::SubItem(int index) const {
    if (index < 0 || index >= SubItemCount())
        return std::nullopt;
    std::size_t offset = OffsetOf(index);
    const std::size_t length = ReadLength(subItems_, offset);
    return std::string_view(subItems_).substr(offset, length);
}

void ResultRow::AppendSubItem(std::string_view text) {
    const std::size_t size = subItems_.size() + LengthBytes(text.size()) + text.size();
    if (size > subItems_.capacity()) {
        // Grown to the exact size, not doubled: rows are filled once and then kept.
        std::string grown;
        grown.reserve(size);
        grown.append(subItems_);
        subItems_ = std::move(grown);
    }
    AppendLength(subItems_, text.size());
    subItems_ += text;
    ++subItemCount_;
    Changed();
}

bool ResultRow::SetSubItem(int index, std::string_view text) {
    if (index < 0 || index >= SubItemCount())
        return false;
    const std::size_t start = OffsetOf(index);
    std::size_t end = start;
    end += ReadLength(subItems_, end);
    // Built anew at its exact size: a row set cell by cell keeps no spare capacity.
    std::string rebuilt;
    rebuilt.reserve(subItems_.size() - (end - start) + LengthBytes(text.size()) + text.size());
    rebuilt.append(subItems_, 0, start);
    AppendLength(rebuilt, text.size());
    rebuilt += text;
    rebuilt.append(subItems_, end);
    subItems_ = std::move(rebuilt);
    Changed();
    return true;
}

std::optional<std::string_view> ResultRow::Cell(int column) const {
    if (column == 0)
        return std::string_view(caption_);
    return SubItem(column - 1);
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
