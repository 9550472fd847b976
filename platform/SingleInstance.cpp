#include "platform/SingleInstance.h"

#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The runtime folder counts only when it is the user's own and private (owner, mode 0700), as
// the XDG base directory rules require: in a shared folder another user could hold the lock
// file, or take its name first.
bool IsPrivateRuntimeFolder(const char *folder) {
    if (!folder || folder[0] != '/')
        return false;
    struct stat info {};
    return ::stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 07777) == 0700;
}

// A lock file that is not the user's own regular file proves nothing about the user's copies.
bool IsOwnLockFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

std::filesystem::path InstanceLockFile(const std::string &programName) {
    const std::string fileName = programName + ".lock";
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); IsPrivateRuntimeFolder(runtime))
        return std::filesystem::path(runtime) / fileName;
    return RegistryRoot() / fileName;
}

SingleInstance::SingleInstance(std::string programName) : programName_(std::move(programName)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool SingleInstance::FindOtherInstance() {
    if (fd_ >= 0)
        return false;
    try {
        const std::filesystem::path file = InstanceLockFile(programName_);
        std::error_code ignored;
        std::filesystem::create_directories(file.parent_path(), ignored);
        // Close-on-exec: a browser started from this copy must not inherit the lock and keep it
        // after this copy has ended.
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return false;
        if (!IsOwnLockFile(fd)) {
            ::close(fd);
            return false;
        }
        int result;
        do
            result = ::flock(fd, LOCK_EX | LOCK_NB);
        while (result != 0 && errno == EINTR);
        if (result == 0) {
            fd_ = fd;
            return false;
        }
        const bool heldByOther = errno == EWOULDBLOCK;
        ::close(fd);
        return heldByOther;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace platform
