#pragma once

#include "base/FileError.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A file could not be written; the previous file, if any, is untouched.
class EFileWriteError : public base::EFileError {
public:
    using EFileError::EFileError;
};

// The temporary file beside the target could not be made: the folder cannot be written to.
class ETemporaryFileError : public EFileWriteError {
public:
    using EFileWriteError::EFileWriteError;
};

// Replaces the file at path with bytes: writes a temporary file in the same folder, flushes it
// to disk and renames it over the target, so a reader sees either the old file or the new one.
// A symbolic link is followed, so the file it points at is replaced (or made, when it does not
// exist yet) and the link stays; an existing file keeps its permissions. What exists and is not
// a regular file (a FIFO, a device, a socket, a descriptor link such as /dev/stdout) is written
// in place, never renamed over. Temporary files of this naming left a day or more ago by a save
// that was killed are removed from the folder.
void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes);

// The same replacement for a file too large to hold in memory: written in pieces to a temporary
// file beside the target, which replaces the target only at Commit. Dropped without Commit (a
// failure, a cancel), the temporary file is removed and the previous file stays as it was.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::filesystem::path &path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    // Appends at the end of what was written so far.
    void Write(std::string_view bytes);
    // Overwrites bytes already written (or extends the file) at offset; the end stays where it was.
    void WriteAt(std::uint64_t offset, std::string_view bytes);
    // Writes the first length bytes of the file open as descriptor at offset, as WriteAt would,
    // in the kernel where it can (a file of the same file system costs no copy through memory).
    void CopyAt(std::uint64_t offset, int descriptor, std::uint64_t length);
    std::uint64_t Size() const { return size_; }
    // Asks the system to start writing what was written so far to disk, without waiting, so that
    // Commit's flush of a large file finds most of it written.
    void StartWriteBack();
    // The temporary file, for reading back (mapping) what was written; the writer keeps it.
    int Descriptor() const { return descriptor_; }
    void Commit();

private:
    [[noreturn]] void Fail(const char *what) const;
    void CopyThroughMemory(int descriptor, std::uint64_t from, std::uint64_t to, std::uint64_t end);

    std::filesystem::path target_;
    std::string temporary_;
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

// WriteFileAtomically in pieces, for text made as it is written rather than held whole: what
// WriteFileAtomically would replace is replaced at Commit (dropped without Commit, the previous
// file stays); what it would write in place (a FIFO, a device, /dev/stdout) gets each piece as
// it comes.
class FileReplacement {
public:
    explicit FileReplacement(const std::filesystem::path &path);
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    void Write(std::string_view bytes);
    void Commit();

private:
    std::filesystem::path inPlace_;
    int descriptor_ = -1; // written in place
    std::optional<AtomicFileWriter> replacement_;
};

} // namespace platform
