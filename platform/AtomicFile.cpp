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

// Owns the temporary file until it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::filesystem::path &target)
        : path_(target.string() + ".XXXXXX") {
        descriptor_ = ::mkstemp(path_.data());
        if (descriptor_ < 0)
            Fail(target, "cannot create a temporary file");
        // mkstemp makes the file private; give it the permissions of any new file of the user.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(descriptor_, 0666 & ~mask);
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
    TemporaryFile temporary(path);
    temporary.WriteAll(path, bytes);
    temporary.CommitAs(path);
}

} // namespace platform
