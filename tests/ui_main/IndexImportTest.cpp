#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"
#include "tests/ui_main/MainWindowSupport.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

// A rank list of `count` names, name<k>.com at rank k.
std::string WriteRankList(const TempFolder &folder, const std::string &file, int count) {
    std::ofstream out(folder.PathOf(file), std::ios::binary);
    out << "rank,domain\n";
    for (int k = 1; k <= count; ++k)
        out << k << ",name" << k << ".com\n";
    return folder.PathOf(file);
}

class IndexImportCommands : public ::testing::Test {
protected:
    std::optional<std::uint32_t> Lookup(rankindex::RankKind kind, const std::string &name) {
        const rankindex::RankIndex index(
            rankindex::IndexPath(rankindex::DefaultIndexFolder(), kind));
        return index.Find(name);
    }
    // Answers the file dialog with file and chooses the command.
    void Import(const char *command, const std::string &file) {
        window.fileAnswers.push_back(file);
        window.Action(command)->trigger();
    }
    bool WaitUntilDone() {
        return QTest::qWaitFor([this] { return !window.form.Importing(); }, kWaitMs);
    }
    std::string LastMessage() {
        return ShownMessages().empty() ? std::string() : ShownMessages().back();
    }

    TempDataHome data;
    TempFolder files{"nimbrel-import"};
    MainWindowFixture window;
};

TEST_F(IndexImportCommands, ImportsEitherKindAndReportsWhatWasSkipped) {
    std::ofstream(files.PathOf("graph.txt"), std::ios::binary)
        << "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n"
        << "1\t3.0\t2\t0.1\tcom.example\t5\n"
        << "not a line\n"
        << "7\t1.0\t9\t0.01\torg.lapsed\t1\n";
    struct Case {
        const char *command;
        std::string file;
        rankindex::RankKind kind;
        const char *name;
        std::uint32_t position;
        const char *reported;
    };
    const Case cases[] = {
        {"ImportWebGraph1", files.PathOf("graph.txt"), rankindex::RankKind::WebGraph, "lapsed.org",
         7, "first ones: 3"},
        {"ImportRankList1", WriteRankList(files, "top.csv", 300), rankindex::RankKind::RankList,
         "name42.com", 42, "300 names"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        Import(c.command, c.file);
        EXPECT_EQ(window.askedDialogs.back().name, "ImportDialog");
        ASSERT_TRUE(WaitUntilDone());
        EXPECT_EQ(Lookup(c.kind, c.name), c.position);
        EXPECT_NE(LastMessage().find(c.reported), std::string::npos) << LastMessage();
        EXPECT_FALSE(Find<QProgressDialog>(window.form, "ImportProgress1")->isVisible());
    }
}

TEST_F(IndexImportCommands, CancelOrFailureKeepsThePreviousIndex) {
    Import("ImportRankList1", WriteRankList(files, "old.csv", 10));
    ASSERT_TRUE(WaitUntilDone());

    // Long enough that Cancel, pressed as the progress shows, comes before the end.
    WhenShown<QProgressDialog>(
        [](QProgressDialog &progress) { progress.findChild<QPushButton *>()->click(); });
    Import("ImportRankList1", WriteRankList(files, "big.csv", 400000));
    ASSERT_TRUE(WaitUntilDone());
    EXPECT_NE(LastMessage().find("cancelled"), std::string::npos) << LastMessage();
    EXPECT_NE(LastMessage().find("previous index is kept"), std::string::npos);
    EXPECT_EQ(Lookup(rankindex::RankKind::RankList, "name10.com"), 10u);
    EXPECT_EQ(Lookup(rankindex::RankKind::RankList, "name11.com"), std::nullopt);

    std::ofstream(files.PathOf("junk.csv")) << "nothing,,,here\n\x01\x02\n";
    Import("ImportRankList1", files.PathOf("junk.csv"));
    ASSERT_TRUE(WaitUntilDone());
    EXPECT_NE(LastMessage().find("Could not import"), std::string::npos) << LastMessage();
    EXPECT_NE(LastMessage().find("previous index is kept"), std::string::npos);
    EXPECT_EQ(Lookup(rankindex::RankKind::RankList, "name10.com"), 10u);
}

TEST_F(IndexImportCommands, TheWindowStaysLiveDuringAnImport) {
    const std::string file = WriteRankList(files, "big.csv", 300000);
    QTimer ticks;
    ticks.setInterval(10);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longestGap = 0;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - last);
        last = now;
    });
    // Measured from the moment the import runs, the file dialog behind.
    Import("ImportRankList1", file);
    ASSERT_TRUE(window.form.Importing());
    clock.start();
    ticks.start();
    ASSERT_TRUE(WaitUntilDone());
    ticks.stop();
    EXPECT_EQ(Lookup(rankindex::RankKind::RankList, "name300000.com"), 300000u);
    EXPECT_LT(longestGap, kLivelyGap.count());
    RecordProperty("longest_gap_ms", static_cast<int>(longestGap));
}

TEST_F(IndexImportCommands, ClosingTheWindowCancelsTheImport) {
    // The list comes through a pipe that runs dry only once the window has closed, so the import
    // cannot finish first however the threads are scheduled.
    const std::string pipe = files.PathOf("endless.csv");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Read and write: the writer's end never waits for a reader and never meets a closed one.
    const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    std::atomic<bool> closed = false;
    std::thread feed([&] {
        std::string line = "rank,domain\n";
        for (int k = 1; !closed; ++k) {
            if (::write(writer, line.data(), line.size()) < 0) {
                std::this_thread::yield(); // the pipe is full until the import reads on
                continue;
            }
            line = std::to_string(k) + ",name" + std::to_string(k) + ".com\n";
        }
    });
    Import("ImportRankList1", pipe);
    ASSERT_TRUE(window.form.Importing());
    window.form.close();
    closed = true;
    feed.join();
    ::close(writer);
    EXPECT_FALSE(window.form.Importing());
    EXPECT_FALSE(std::filesystem::exists(
        rankindex::IndexPath(rankindex::DefaultIndexFolder(), rankindex::RankKind::RankList)));
}

} // namespace
