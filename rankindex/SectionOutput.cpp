#include "rankindex/SectionOutput.h"

namespace rankindex {

SectionOutput::SectionOutput(platform::AtomicFileWriter &file, std::uint64_t offset)
    : file_(file), offset_(offset) {
    buffer_.reserve(kBufferBytes);
}

void SectionOutput::Append(const void *bytes, std::size_t size) {
    if (buffer_.size() + size > kBufferBytes)
        Flush();
    buffer_.append(static_cast<const char *>(bytes), size);
    written_ += size;
}

void SectionOutput::Flush() {
    file_.WriteAt(offset_, buffer_);
    offset_ += buffer_.size();
    buffer_.clear();
}

} // namespace rankindex
