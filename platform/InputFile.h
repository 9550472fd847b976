#pragma once

#include "base/FileError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A file could not be read. The subclasses say why; the message names the file.
class EFileReadError : public base::EFileError {
public:
    using EFileError::EFileError;
};

class EFileMissing : public EFileReadError {
public:
    using EFileReadError::EFileReadError;
};

// No permission, an input/output error, or something that is not a file (a folder, a device).
class EFileNotReadable : public EFileReadError {
public:
    using EFileReadError::EFileReadError;
};

class EFileTooLarge : public EFileReadError {
public:
    using EFileReadError::EFileReadError;
};

// Which kinds of file a reader takes. A FIFO's open waits for a writer; a file read at start-up
// without being asked for takes regular files only, so that it never waits.
enum class FileKinds { RegularOrFifo, RegularOnly };

// A file opened once for reading: a regular file or a FIFO, nothing else. A regular file over
// the size limit is refused before a byte is read; a FIFO is refused once more bytes than the
// limit have come.
class InputFile {
public:
    InputFile(const std::string &path, std::uint64_t maxBytes,
              FileKinds kinds = FileKinds::RegularOrFifo);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Reads up to size bytes into buffer; 0 at the end of the file.
    std::size_t Read(char *buffer, std::size_t size);
    const std::string &Path() const { return path_; }

private:
    std::string path_;
    std::uint64_t maxBytes_;
    std::uint64_t readSoFar_ = 0;
    int fd_ = -1;
};

// Every byte of the file at path, read through InputFile.
std::string ReadWholeFile(const std::string &path, std::uint64_t maxBytes,
                          FileKinds kinds = FileKinds::RegularOrFifo);

// A text without the UTF-8 byte order mark it may start with.
std::string_view WithoutByteOrderMark(std::string_view text);

} // namespace platform
