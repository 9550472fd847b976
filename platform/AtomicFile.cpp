#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

mode_t TargetMode(const std::filesystem::path &target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The rename lasts a crash only once the folder's entry is on disk too; a folder that cannot
// be synced does not make the write fail.
void SyncFolder(const std::filesystem::path &target) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

// The file that a write to path lands in: the end of a chain of symbolic links, or path
// itself when it is no link.
std::filesystem::path ResolveTarget(const std::filesystem::path &path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error))
        return path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved;
}

} // namespace

void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes) {
    AtomicFileWriter file(path);
    file.Write(bytes);
    file.Commit();
}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path &path)
    : target_(ResolveTarget(path)), temporary_(target_.string() + ".XXXXXX") {
    descriptor_ = ::mkstemp(temporary_.data());
    if (descriptor_ < 0)
        Fail("cannot create a temporary file for");
    // mkstemp makes the file private; give it the permissions the target has, or those of any
    // new file of the user.
    ::fchmod(descriptor_, TargetMode(target_));
}

AtomicFileWriter::~AtomicFileWriter() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
    if (!committed_)
        ::unlink(temporary_.c_str());
}

void AtomicFileWriter::Write(std::string_view bytes) {
    WriteAt(size_, bytes);
}

void AtomicFileWriter::WriteAt(std::uint64_t offset, std::string_view bytes) {
    if (descriptor_ < 0)
        Fail("cannot write after closing");
    while (!bytes.empty()) {
        const ssize_t written =
            ::pwrite(descriptor_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail("cannot write");
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    size_ = std::max(size_, offset);
}

void AtomicFileWriter::Commit() {
    if (::fsync(descriptor_) != 0)
        Fail("cannot flush");
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0)
        Fail("cannot close");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        Fail("cannot replace");
    committed_ = true;
    SyncFolder(target_);
}

void AtomicFileWriter::Fail(const char *what) const {
    throw EFileWriteError(std::string(what) + " " + target_.string() + ": " + std::strerror(errno));
}

} // namespace platform
