#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace base {

std::size_t TMemoryStream::Read(void *buffer, std::size_t count) {
    if (position_ >= bytes_.size())
        return 0;
    const std::size_t available = std::min(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, available);
    position_ += available;
    return available;
}

std::size_t TMemoryStream::Write(const void *buffer, std::size_t count) {
    if (count == 0)
        return 0;
    if (position_ + count > bytes_.size())
        bytes_.resize(position_ + count);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
    bytes_.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
    position_ = std::min(position_, bytes_.size());
}

void TMemoryStream::SetPosition(std::int64_t position) {
    position_ = static_cast<std::size_t>(std::max<std::int64_t>(position, 0));
}

void TMemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

TStringStream::TStringStream(std::string_view initial) {
    WriteText(initial);
    SetPosition(0);
}

} // namespace base
