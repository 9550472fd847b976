#include "tests/support/ChildProcess.h"
#include "tests/support/OldIndexForms.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::ChildResult;

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";

class IndexCommandsTest : public ::testing::Test, protected testsupport::IsolatedProgram {
protected:
    IndexCommandsTest() : IsolatedProgram(kProgram) {}
    using IsolatedProgram::Run;
    static void ExpectHas(const std::string &text, const std::string &part) {
        EXPECT_NE(text.find(part), std::string::npos) << "no '" << part << "' in:\n" << text;
    }
};

TEST_F(IndexCommandsTest, ImportsBothKindsAndSaysWhatTheIndexesHold) {
    const ChildResult before = Run({"--index-info"});
    EXPECT_EQ(before.exitCode, 0) << before.err;
    ExpectHas(before.out, "web graph: not imported (" + data_.PathOf("Nimbrel/web-graph.idx"));
    ExpectHas(before.out, "rank list: not imported");

    const std::string graph =
        Write("domain-ranks.txt",
              "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n"
              "1\t3.4E7\t2\t0.0012\tcom.example\t125\n"
              "broken\n"
              "40\t1.0E5\t7\t1.0E-4\tcom.example\t3\n");
    const std::string list = Write("top-1m.csv", "1,google.com\r\n2,example.org\r\n");
    const ChildResult imported =
        Run({"--import-web-graph", graph, "--import-rank-list", list, "--index-info"});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    ExpectHas(imported.out, "Imported the web graph from domain-ranks.txt (plain text): 4 lines, "
                            "1 name\n  skipped 1 header line\n"
                            "  skipped 1 malformed line (first ones: 3)\n"
                            "  1 name listed again; the better position was kept and line 4 "
                            "dropped\n  index: " +
                                data_.PathOf("Nimbrel/web-graph.idx"));
    ExpectHas(imported.out,
              "Imported the rank list from top-1m.csv (plain text): 2 lines, 2 names");
    ExpectHas(imported.out,
              "web graph: domain-ranks.txt, 4 lines (1 malformed), 1 name, imported 2");
    ExpectHas(imported.out, "rank list: top-1m.csv, 2 lines (0 malformed), 2 names, imported 2");
}

TEST_F(IndexCommandsTest, FailedImportExitsWithFileErrorAndKeepsTheIndex) {
    const std::string list = Write("top-1m.csv", "1,google.com\n");
    ASSERT_EQ(Run({"--import-rank-list", list}).exitCode, 0);

    const std::string wrongKind = Write("graph.txt", "1\t3.4E7\t2\t0.0012\tcom.example\t125\n");
    const ChildResult failed = Run({"--import-rank-list", wrongKind});
    EXPECT_EQ(failed.exitCode, 1);
    ExpectHas(failed.err, "graph.txt: no line is a rank list line (1 malformed of 1); the index "
                          "was not changed");
    const ChildResult missing = Run({"--import-web-graph", files_.PathOf("missing.gz")});
    EXPECT_EQ(missing.exitCode, 1);
    ExpectHas(missing.err, "missing.gz: cannot open");

    ExpectHas(Run({"--index-info"}).out, "rank list: top-1m.csv, 1 line (0 malformed), 1 name");
    EXPECT_EQ(Run({"--import-rank-list", list, "fast", "car"}).exitCode, 2);
}

// Zeros without end through a FIFO: Ctrl-C ends the import, which looks by blocks of text
// rather than by lines.
TEST_F(IndexCommandsTest, CtrlCEndsAnImportOfDataWithoutLineBreaks) {
    const std::string fifo = files_.PathOf("zeros.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> opened;
    std::thread writer([&] {
        // The write fails once the program is gone, instead of ending the tests.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        opened.set_value();
        const std::string zeros(1 << 16, '\0');
        while (fd >= 0 && ::write(fd, zeros.data(), zeros.size()) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
    });
    testsupport::ChildProcess child(kProgram, {"--import-rank-list", fifo},
                                    {"XDG_DATA_HOME=" + data_.Path().string()});
    // The program opens its input only after it has taken over Ctrl-C.
    const bool started =
        opened.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(started);
    if (started)
        child.Signal(SIGINT);
    const ChildResult result = child.Wait(std::chrono::seconds(10));
    if (!started) {
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ::close(fd);
    }
    writer.join();
    EXPECT_EQ(result.exitCode, 130) << result.err;
    ExpectHas(result.err, "import interrupted; the index was not changed");
}

TEST_F(IndexCommandsTest, IndexInfoSaysWhenTheImportTimeIsInvalid) {
    ASSERT_EQ(Run({"--import-rank-list", Write("top-1m.csv", "1,google.com\n")}).exitCode, 0);
    // The import time: seconds since 1970 at byte 40 of the header, here the first second of
    // the year 10000.
    const std::int64_t time = 253402300800;
    std::fstream index(data_.PathOf("Nimbrel/rank-list.idx"),
                       std::ios::in | std::ios::out | std::ios::binary);
    index.seekp(40);
    index.write(reinterpret_cast<const char *>(&time), sizeof time);
    index.close();
    const ChildResult info = Run({"--index-info"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    ExpectHas(info.out, "rank list: top-1m.csv, 1 line (0 malformed), 1 name, imported at an "
                        "invalid time (253402300800 s after 1970), ");
}

// A web-graph index of the older form (version 1, no names after its records) still answers, and
// says that an import again makes it searchable.
TEST_F(IndexCommandsTest, IndexInfoSaysWhenTheWebGraphIsHashOnly) {
    const std::string graph = Write("ranks.txt", "1\t3.4E7\t2\t0.0012\tcom.example\t125\n");
    ASSERT_EQ(Run({"--import-web-graph", graph}).exitCode, 0);
    const std::string path = data_.PathOf("Nimbrel/web-graph.idx");
    EXPECT_EQ(Run({"--index-info"}).out.find("hash-only"), std::string::npos);

    // The form with hash records and names that imports wrote before: searchable all the same.
    testsupport::MakeVersion2(path);
    const ChildResult second = Run({"--index-info"});
    ExpectHas(second.out, "web graph: ranks.txt, 1 line (0 malformed), 1 name, imported 2");
    EXPECT_EQ(second.out.find("hash-only"), std::string::npos) << second.out;

    // The form imports wrote before names were kept.
    testsupport::MakeHashOnly(path);
    const ChildResult info = Run({"--index-info"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    ExpectHas(info.out, "web graph: ranks.txt, 1 line (0 malformed), 1 name, imported 2");
    ExpectHas(info.out, "  hash-only: re-import to search by keyword\n");
}

} // namespace
