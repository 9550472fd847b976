#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace rankindex {

// An unnamed file beside the index for an import's sorted runs: written, rewound and read back
// through a stdio buffer; gone when closed, whatever ends the import. Failures are EImportError.
class TemporaryFile {
public:
    // prefix names the file while it is made (".nimbrel-names"); bufferBytes 0 keeps stdio's own.
    TemporaryFile(const std::filesystem::path &folder, const std::string &prefix,
                  std::size_t bufferBytes = 0);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    void Put(const void *bytes, std::size_t size);
    // False at the end; EImportError when the file ends inside the bytes.
    bool Get(void *bytes, std::size_t size);
    // From writing to reading from the start.
    void Rewind();
    // For a caller that maps the file instead of reading it through the buffer.
    int Descriptor() const { return ::fileno(file_); }

private:
    std::vector<char> buffer_;
    std::FILE *file_ = nullptr;
};

} // namespace rankindex
