#include "rankindex/TemporaryFile.h"

#include "rankindex/ImportError.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace rankindex {
namespace {

[[noreturn]] void Fail(const std::string &what) {
    throw EImportError(what + ": " + std::strerror(errno));
}

} // namespace

TemporaryFile::TemporaryFile(const std::filesystem::path &folder, const std::string &prefix,
                             std::size_t bufferBytes)
    : buffer_(bufferBytes == 0 ? kDefaultBufferBytes : bufferBytes) {
    std::string pattern = (folder / prefix).string();
    pattern += "-XXXXXX";
    descriptor_ = ::mkstemp(pattern.data());
    if (descriptor_ < 0)
        throw EImportError("cannot create a temporary file in " + folder.string());
    ::unlink(pattern.c_str());
}

TemporaryFile::~TemporaryFile() {
    ::close(descriptor_);
}

void TemporaryFile::Flush() {
    const char *bytes = buffer_.data();
    std::size_t left = end_;
    while (left > 0) {
        const ssize_t written = ::write(descriptor_, bytes, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail("cannot write a temporary file");
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    at_ = end_ = 0;
}

void TemporaryFile::PutThrough(const void *bytes, std::size_t size) {
    const auto *from = static_cast<const char *>(bytes);
    while (size > 0) {
        if (end_ == buffer_.size())
            Flush();
        const std::size_t take = std::min(size, buffer_.size() - end_);
        std::memcpy(buffer_.data() + end_, from, take);
        end_ += take;
        from += take;
        size -= take;
    }
    at_ = end_;
}

// Reads the next bytes of the file into the buffer; 0 at its end.
std::size_t TemporaryFile::Fill() {
    for (;;) {
        const ssize_t got = ::read(descriptor_, buffer_.data(), buffer_.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail("cannot read a temporary file");
        at_ = 0;
        end_ = static_cast<std::size_t>(got);
        return end_;
    }
}

bool TemporaryFile::GetThrough(void *bytes, std::size_t size) {
    if (size == 0 || !reading_)
        return false;
    auto *into = static_cast<char *>(bytes);
    std::size_t done = 0;
    while (done < size) {
        if (at_ == end_ && Fill() == 0) {
            if (done == 0)
                return false;
            throw EImportError("a temporary file of the import came back short");
        }
        const std::size_t take = std::min(size - done, end_ - at_);
        std::memcpy(into + done, buffer_.data() + at_, take);
        at_ += take;
        done += take;
    }
    return true;
}

void TemporaryFile::Rewind() {
    if (!reading_)
        Flush();
    if (::lseek(descriptor_, 0, SEEK_SET) != 0)
        Fail("cannot read a temporary file");
    reading_ = true;
    at_ = 0;
    end_ = 0;
}

} // namespace rankindex
