#include "platform/SingleInstance.h"

#include "tests/support/TempConfigHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Sets or removes XDG_RUNTIME_DIR for the lifetime of a scope.
class ScopedRuntimeDir {
public:
    explicit ScopedRuntimeDir(std::optional<std::string> value) {
        if (const char *old = std::getenv("XDG_RUNTIME_DIR"))
            previous_ = old;
        if (value)
            ::setenv("XDG_RUNTIME_DIR", value->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    ~ScopedRuntimeDir() {
        if (previous_)
            ::setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> previous_;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    TempConfigHome home;
    std::filesystem::path runtime = home.Folder() / "runtime";
    void SetUp() override {
        std::filesystem::create_directory(runtime);
        ::chmod(runtime.c_str(), 0700);
    }
};

TEST_F(SingleInstanceTest, LockFileFollowsRuntimeFolderElseConfigFolder) {
    const std::string aFile = (home.Folder() / "not-a-folder").string();
    std::FILE *f = std::fopen(aFile.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    struct Case {
        std::optional<std::string> runtimeDir;
        std::filesystem::path expected;
    } cases[] = {
        {runtime.string(), runtime / "Nimbrel.lock"},
        {std::nullopt, home.Folder() / "Nimbrel.lock"},
        {"", home.Folder() / "Nimbrel.lock"},
        {"relative/folder", home.Folder() / "Nimbrel.lock"},
        {aFile, home.Folder() / "Nimbrel.lock"},
    };
    for (const Case &c : cases) {
        ScopedRuntimeDir dir(c.runtimeDir);
        EXPECT_EQ(platform::InstanceLockFile("Nimbrel"), c.expected)
            << c.runtimeDir.value_or("(unset)");
    }
}

TEST_F(SingleInstanceTest, RuntimeFolderCountsOnlyWhenItIsTheUsersOwnAndPrivate) {
    ScopedRuntimeDir dir(runtime.string());
    const struct {
        mode_t mode;
        uid_t owner;
        bool used;
    } cases[] = {
        {0700, ::geteuid(), true},  {01777, ::geteuid(), false},    {0755, ::geteuid(), false},
        {0500, ::geteuid(), false}, {0700, ::geteuid() + 1, false},
    };
    for (const auto &c : cases) {
        // Only root can hand a folder to another user.
        if (c.owner != ::geteuid() && ::geteuid() != 0)
            continue;
        ASSERT_EQ(::chown(runtime.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(runtime.c_str(), c.mode), 0);
        EXPECT_EQ(platform::InstanceLockFile("Nimbrel"),
                  (c.used ? runtime : home.Folder()) / "Nimbrel.lock")
            << std::oct << c.mode << " " << std::dec << c.owner;
    }
    ::chown(runtime.c_str(), ::geteuid(), static_cast<gid_t>(-1));
    ::chmod(runtime.c_str(), 0700);
}

TEST_F(SingleInstanceTest, LockFileOfAnotherUserLetsTheProgramStart) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a file of another user";
    ScopedRuntimeDir dir(runtime.string());
    const std::filesystem::path lock = runtime / "Nimbrel.lock";
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::fchown(held, 65534, 65534), 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    platform::SingleInstance copy("Nimbrel");
    EXPECT_FALSE(copy.FindOtherInstance());
    EXPECT_FALSE(copy.HoldsLock());
    ::close(held);

    // A link in the lock file's place is not followed.
    std::filesystem::remove(lock);
    std::filesystem::create_symlink(home.Folder() / "elsewhere", lock);
    EXPECT_FALSE(copy.FindOtherInstance());
    EXPECT_FALSE(std::filesystem::exists(home.Folder() / "elsewhere"));
}

TEST_F(SingleInstanceTest, SecondCopyFindsFirstUntilFirstEnds) {
    ScopedRuntimeDir dir(runtime.string());
    auto first = std::make_unique<platform::SingleInstance>("Nimbrel");
    EXPECT_FALSE(first->FindOtherInstance());
    EXPECT_TRUE(first->HoldsLock());
    EXPECT_FALSE(first->FindOtherInstance()) << "a copy never finds itself";

    platform::SingleInstance second("Nimbrel");
    EXPECT_TRUE(second.FindOtherInstance());
    EXPECT_FALSE(second.HoldsLock());

    platform::SingleInstance otherProgram("SomethingElse");
    EXPECT_FALSE(otherProgram.FindOtherInstance());

    first.reset();
    EXPECT_FALSE(second.FindOtherInstance());
    EXPECT_TRUE(second.HoldsLock());
}

TEST_F(SingleInstanceTest, CopyThatWasKilledDoesNotBlockNextStart) {
    ScopedRuntimeDir dir(runtime.string());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::SingleInstance copy("Nimbrel");
        const char held = copy.FindOtherInstance() ? 'n' : 'y';
        if (::write(ready[1], &held, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(held, 'y');

    platform::SingleInstance next("Nimbrel");
    EXPECT_TRUE(next.FindOtherInstance());
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(next.FindOtherInstance());
    EXPECT_TRUE(next.HoldsLock());
}

TEST_F(SingleInstanceTest, UnusableLockFileCountsAsNoOtherCopy) {
    // Something that cannot be opened as a file stands where the lock belongs: the probe fails,
    // and start-up goes on as if no other copy ran.
    ScopedRuntimeDir dir(runtime.string());
    std::filesystem::create_directory(runtime / "Nimbrel.lock");
    platform::SingleInstance copy("Nimbrel");
    EXPECT_FALSE(copy.FindOtherInstance());
    EXPECT_FALSE(copy.HoldsLock());
}

TEST_F(SingleInstanceTest, LockIsNotInheritedByStartedPrograms) {
    ScopedRuntimeDir dir(runtime.string());
    platform::SingleInstance copy("Nimbrel");
    ASSERT_FALSE(copy.FindOtherInstance());
    // A descriptor without close-on-exec would keep the lock alive in a browser that this copy
    // started. Find the lock's descriptor among ours and look at its flags.
    const std::string lockPath = platform::InstanceLockFile("Nimbrel").string();
    bool found = false;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (error || target.string() != lockPath)
            continue;
        found = true;
        const int fd = std::stoi(entry.path().filename().string());
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_TRUE(found);
}

} // namespace
