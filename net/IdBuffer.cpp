#include "net/IdBuffer.h"

#include "net/IdException.h"

#include <algorithm>
#include <cstring>

namespace net {

std::size_t TIdBuffer::Read(void *buffer, std::size_t count) {
    const std::size_t available = std::min(count, View().size());
    std::memcpy(buffer, View().data(), available);
    Remove(available);
    return available;
}

std::size_t TIdBuffer::Write(const void *buffer, std::size_t count) {
    bytes_.append(static_cast<const char *>(buffer), count);
    return count;
}

void TIdBuffer::SetSize(std::int64_t size) {
    bytes_.resize(head_ + static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
}

void TIdBuffer::Remove(std::size_t count) {
    if (count > View().size())
        throw EIdNotEnoughDataInBuffer();
    head_ += count;
    if (head_ == bytes_.size()) {
        Clear();
        return;
    }
    // Compact once the consumed front outweighs what is left.
    if (head_ > bytes_.size() / 2) {
        bytes_.erase(0, head_);
        head_ = 0;
    }
}

void TIdBuffer::Clear() {
    bytes_.clear();
    head_ = 0;
}

} // namespace net
