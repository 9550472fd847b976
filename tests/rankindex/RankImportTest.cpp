#include "rankindex/RankImport.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankIndex.h"
#include "rankindex/RankIndexFormat.h"
#include "tests/rankindex/DataFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <map>
#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace rankindex {
namespace {

using testdata::Format;

// Lines 1-2 headers, 4 malformed, 5 blank, 6 a second listing with a worse position, 9 a
// second listing with a better one.
const std::string kWebGraph =
    "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\r\n"
    "# a second header line\r\n"
    "1\t3.4E7\t2\t0.0012\tcom.example\t125\r\n"
    "not a line of the graph\r\n"
    "\r\n"
    "40\t1.0E5\t7\t1.0E-4\tcom.example\t3\r\n"
    "2\t3.1E7\t1\t0.0020\tde.xn--bcher-kva\t12\r\n"
    "300\t9.9E4\t900\t1.0E-6\tORG.Lapsed-Name\t1\n"
    "30\t9.9E4\t90\t1.0E-6\torg.lapsed-name\t1\n"
    "7\t2.0E7\t8\t1.0E-3\tnet.fast-car\t2";

// Line 1 names the columns, line 3 malformed, line 5 a second listing with a worse rank.
const std::string kRankList = "rank,domain\r\n"
                              "1,google.com\r\n"
                              "2;bad.com\r\n"
                              "3,xn--80ak6aa92e.com\r\n"
                              "9,Google.com\r\n"
                              "4,example.org\r\n";

class RankImportTest : public ::testing::Test {
protected:
    std::filesystem::path Source(Format format, const std::string &text,
                                 const std::string &name = "source") {
        const auto path = sources_.Path() / name;
        testdata::WriteAs(format, path, text);
        return path;
    }
    ImportReport Import(RankKind kind, const std::filesystem::path &source,
                        std::size_t runEntries = RankIndexWriter::kDefaultRunEntries,
                        ImportProgressHandler progress = {}) {
        return ImportRankFile(kind, source, indexes_.Path() / "Nimbrel", {progress, runEntries});
    }
    RankIndex Open(RankKind kind) const {
        return RankIndex(IndexPath(indexes_.Path() / "Nimbrel", kind));
    }
    // Only the index files: no temporary file is left behind.
    std::vector<std::string> IndexFolderEntries() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(indexes_.Path() / "Nimbrel"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void ExpectFailureKeepsIndex(const std::filesystem::path &source, const std::string &cause) {
        try {
            Import(RankKind::WebGraph, source);
            ADD_FAILURE() << "imported " << source;
        } catch (const EImportError &error) {
            EXPECT_NE(error.Message().find(cause), std::string::npos) << error.Message();
        }
        EXPECT_EQ(Open(RankKind::WebGraph).Find("example.com"), 1u);
        EXPECT_EQ(IndexFolderEntries(), std::vector<std::string>{"web-graph.idx"});
    }

    TempFolder sources_{"nimbrel-sources"};
    TempFolder indexes_{"nimbrel-indexes"};
};

// A FIFO whose writer waits for a reader, writes the bytes once and goes, as `<(cat file)` does:
// once it has gone, opening the FIFO again would wait for a writer that never comes.
class OneShotFifo {
public:
    OneShotFifo(const std::filesystem::path &path, std::string bytes) : path_(path) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        writer_ = std::thread([this, bytes = std::move(bytes)] {
            // A reader that refuses the data early makes the write fail, not end the tests.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            for (std::size_t done = 0; fd >= 0 && done < bytes.size();) {
                const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (wrote <= 0)
                    break;
                done += static_cast<std::size_t>(wrote);
            }
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~OneShotFifo() {
        // A writer still waiting for its reader is let go by a reader that opens and leaves.
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        writer_.join();
    }
    // Ends an import waiting in vain to open the FIFO again, so that a failing test ends.
    void ReleaseReader() const {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }

private:
    std::filesystem::path path_;
    std::thread writer_;
};

// The sorted runs an import holds on disk at the moment, from its open descriptors.
// The bytes of the open temporary files whose names start with prefix.
std::uint64_t TemporaryRunBytes(const char *prefix = ".nimbrel-import-") {
    std::uint64_t bytes = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        struct stat info {};
        if (!error && target.find(prefix) != std::string::npos &&
            ::stat(entry.path().c_str(), &info) == 0)
            bytes += static_cast<std::uint64_t>(info.st_size);
    }
    return bytes;
}

// Where the names start in an index with a source name of this length: right after it, with no
// hash records before them.
std::uint64_t NamesStart(std::size_t sourceNameLength) {
    return (sizeof(RankIndexHeader) + sourceNameLength + 7) & ~std::uint64_t{7};
}

class RankImportFormatTest : public RankImportTest, public ::testing::WithParamInterface<Format> {};

TEST_P(RankImportFormatTest, WebGraphPositionsComeBackByName) {
    const auto source = Source(GetParam(), kWebGraph, "cc-main-domain-ranks.txt");
    for (const std::size_t runEntries : {std::size_t{2}, RankIndexWriter::kDefaultRunEntries}) {
        const ImportReport report = Import(RankKind::WebGraph, source, runEntries);
        EXPECT_EQ(report.format, GetParam());
        EXPECT_EQ(report.lines, 10u);
        EXPECT_EQ(report.headerLines, 2u);
        EXPECT_EQ(report.blankLines, 1u);
        EXPECT_EQ(report.malformedLines, 1u);
        EXPECT_EQ(report.firstMalformedLines, std::vector<std::uint64_t>{4});
        EXPECT_EQ(report.entries, 4u);
        ASSERT_EQ(report.duplicateNames, 2u);
        std::map<std::uint64_t, std::uint64_t> kept;
        for (const DuplicateName &duplicate : report.firstDuplicates)
            kept[duplicate.droppedLine] = duplicate.keptLine;
        EXPECT_EQ(kept, (std::map<std::uint64_t, std::uint64_t>{{6, 3}, {8, 9}}));

        const RankIndex index = Open(RankKind::WebGraph);
        EXPECT_EQ(index.Find("example.com"), 1u);
        EXPECT_EQ(index.Find("EXAMPLE.com."), 1u);
        EXPECT_EQ(index.Find("xn--bcher-kva.de"), 2u);
        EXPECT_EQ(index.Find("lapsed-name.org"), 30u);
        EXPECT_EQ(index.Find("fast-car.net"), 7u);
        EXPECT_EQ(index.Find("com.example"), std::nullopt);
        EXPECT_EQ(index.Find("example.net"), std::nullopt);
        EXPECT_EQ(index.Info().kind, RankKind::WebGraph);
        EXPECT_EQ(index.Info().sourceName, "cc-main-domain-ranks.txt");
        EXPECT_EQ(index.Info().sourceLines, 10u);
        EXPECT_EQ(index.Info().skippedLines, 1u);
        EXPECT_EQ(index.Info().entries, 4u);
        EXPECT_NEAR(static_cast<double>(index.Info().importTime),
                    static_cast<double>(std::time(nullptr)), 600);
        EXPECT_EQ(index.Info().fileSize, std::filesystem::file_size(IndexPath(
                                             indexes_.Path() / "Nimbrel", RankKind::WebGraph)));
        EXPECT_EQ(IndexFolderEntries(), std::vector<std::string>{"web-graph.idx"});
    }
}

TEST_P(RankImportFormatTest, RankListRanksComeBackByName) {
    const ImportReport report = Import(RankKind::RankList, Source(GetParam(), kRankList));
    EXPECT_EQ(report.lines, 6u);
    EXPECT_EQ(report.headerLines, 1u);
    EXPECT_EQ(report.firstMalformedLines, std::vector<std::uint64_t>{3});
    EXPECT_EQ(report.entries, 3u);
    EXPECT_EQ(report.duplicateNames, 1u);
    const RankIndex index = Open(RankKind::RankList);
    EXPECT_EQ(index.Find("google.com"), 1u);
    EXPECT_EQ(index.Find("xn--80ak6aa92e.com"), 3u);
    EXPECT_EQ(index.Find("example.org"), 4u);
    EXPECT_EQ(index.Find("bad.com"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Formats, RankImportFormatTest,
                         ::testing::Values(Format::Plain, Format::Gzip, Format::Zip),
                         testdata::FormatLabel);

// Enough names for many sorted runs, each listed twice with the better position second.
TEST_F(RankImportTest, ManyRunsMergeIntoOneSortedIndex) {
    std::string text;
    constexpr int kNames = 5000;
    for (int pass = 1; pass >= 0; --pass) {
        for (int i = 0; i < kNames; ++i)
            text += std::to_string(i + 1 + pass * 100000) + ",name" + std::to_string(i) + ".com\n";
    }
    const ImportReport report =
        Import(RankKind::RankList, Source(Format::Gzip, text), /*runEntries=*/333);
    EXPECT_EQ(report.entries, static_cast<std::uint64_t>(kNames));
    EXPECT_EQ(report.duplicateNames, static_cast<std::uint64_t>(kNames));
    EXPECT_EQ(report.firstDuplicates.size(), RankIndexWriter::kMaxReportedDuplicates);
    const RankIndex index = Open(RankKind::RankList);
    for (int i = 0; i < kNames; ++i)
        ASSERT_EQ(index.Find("name" + std::to_string(i) + ".com"),
                  static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(index.Find("name5000.com"), std::nullopt);
}

// Names that share long beginnings and part where eight-byte words of them do and do not agree,
// some the beginning of others: each is front-coded against the one before, on disk in the runs
// and in the blocks, and must come back whole.
TEST_F(RankImportTest, NamesSharingLongBeginningsComeBackByName) {
    const std::string stem = "a-stem-of-twenty-six-chars";
    std::vector<std::string> names;
    for (std::size_t cut = 0; cut <= stem.size(); cut += 3) {
        for (const char *tail : {"", "x", "-x", "xxxxxxxxxxxxxxxxx"})
            names.push_back(stem.substr(0, cut) + tail);
    }
    names.push_back(std::string(200, 'q'));
    names.push_back(std::string(200, 'q') + "r");
    names.push_back(std::string(199, 'q') + "r");
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // In a scrambled order (7 and the count have no common factor), so that runs hold
        // neighbours that differ anywhere.
        const std::string &name = names[(i * 7) % names.size()];
        if (!name.empty())
            text += std::to_string(i + 1) + "," + name + ".com\n";
    }
    for (const std::size_t runEntries : {std::size_t{3}, RankIndexWriter::kDefaultRunEntries}) {
        Import(RankKind::RankList, Source(Format::Plain, text), runEntries);
        const RankIndex index = Open(RankKind::RankList);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string &name = names[(i * 7) % names.size()];
            if (!name.empty()) {
                EXPECT_EQ(index.Find(name + ".com"), static_cast<std::uint32_t>(i + 1))
                    << name << " " << runEntries;
            }
        }
        EXPECT_EQ(index.Find(stem + "y.com"), std::nullopt);
    }
}

// Repeats spread so that some runs shrink to a few names (kept in memory, then merged beside the
// last run) and others go to disk: whatever the run size, the index and the repeats counted are
// those of one run, the listings dropped the same (the one kept for each may be a repeat dropped
// later in the merge).
TEST_F(RankImportTest, RepeatedNamesGiveTheSameIndexWhateverTheRunSize) {
    std::string text;
    for (int i = 0; i < 600; ++i) {
        const int name = i < 300 ? i / 6 : (i * 7) % 61;
        text += std::to_string((i * 37) % 101 + 1) + "\t1.0\t" + std::to_string(i + 1) +
                "\t1.0\tcom.name" + std::to_string(name) + "\t" + std::to_string(i % 9) + "\n";
    }
    const auto source = Source(Format::Plain, text);
    const auto imported = [&](std::size_t runEntries) {
        const ImportReport report = Import(RankKind::WebGraph, source, runEntries);
        std::string bytes =
            testdata::FileBytes(IndexPath(indexes_.Path() / "Nimbrel", RankKind::WebGraph));
        std::memset(bytes.data() + offsetof(RankIndexHeader, importTime), 0,
                    sizeof(RankIndexHeader::importTime));
        std::vector<std::uint64_t> dropped;
        for (const DuplicateName &duplicate : report.firstDuplicates)
            dropped.push_back(duplicate.droppedLine);
        return std::make_tuple(bytes, report.duplicateNames, dropped);
    };
    const auto oneRun = imported(RankIndexWriter::kDefaultRunEntries);
    EXPECT_EQ(std::get<1>(oneRun), 600u - 61u);
    for (const std::size_t runEntries : {2, 30, 64, 100, 170})
        EXPECT_EQ(imported(runEntries), oneRun) << runEntries;
}

TEST_F(RankImportTest, FailedImportsKeepThePreviousIndex) {
    Import(RankKind::WebGraph, Source(Format::Plain, kWebGraph));

    std::string big;
    for (int i = 1; i <= 20000; ++i)
        big += std::to_string(i) + "\t1.0\t1\t1.0\tcom.name" + std::to_string(i) + "\t1\n";
    const auto truncated = Source(Format::Gzip, big, "truncated.gz");
    testdata::Truncate(truncated, testdata::FileBytes(truncated).size() * 2 / 3);
    ExpectFailureKeepsIndex(truncated, "is truncated");

    const auto zip = Source(Format::Zip, big, "cut.zip");
    testdata::Truncate(zip, testdata::FileBytes(zip).size() - 10);
    ExpectFailureKeepsIndex(zip, "not a readable zip archive");

    ExpectFailureKeepsIndex(Source(Format::Plain, kRankList, "wrong-kind.csv"),
                            "no line is a web graph line (6 malformed of 6)");
    ExpectFailureKeepsIndex(Source(Format::Gzip, "", "empty.gz"), "no line is a web graph line");
    ExpectFailureKeepsIndex(sources_.Path() / "missing.txt", "cannot open");
}

TEST_F(RankImportTest, CancelledImportKeepsThePreviousIndex) {
    Import(RankKind::WebGraph, Source(Format::Plain, kWebGraph));
    std::string big;
    for (int i = 1; i <= 70000; ++i)
        big += std::to_string(i) + "\t1.0\t1\t1.0\tcom.example\t1\n";
    const auto source = Source(Format::Gzip, big, "big.gz");
    for (const auto stage : {ImportProgress::Stage::Reading, ImportProgress::Stage::Writing}) {
        std::vector<ImportProgress> seen;
        auto cancelAt = [&](const ImportProgress &progress) {
            seen.push_back(progress);
            return progress.stage != stage;
        };
        EXPECT_THROW(Import(RankKind::WebGraph, source, 1000, cancelAt), EImportCancelled);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().stage, stage);
        EXPECT_LE(seen.front().done, seen.front().total);
        EXPECT_EQ(Open(RankKind::WebGraph).Find("example.com"), 1u);
        EXPECT_EQ(IndexFolderEntries(), std::vector<std::string>{"web-graph.idx"});
    }
}

// A FIFO or a pipe is opened once and its format told from the bytes read through that handle.
TEST_F(RankImportTest, DataThroughAFifoIsOpenedOnceAndReadInItsFormat) {
    const struct Case {
        RankKind kind;
        Format format;
        std::string text;
        std::uint64_t entries; // 0: refused
        const char *message;
    } cases[] = {
        {RankKind::RankList, Format::Plain, kRankList, 3, ""},
        {RankKind::RankList, Format::Gzip, kRankList, 3, ""},
        {RankKind::WebGraph, Format::Gzip, kWebGraph, 4, ""},
        {RankKind::RankList, Format::Zip, kRankList, 0,
         "a zip archive can only be read from a file"},
    };
    int row = 0;
    for (const Case &c : cases) {
        const auto packed = Source(c.format, c.text, "packed" + std::to_string(row));
        const auto path = sources_.Path() / ("list" + std::to_string(row++) + ".fifo");
        OneShotFifo fifo(path, testdata::FileBytes(packed));
        auto import = std::async(std::launch::async, [&] { return Import(c.kind, path); });
        if (import.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the import waits for a second writer, row " << row;
            fifo.ReleaseReader();
        }
        try {
            const ImportReport report = import.get();
            EXPECT_EQ(report.format, c.format) << row;
            EXPECT_EQ(report.entries, c.entries) << row;
        } catch (const EImportError &error) {
            EXPECT_EQ(c.entries, 0u) << row << ": " << error.Message();
            EXPECT_NE(error.Message().find(c.message), std::string::npos) << error.Message();
        }
    }
}

// Without line breaks the import still asks whether to go on after every block of text, so
// Ctrl-C ends it at once however long the line.
TEST_F(RankImportTest, DataWithoutLineBreaksCanBeCancelled) {
    const std::string zeros(std::size_t{24} << 20, '\0');
    for (const Format format : {Format::Plain, Format::Gzip, Format::Zip}) {
        int calls = 0;
        auto cancelSecond = [&](const ImportProgress &progress) {
            EXPECT_EQ(progress.stage, ImportProgress::Stage::Reading);
            return ++calls < 2;
        };
        const auto source = Source(format, zeros, "zeros");
        EXPECT_THROW(
            Import(RankKind::RankList, source, RankIndexWriter::kDefaultRunEntries, cancelSecond),
            EImportCancelled)
            << testdata::FormatLabel({format, 0});
        EXPECT_EQ(calls, 2) << testdata::FormatLabel({format, 0});
    }
}

// Repeats are settled in memory before a run goes to disk, and the index is sized by the names
// it keeps. Repeats further apart than one run still reach the disk, but not the index.
TEST_F(RankImportTest, RepeatedNamesCostNeitherIndexNorTemporarySpace) {
    auto cycle = [](int names, int rounds, int repeatsInARow) {
        std::string text;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < names; ++i) {
                for (int repeat = 0; repeat < repeatsInARow; ++repeat)
                    text += std::to_string(i + 1) + ",n" + std::to_string(i) + ".com\n";
            }
        }
        return text;
    };
    const struct Case {
        const char *label;
        std::string text;
        std::uint64_t names;
        bool namesOnDisk; // the names' runs: of this budget, they hold about 500 of these
    } cases[] = {
        {"one line 200,000 times", cycle(1, 200000, 1), 1, false},
        {"500 names, each 40 times in a row", cycle(500, 1, 40), 500, true},
        {"5000 distinct names", cycle(5000, 1, 1), 5000, true},
        {"5000 names listed twice", cycle(5000, 2, 1), 5000, true},
    };
    for (const Case &c : cases) {
        std::uint64_t temporary = 0;
        std::uint64_t names = 0;
        auto watch = [&](const ImportProgress &progress) {
            if (progress.stage == ImportProgress::Stage::Writing) {
                temporary = std::max(temporary, TemporaryRunBytes());
                names = std::max(names, TemporaryRunBytes(".nimbrel-names-"));
            }
            return true;
        };
        const ImportReport report = Import(RankKind::RankList, Source(Format::Gzip, c.text, "l"),
                                           /*runEntries=*/1000, watch);
        EXPECT_EQ(report.entries, c.names) << c.label;
        EXPECT_EQ(report.entries + report.duplicateNames, report.lines) << c.label;
        const RankIndex index = Open(RankKind::RankList);
        // The names section starts after the source's name; it holds each name once.
        const std::string bytes =
            testdata::FileBytes(IndexPath(indexes_.Path() / "Nimbrel", RankKind::RankList));
        RankIndexHeader header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        EXPECT_EQ(NamesOffset(header), NamesStart(1)) << c.label;
        EXPECT_EQ(index.Info().names, c.names) << c.label;
        // Names are looked up in the names section: no hash records are sorted on disk.
        EXPECT_EQ(temporary, 0u) << c.label;
        EXPECT_EQ(names > 0, c.namesOnDisk) << c.label << ": " << names;
        EXPECT_EQ(index.Find("n0.com"), 1u) << c.label;
    }
}

TEST_F(RankImportTest, IndexFolderFollowsXdgDataHome) {
    const char *saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(DefaultIndexFolder(), std::filesystem::path("/data/home/Nimbrel"));
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultIndexFolder(),
              std::filesystem::path(std::getenv("HOME")) / ".local/share/Nimbrel");
    if (saved)
        ::setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    EXPECT_EQ(IndexPath("/x", RankKind::RankList), std::filesystem::path("/x/rank-list.idx"));
}

} // namespace
} // namespace rankindex
