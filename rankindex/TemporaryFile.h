#pragma once

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace rankindex {

// An unnamed file beside the index for an import's sorted runs: written, rewound and read back
// through a buffer of its own; gone when closed, whatever ends the import. Failures are
// EImportError. Runs are read and written a few bytes at a time, millions of times: a Put or Get
// that fits the buffer is a copy, inline, without the locking and calls of stdio.
class TemporaryFile {
public:
    static constexpr std::size_t kDefaultBufferBytes = 1 << 16;

    // prefix names the file while it is made (".nimbrel-names"); bufferBytes 0 takes the default.
    TemporaryFile(const std::filesystem::path &folder, const std::string &prefix,
                  std::size_t bufferBytes = 0);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Puts go before Rewind, Gets after it.
    void Put(const void *bytes, std::size_t size) {
        if (size <= buffer_.size() - end_) {
            std::memcpy(buffer_.data() + end_, bytes, size);
            at_ = end_ += size;
            return;
        }
        PutThrough(bytes, size);
    }
    // False at the end; EImportError when the file ends inside the bytes.
    bool Get(void *bytes, std::size_t size) {
        if (size != 0 && size <= end_ - at_) {
            std::memcpy(bytes, buffer_.data() + at_, size);
            at_ += size;
            return true;
        }
        return GetThrough(bytes, size);
    }
    // From writing to reading from the start.
    void Rewind();
    // For a caller that maps the file instead of reading it through the buffer.
    int Descriptor() const { return descriptor_; }

private:
    void PutThrough(const void *bytes, std::size_t size);
    bool GetThrough(void *bytes, std::size_t size);
    void Flush();
    std::size_t Fill();

    std::vector<char> buffer_;
    // Writing: the bytes not yet written are [0, end_), and at_ is end_, so that Get finds none.
    // Reading: the bytes not yet taken are [at_, end_).
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool reading_ = false;
    int descriptor_ = -1;
};

} // namespace rankindex
