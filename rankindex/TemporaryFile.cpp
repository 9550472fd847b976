#include "rankindex/TemporaryFile.h"

#include "rankindex/ImportError.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace rankindex {

TemporaryFile::TemporaryFile(const std::filesystem::path &folder, const std::string &prefix,
                             std::size_t bufferBytes)
    : buffer_(bufferBytes) {
    std::string pattern = (folder / prefix).string();
    pattern += "-XXXXXX";
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        throw EImportError("cannot create a temporary file in " + folder.string());
    ::unlink(pattern.c_str());
    file_ = ::fdopen(descriptor, "w+b");
    if (!file_) {
        ::close(descriptor);
        throw EImportError("cannot create a temporary file in " + folder.string());
    }
    if (!buffer_.empty())
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
}

TemporaryFile::~TemporaryFile() {
    std::fclose(file_);
}

void TemporaryFile::Put(const void *bytes, std::size_t size) {
    if (std::fwrite(bytes, 1, size, file_) != size)
        throw EImportError(std::string("cannot write a temporary file: ") + std::strerror(errno));
}

bool TemporaryFile::Get(void *bytes, std::size_t size) {
    const std::size_t read = std::fread(bytes, 1, size, file_);
    if (read != 0 && read != size)
        throw EImportError("a temporary file of the import came back short");
    return read == size && size != 0;
}

void TemporaryFile::Rewind() {
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
        throw EImportError(std::string("cannot read a temporary file: ") + std::strerror(errno));
}

} // namespace rankindex
