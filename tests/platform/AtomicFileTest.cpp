#include "platform/AtomicFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

TEST_F(AtomicFileTest, DanglingLinkGetsTheFileItNames) {
    const std::string link = PathOf("link.nbr");
    fs::create_symlink("made.nbr", link);
    WriteFileAtomically(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(FileContents(PathOf("made.nbr")), "new");
}

TEST_F(AtomicFileTest, WhatIsNotARegularFileIsWrittenInPlace) {
    // A link to one of our descriptors, as /dev/stdout is, and a FIFO with a reader.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string link = PathOf("stdout-like");
    fs::create_symlink("/proc/self/fd/" + std::to_string(pipeFds[1]), link);
    WriteFileAtomically(link, "through the link");
    ::close(pipeFds[1]);
    char buffer[64] = {};
    EXPECT_EQ(::read(pipeFds[0], buffer, sizeof buffer), 16);
    ::close(pipeFds[0]);
    EXPECT_EQ(std::string(buffer), "through the link");
    EXPECT_TRUE(fs::is_symlink(link));

    const std::string fifo = PathOf("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = FileContents(fifo); });
    WriteFileAtomically(fifo, "into the fifo");
    reader.join();
    EXPECT_EQ(received, "into the fifo");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(AtomicFileTest, SaveRemovesTemporaryFilesADayOld) {
    const auto makeFile = [this](const std::string &name, int hoursAgo) {
        WriteFileAtomically(PathOf(name), "x");
        const timespec times[2] = {{::time(nullptr) - hoursAgo * 3600, 0},
                                   {::time(nullptr) - hoursAgo * 3600, 0}};
        ::utimensat(AT_FDCWD, PathOf(name).c_str(), times, 0);
    };
    makeFile(".results.nbr.nimbrel-tmp-a1B2c3", 25);
    makeFile(".other.txt.nimbrel-tmp-zzzzzz", 48);
    makeFile(".results.nbr.nimbrel-tmp-d4E5f6", 1); // a save that may still run
    makeFile("results.nbr.nimbrel-tmp-g7h8i9", 48); // not our naming
    makeFile("notes.txt", 48);
    WriteFileAtomically(PathOf("results.nbr"), "saved");
    std::vector<std::string> left;
    for (const auto &entry : fs::directory_iterator(folder_.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".results.nbr.nimbrel-tmp-d4E5f6", "notes.txt",
                                              "results.nbr", "results.nbr.nimbrel-tmp-g7h8i9"}));
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

// Bytes of another file copied in land where asked, over what was there or past the end, and
// the writer's size follows; a source shorter than asked fails rather than leave a hole.
TEST_F(AtomicFileTest, WriterCopiesTheStartOfAnotherFileInPlace) {
    const struct {
        std::uint64_t offset;
        std::uint64_t length;
        const char *expected;
    } cases[] = {
        {0, 4, "copibody"},    {4, 6, "....copied"},
        {8, 3, "....bodycop"}, {10, 2, std::string_view("....body\0\0co", 12).data()},
        {2, 0, "....body"},
    };
    const std::string source = PathOf("source");
    WriteFileAtomically(source, "copied");
    const int descriptor = ::open(source.c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    for (const auto &c : cases) {
        const std::string path = PathOf("index.idx");
        {
            AtomicFileWriter file(path);
            file.Write("....body");
            file.CopyAt(c.offset, descriptor, c.length);
            const std::uint64_t end = std::max<std::uint64_t>(8, c.offset + c.length);
            EXPECT_EQ(file.Size(), end) << c.offset;
            file.Commit();
        }
        const std::string expected(
            c.expected, std::max<std::size_t>(8, static_cast<std::size_t>(c.offset + c.length)));
        EXPECT_EQ(FileContents(path), expected) << c.offset;
    }
    AtomicFileWriter file(PathOf("short.idx"));
    EXPECT_THROW(file.CopyAt(0, descriptor, 7), EFileWriteError);
    ::close(descriptor);
}

TEST_F(AtomicFileTest, ReplacementInPiecesReplacesAFileAtCommitAndFeedsAFifoAsItGoes) {
    const std::string path = PathOf("results.nbr");
    WriteFileAtomically(path, "previous");
    {
        FileReplacement dropped(path);
        dropped.Write("never seen");
    }
    FileReplacement file(path);
    file.Write("first ");
    file.Write("second");
    EXPECT_EQ(FileContents(path), "previous");
    file.Commit();
    EXPECT_EQ(FileContents(path), "first second");
    EXPECT_EQ(EntryCount(), 1u);

    // A reader of the FIFO has each piece as soon as it is written, before the next is made.
    const std::string fifo = PathOf("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto readNow = [reader] {
        char buffer[64];
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    };
    FileReplacement piped(fifo);
    piped.Write("one");
    EXPECT_EQ(readNow(), "one");
    piped.Write("two");
    EXPECT_EQ(readNow(), "two");
    piped.Commit();
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

} // namespace
} // namespace platform
