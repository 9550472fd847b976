#pragma once

#include "platform/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace rankindex {

// Appends to the index being written at a place of its own, through a buffer of a megabyte, so
// that the writers of the index's parts can fill them side by side in long writes. Flush writes
// what is held; nothing is written on destruction, since a writer that stops early drops the file.
class SectionOutput {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

    SectionOutput(platform::AtomicFileWriter &file, std::uint64_t offset);

    void Append(const void *bytes, std::size_t size);
    template <typename T> void Append(const T &value) { Append(&value, sizeof value); }
    void Flush();
    // Bytes appended so far, flushed or not.
    std::uint64_t Written() const { return written_; }

private:
    platform::AtomicFileWriter &file_;
    std::uint64_t offset_;
    std::string buffer_;
    std::uint64_t written_ = 0;
};

} // namespace rankindex
