#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// A byte stream with a position: reads and writes happen at the position and move it.
class TStream {
public:
    virtual ~TStream() = default;

    virtual std::size_t Read(void *buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void *buffer, std::size_t count) = 0;
    virtual std::int64_t Size() const = 0;
    virtual void SetSize(std::int64_t size) = 0;
    virtual std::int64_t Position() const = 0;
    // A position past the end is allowed; the next write fills the gap with zero bytes.
    virtual void SetPosition(std::int64_t position) = 0;

    std::size_t WriteText(std::string_view text) { return Write(text.data(), text.size()); }
};

// A growable in-memory stream: the body stream that a GET writes into.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    std::size_t Read(void *buffer, std::size_t count) override;
    std::size_t Write(const void *buffer, std::size_t count) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    void SetSize(std::int64_t size) override;
    std::int64_t Position() const override { return static_cast<std::int64_t>(position_); }
    void SetPosition(std::int64_t position) override;

    void Clear();
    const std::string &Bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// A memory stream seen as one 8-bit text.
class TStringStream : public TMemoryStream {
public:
    explicit TStringStream(std::string_view initial = {});

    const std::string &DataString() const { return Bytes(); }
};

} // namespace base
