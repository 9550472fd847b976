#include "platform/AtomicFile.h"

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

// Owns the temporary file until it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::filesystem::path &target)
        : path_(target.string() + ".XXXXXX") {
        descriptor_ = ::mkstemp(path_.data());
        if (descriptor_ < 0)
            Fail(target, "cannot create a temporary file");
        // mkstemp makes the file private; give it the permissions the target has, or those of
        // any new file of the user.
        ::fchmod(descriptor_, TargetMode(target));
    }
    ~TemporaryFile() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        if (!committed_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    void WriteAll(const std::filesystem::path &target, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                Fail(target, "cannot write");
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    void CommitAs(const std::filesystem::path &target) {
        if (::fsync(descriptor_) != 0)
            Fail(target, "cannot flush");
        const int descriptor = descriptor_;
        descriptor_ = -1;
        if (::close(descriptor) != 0)
            Fail(target, "cannot close");
        if (::rename(path_.c_str(), target.c_str()) != 0)
            Fail(target, "cannot replace");
        committed_ = true;
        SyncFolder(target);
    }

private:
    [[noreturn]] static void Fail(const std::filesystem::path &target, const char *what) {
        throw EFileWriteError(std::string(what) + " " + target.string() + ": " +
                              std::strerror(errno));
    }

    std::string path_;
    int descriptor_ = -1;
    bool committed_ = false;
};

} // namespace

void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes) {
    const std::filesystem::path target = ResolveTarget(path);
    TemporaryFile temporary(target);
    temporary.WriteAll(target, bytes);
    temporary.CommitAs(target);
}

} // namespace platform
