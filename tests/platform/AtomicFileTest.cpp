#include "platform/AtomicFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string &name) const { return folder_.PathOf(name); }

    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_.Path()), {}));
    }

    TempFolder folder_{"nimbrel-atomic"};
};

TEST_F(AtomicFileTest, ReplacesTheWholeContentAndKeepsPermissions) {
    const std::string path = PathOf("results.nbr");
    WriteFileAtomically(path, std::string(10000, 'x'));
    ::chmod(path.c_str(), 0640);
    WriteFileAtomically(path, "short");
    EXPECT_EQ(FileContents(path), "short");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, FollowsASymbolicLinkToItsFile) {
    const std::string target = PathOf("target.nbr");
    const std::string link = PathOf("link.nbr");
    WriteFileAtomically(target, "old");
    fs::create_symlink(target, link);
    WriteFileAtomically(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(FileContents(target), "new");
}

TEST_F(AtomicFileTest, FailureRaisesAndLeavesThePreviousFileWhole) {
    const std::string path = PathOf("results.nbr");
    WriteFileAtomically(path, "previous content");

    EXPECT_THROW(WriteFileAtomically(PathOf("missing/x.nbr"), "x"), EFileWriteError);
    EXPECT_THROW(WriteFileAtomically(folder_.Path().string(), "x"), EFileWriteError);
    EXPECT_THROW(WriteFileAtomically("", "x"), EFileWriteError);

    // A file size limit makes the write fail part-way through.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(WriteFileAtomically(path, std::string(100000, 'y')), EFileWriteError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(FileContents(path), "previous content");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, WriterInPiecesReplacesOnlyAtCommit) {
    const std::string path = PathOf("index.idx");
    WriteFileAtomically(path, "previous");
    {
        AtomicFileWriter abandoned(path);
        abandoned.Write("never seen");
    }
    EXPECT_EQ(FileContents(path), "previous");
    EXPECT_EQ(EntryCount(), 1u);

    AtomicFileWriter file(path);
    file.Write("....body");
    file.WriteAt(0, "head");
    file.Write("!");
    EXPECT_EQ(file.Size(), 9u);
    EXPECT_EQ(FileContents(path), "previous");
    file.Commit();
    EXPECT_EQ(FileContents(path), "headbody!");
    EXPECT_EQ(EntryCount(), 1u);
}

} // namespace
} // namespace platform
