#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Tells whether another copy of the program runs for this user, by a lock on a per-user file
// named after the program. The kernel drops the lock when a copy ends in any way, so a copy that
// crashed never blocks the next start; another program, whatever its windows are called, never
// holds it.
class SingleInstance {
public:
    explicit SingleInstance(std::string programName);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when another copy holds the lock. Otherwise this copy takes the lock and keeps it for
    // its lifetime, and the answer is false. A failure to open or lock the file, and a lock file
    // that is not the user's own regular file, count as finding no other copy.
    bool FindOtherInstance();
    // Whether this object holds the lock.
    bool HoldsLock() const { return fd_ >= 0; }

private:
    std::string programName_;
    int fd_ = -1;
};

// The lock file: "<name>.lock" in $XDG_RUNTIME_DIR when that is an absolute path to a folder the
// user owns with mode 0700, else in the per-user config folder.
std::filesystem::path InstanceLockFile(const std::string &programName);

} // namespace platform
