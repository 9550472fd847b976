#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

// Where a write to a path goes: a regular file (or a name not taken yet) is replaced through a
// temporary file; anything else that exists is written in place.
struct Target {
    std::filesystem::path path;
    bool inPlace = false;
};

bool IsUnderProc(const std::filesystem::path &path) {
    return path.string().starts_with("/proc/");
}

[[noreturn]] void Fail(const std::filesystem::path &target, const char *what) {
    const int error = errno;
    throw EFileWriteError(what, target.string(), std::strerror(error));
}

// Follows a chain of symbolic links to the file it ends in, which may not exist yet (a dangling
// link names the file to make). A FIFO, a device, a socket or a folder is written in place, and
// so is whatever a descriptor link under /proc leads to (/dev/stdout): renaming over its link
// would replace it, not write to it.
Target ResolveTarget(const std::filesystem::path &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return {path, true};
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (IsUnderProc(current))
            return {path, true};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return {current, false};
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error)
            return {path, true};
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    errno = ELOOP;
    Fail(path, "cannot write");
}

constexpr std::string_view kTemporaryMark = ".nimbrel-tmp-";
constexpr std::size_t kRandomPart = 6;

// ".<name>.nimbrel-tmp-XXXXXX" beside the target. Built by appending: GCC 12 warns falsely
// (-Wrestrict) about inserting in front of a moved string, which "." + name does.
std::string TemporaryPattern(const std::filesystem::path &target) {
    std::string name(".");
    name += target.filename().native();
    name += kTemporaryMark;
    name += "XXXXXX";
    return (target.parent_path() / name).string();
}

bool IsTemporaryName(const std::string &name) {
    const std::size_t mark = name.rfind(kTemporaryMark);
    return name.starts_with('.') && mark != std::string::npos &&
           name.size() == mark + kTemporaryMark.size() + kRandomPart;
}

// A save killed between making its temporary file and renaming it leaves the file behind; the
// next save in the folder removes such files of the user once they are a day old (a younger
// one may belong to a save still running).
void RemoveStaleTemporaryFiles(const std::filesystem::path &target) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const time_t dayAgo = ::time(nullptr) - 24 * 60 * 60;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        struct stat info {};
        if (!IsTemporaryName(name) || ::lstat(it->path().c_str(), &info) != 0)
            continue;
        if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_mtime < dayAgo)
            ::unlink(it->path().c_str());
    }
}

void WriteDescriptor(int descriptor, const std::filesystem::path &target, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail(target, "cannot write");
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Opens what stands at path to be written as it is. A regular file met this way (through a
// descriptor link) is appended to, as a shell's ">>" would, so that it keeps what was written
// before.
int OpenInPlace(const std::filesystem::path &path) {
    int descriptor;
    do
        descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        Fail(path, "cannot write");
    return descriptor;
}

} // namespace

void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes) {
    FileReplacement file(path);
    file.Write(bytes);
    file.Commit();
}

FileReplacement::FileReplacement(const std::filesystem::path &path) {
    const Target target = ResolveTarget(path);
    if (!target.inPlace) {
        replacement_.emplace(target.path);
        return;
    }
    inPlace_ = target.path;
    descriptor_ = OpenInPlace(inPlace_);
}

FileReplacement::~FileReplacement() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void FileReplacement::Write(std::string_view bytes) {
    if (replacement_) {
        replacement_->Write(bytes);
        return;
    }
    if (descriptor_ < 0) {
        errno = EBADF;
        Fail(inPlace_, "cannot write after closing");
    }
    WriteDescriptor(descriptor_, inPlace_, bytes);
}

void FileReplacement::Commit() {
    if (replacement_) {
        replacement_->Commit();
        return;
    }
    const int descriptor = std::exchange(descriptor_, -1);
    if (descriptor >= 0 && ::close(descriptor) != 0 && errno != EINTR)
        Fail(inPlace_, "cannot close");
}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path &path)
    : target_(ResolveTarget(path).path), temporary_(TemporaryPattern(target_)) {
    RemoveStaleTemporaryFiles(target_);
    descriptor_ = ::mkstemp(temporary_.data());
    if (descriptor_ < 0) {
        const int error = errno;
        throw ETemporaryFileError("cannot create a temporary file for", target_.string(),
                                  std::strerror(error));
    }
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

void AtomicFileWriter::CopyAt(std::uint64_t offset, int descriptor, std::uint64_t length) {
    if (descriptor_ < 0)
        Fail("cannot write after closing");
    auto from = static_cast<off_t>(0);
    auto to = static_cast<off_t>(offset);
    const std::uint64_t end = offset + length;
    while (static_cast<std::uint64_t>(to) < end) {
        const ssize_t copied = ::copy_file_range(descriptor, &from, descriptor_, &to,
                                                 end - static_cast<std::uint64_t>(to), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            CopyThroughMemory(descriptor, static_cast<std::uint64_t>(from),
                              static_cast<std::uint64_t>(to), end);
            return;
        }
        if (copied <= 0)
            Fail("cannot copy into");
    }
    size_ = std::max(size_, end);
}

// For file systems that do not copy between files themselves: through a buffer.
void AtomicFileWriter::CopyThroughMemory(int descriptor, std::uint64_t from, std::uint64_t to,
                                         std::uint64_t end) {
    std::string buffer(std::size_t{1} << 20, '\0');
    while (to < end) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - to));
        const ssize_t got = ::pread(descriptor, buffer.data(), want, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            Fail("cannot copy into");
        WriteAt(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        from += static_cast<std::uint64_t>(got);
        to += static_cast<std::uint64_t>(got);
    }
}

void AtomicFileWriter::StartWriteBack() {
    // Only a hint: a file system that cannot start early flushes everything at Commit instead.
    if (descriptor_ >= 0)
        ::sync_file_range(descriptor_, 0, 0, SYNC_FILE_RANGE_WRITE);
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
    platform::Fail(target_, what);
}

} // namespace platform
