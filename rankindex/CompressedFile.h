#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace rankindex {

// A data file read as the text it holds: plain, gzip (one or more members) or a zip archive with
// one file, told apart by the first bytes rather than by the name. The file is opened once and
// read from its start to its end, so plain and gzip data may come through a FIFO or a pipe; a zip
// archive, whose directory sits at its end, must be a file. Errors are EImportError with a
// message that names the file and what is wrong with it.
class CompressedFile {
public:
    enum class Format { Plain, Gzip, Zip };

    explicit CompressedFile(const std::filesystem::path &path);
    ~CompressedFile();
    CompressedFile(const CompressedFile &) = delete;
    CompressedFile &operator=(const CompressedFile &) = delete;

    // Up to size bytes of the text; 0 only at its end. A truncated or corrupt archive raises
    // EImportError when the damage is reached, never a short end.
    std::size_t Read(char *buffer, std::size_t size);

    Format GetFormat() const;
    // 0 when not known, as for a pipe.
    std::uint64_t FileSize() const;
    // How far into the file the text read so far reaches, for progress; at most FileSize().
    std::uint64_t Position() const;

    class Decoder;

private:
    std::unique_ptr<Decoder> decoder_;
};

const char *FormatName(CompressedFile::Format format);

} // namespace rankindex
