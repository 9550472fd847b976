#pragma once

#include "base/MemoryStream.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace net {

// The bytes received and not yet consumed. Bytes are appended at the end and taken from the
// front; taking from the front is cheap, so reading line by line stays linear.
class TIdBuffer : public base::TStream {
public:
    std::size_t Read(void *buffer, std::size_t count) override;
    // Appends at the end, whatever the position.
    std::size_t Write(const void *buffer, std::size_t count) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(View().size()); }
    void SetSize(std::int64_t size) override;
    std::int64_t Position() const override { return 0; }
    void SetPosition(std::int64_t) override {}

    std::string_view View() const { return std::string_view(bytes_).substr(head_); }
    bool Empty() const { return View().empty(); }
    // Drops count bytes from the front; EIdNotEnoughDataInBuffer when fewer are held.
    void Remove(std::size_t count);
    void Clear();

private:
    std::string bytes_;
    std::size_t head_ = 0;
};

} // namespace net
