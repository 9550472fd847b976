#include "platform/InputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

[[noreturn]] void FailWith(const std::string &path, int error) {
    if (error == ENOENT || error == ENOTDIR)
        throw EFileMissing("cannot find", path, std::strerror(error));
    throw EFileNotReadable("cannot read", path, std::strerror(error));
}

bool IsReadableKind(mode_t mode, FileKinds kinds) {
    return S_ISREG(mode) || (S_ISFIFO(mode) && kinds == FileKinds::RegularOrFifo);
}

void CheckKind(const std::string &path, const struct stat &info, FileKinds kinds) {
    if (S_ISDIR(info.st_mode))
        throw EFileNotReadable("cannot read", path, "it is a folder");
    if (S_ISFIFO(info.st_mode) && kinds == FileKinds::RegularOnly)
        throw EFileNotReadable("cannot read", path,
                               "it is a pipe, and only a regular file is read here");
    if (!IsReadableKind(info.st_mode, kinds))
        throw EFileNotReadable("cannot read", path, "it is not a file");
}

[[noreturn]] void FailTooLarge(const std::string &path, std::uint64_t maxBytes) {
    throw EFileTooLarge("cannot read", path,
                        "it is larger than " + std::to_string(maxBytes >> 20) + " MiB");
}

} // namespace

InputFile::InputFile(const std::string &path, std::uint64_t maxBytes, FileKinds kinds)
    : path_(path), maxBytes_(maxBytes) {
    // The kind is checked before the open, so that a device is never opened; and again on the
    // open descriptor, in case the path was swapped in between. A FIFO's open waits for a
    // writer, as reading a FIFO means to.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        FailWith(path, errno);
    CheckKind(path, info, kinds);
    do
        fd_ = ::open(path.c_str(),
                     O_RDONLY | O_CLOEXEC | O_NOCTTY | (S_ISREG(info.st_mode) ? O_NONBLOCK : 0));
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        FailWith(path, errno);
    if (::fstat(fd_, &info) != 0) {
        const int error = errno;
        ::close(fd_);
        FailWith(path, error);
    }
    try {
        CheckKind(path, info, kinds);
        if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > maxBytes_)
            FailTooLarge(path, maxBytes_);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

InputFile::~InputFile() {
    ::close(fd_);
}

std::size_t InputFile::Read(char *buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            FailWith(path_, errno);
        readSoFar_ += static_cast<std::uint64_t>(got);
        // A regular file that grew while being read, or a FIFO without end.
        if (readSoFar_ > maxBytes_)
            FailTooLarge(path_, maxBytes_);
        return static_cast<std::size_t>(got);
    }
}

std::string ReadWholeFile(const std::string &path, std::uint64_t maxBytes, FileKinds kinds) {
    InputFile file(path, maxBytes, kinds);
    std::string bytes;
    char buffer[1 << 16];
    while (const std::size_t got = file.Read(buffer, sizeof buffer))
        bytes.append(buffer, got);
    return bytes;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (text.starts_with(mark))
        text.remove_prefix(mark.size());
    return text;
}

} // namespace platform
