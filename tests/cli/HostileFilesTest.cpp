// nimbrel-cli against files and targets that are not what they should be: loads that fail are
// failures, and nothing the user had is wiped or replaced by what is not a file.
#include "results/ResultsFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define NIMBREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NIMBREL_ASAN 1
#endif
#endif

using testsupport::ChildResult;

namespace {

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

class HostileFilesTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string &name) const { return folder_.PathOf(name); }

    // A results file of count rows.
    std::string WriteRows(const std::string &name, int count) const {
        results::ResultList list;
        for (int i = 0; i < count; ++i) {
            auto row = list.Append();
            row->SetCaption("name" + std::to_string(i) + ".com");
            for (const char *cell : {"com", "Yes", "12345", "678"})
                row->AppendSubItem(cell);
            row->SetChecked(i % 2 == 0);
        }
        const std::string path = PathOf(name);
        results::WriteResultsFile(path, list);
        return path;
    }

    void WriteText(const std::string &path, const std::string &text) const {
        std::ofstream(path, std::ios::binary) << text;
    }

    ChildResult Run(const std::vector<std::string> &args) const {
        return testsupport::RunChild(kProgram, args,
                                     {"XDG_CONFIG_HOME=" + folder_.Path().string(),
                                      "XDG_DATA_HOME=" + folder_.Path().string()});
    }
    // Runs the program through the shell, which first does setup (redirections, limits).
    ChildResult RunInShell(const std::string &setup, const std::vector<std::string> &args) const {
        std::vector<std::string> shellArgs = {"-c", setup + "; exec \"$0\" \"$@\"", kProgram};
        shellArgs.insert(shellArgs.end(), args.begin(), args.end());
        return testsupport::RunChild("/bin/sh", shellArgs,
                                     {"XDG_CONFIG_HOME=" + folder_.Path().string(),
                                      "XDG_DATA_HOME=" + folder_.Path().string()});
    }

    TempFolder folder_{"nimbrel-hostile"};
};

TEST_F(HostileFilesTest, LoadThatFailsExitsOneNamingTheFileAndSavesNothing) {
    WriteText(PathOf("names.txt"), "a.com\nb.com\n");
    WriteText(PathOf("binary.nbr"), std::string("[item0]\ndomain=a\0b\n", 19));
    std::filesystem::create_directory(PathOf("folder.nbr"));
    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {PathOf("missing.nbr"), "No such file"},
        {PathOf("folder.nbr"), "folder"},
        {"/dev/zero", "not a file"},
        {PathOf("names.txt"), "not a results file"},
        {PathOf("binary.nbr"), "not a results file"},
    };
    const std::string kept = WriteRows("kept.nbr", 3);
    const std::string before = FileContents(kept);
    for (const Case &c : cases) {
        const ChildResult result =
            Run({"--load", c.file, "--save", kept, "--names", kept, "--format", "tsv"});
        EXPECT_EQ(result.exitCode, 1) << c.file;
        EXPECT_EQ(result.out, "") << c.file;
        EXPECT_NE(result.err.find(c.file), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(FileContents(kept), before) << c.file;
    }
}

TEST_F(HostileFilesTest, LoadUnderAMemoryLimitGivesEveryRowOrAFailureAndKeepsTheFile) {
#ifdef NIMBREL_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
#else
    const std::string file = WriteRows("big.nbr", 100000);
    const std::string before = FileContents(file);
    const ChildResult whole = Run({"--load", file, "--format", "tsv"});
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    int failures = 0;
    // Limits that stop the load, the printing, the save (which needs the most), and none.
    for (int megabytes : {30, 50, 90, 400}) {
        const ChildResult result = RunInShell("ulimit -v " + std::to_string(megabytes * 1024),
                                              {"--load", file, "--save", file, "--format", "tsv"});
        ASSERT_NE(result.exitCode, -1) << megabytes << " MB: killed by a signal\n" << result.err;
        if (result.exitCode == 0) {
            EXPECT_EQ(result.out, whole.out) << megabytes;
        } else {
            ++failures;
            EXPECT_EQ(result.exitCode, 1) << megabytes << result.err;
            EXPECT_NE(result.err.find("memory"), std::string::npos) << megabytes << result.err;
        }
        EXPECT_EQ(FileContents(file), before) << megabytes;
    }
    EXPECT_GT(failures, 0) << "no limit was small enough to make the load fail";
#endif
}

TEST_F(HostileFilesTest, FifoIsReadOnceToItsEnd) {
    const std::string fifo = PathOf("rows.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string text = FileContents(WriteRows("rows.nbr", 3));
    std::thread writer([&] {
        // Waits for the reader, writes the file once and goes: a second open would wait for
        // ever.
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd >= 0 && ::write(fd, text.data(), text.size()) > 0)
            ::close(fd);
    });
    const ChildResult result =
        testsupport::ChildProcess(kProgram, {"--load", fifo, "--format", "tsv"})
            .Wait(std::chrono::seconds(10));
    if (result.exitCode == -1) {
        // Let the writer go if the program never opened the FIFO.
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ::close(fd);
    }
    writer.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // A file written without the newer columns loads with those cells empty.
    EXPECT_EQ(result.out, "domain\tsuffix\tavailable\tlinks\trank\tevidence\texpires\tregistrar\tst"
                          "atus\tdisplay\thosts\tchecked\n"
                          "name0.com\tcom\tYes\t12345\t678\t\t\t\t\t\t\t1\n"
                          "name1.com\tcom\tYes\t12345\t678\t\t\t\t\t\t\t0\n"
                          "name2.com\tcom\tYes\t12345\t678\t\t\t\t\t\t\t1\n");
}

TEST_F(HostileFilesTest, OutputsOntoWhatIsNotAFileAreWrittenInPlace) {
    const std::string rows = WriteRows("rows.nbr", 2);
    const std::string fifo = PathOf("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string stdoutLink = PathOf("stdout-link");
    std::filesystem::create_symlink("/proc/self/fd/1", stdoutLink);
    const std::string dangling = PathOf("dangling.nbr");
    std::filesystem::create_symlink("made.nbr", dangling);

    std::string fromFifo;
    std::thread reader([&] { fromFifo = FileContents(fifo); });
    const ChildResult result =
        Run({"--load", rows, "--format", "tsv", "--save", fifo, "--names", stdoutLink});
    reader.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(fromFifo, FileContents(rows));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(result.out.ends_with("\nname0.com\nname1.com\n")) << result.out;
    EXPECT_TRUE(std::filesystem::is_symlink(stdoutLink));

    const ChildResult saved = Run({"--load", rows, "--save", dangling});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(FileContents(PathOf("made.nbr")), FileContents(rows));
}

TEST_F(HostileFilesTest, StandardOutputThatFailsIsAFailure) {
    const std::string rows = WriteRows("rows.nbr", 2);
    for (const std::string redirect : {">/dev/full", ">&-"}) {
        const ChildResult result =
            RunInShell("exec " + redirect, {"--load", rows, "--format", "tsv"});
        EXPECT_EQ(result.exitCode, 1) << redirect;
        EXPECT_NE(result.err.find("standard output"), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    const ChildResult candidates =
        RunInShell("exec >/dev/full", {"--candidates", "--mode", "exact", "car"});
    EXPECT_EQ(candidates.exitCode, 1) << candidates.err;
}

} // namespace
