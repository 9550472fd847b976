#include "ui/Unit1.h"

#include "probes/WebProbes.h"
#include "rankindex/RankImport.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ResultRows.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WebGraphFiles.h"
#include "tests/ui_main/MainWindowSupport.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Ticks every 10 ms on the window's thread and keeps the longest gap between two ticks while
// recording; onTick runs at every tick.
class TickWatch {
public:
    TickWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            if (recording_)
                longest_ = std::max(longest_, now - last_);
            last_ = now;
            if (onTick)
                onTick();
        });
        timer_.start();
    }

    void Record(bool on) {
        recording_ = on;
        last_ = Clock::now();
    }
    milliseconds Longest() const { return std::chrono::duration_cast<milliseconds>(longest_); }

    std::function<void()> onTick;

private:
    QTimer timer_;
    bool recording_ = false;
    Clock::time_point last_ = Clock::now();
    Clock::duration longest_{};
};

// The main window with the real probes, one name at a time or many at once (the parameter),
// against a server that reads every request and never answers.
class ResponsiveRun : public ::testing::TestWithParam<int> {
protected:
    ResponsiveRun() {
        options.COM = true;
        options.NET = true;
        options.ORG = true;
        options.SetShow(core::kShowAll);
        options.SetSearchFor(core::kExactPhrase);
        options.SetJobs(GetParam());
        server.SetDefault({testsupport::ReadRequest(), testsupport::Silent()});
    }
    ~ResponsiveRun() override { ShownMessages().clear(); }

    // Selects a free row and asks "Force details" about it.
    void ForceDetails(ui::TForm1 &window, TickWatch &watch) {
        testsupport::AddTestRow(window.Results(), "fast.net", "Yes", true);
        window.Results().SetSelectedIndex(0);
        watch.Record(true);
        Find<QAction>(window, "Force1")->trigger();
    }

    // The window, its connection and read waits waitMs each.
    ui::TForm1 &Window(int waitMs) {
        net::NetworkContext context = network.Context(waitMs, waitMs);
        form = std::make_unique<ui::TForm1>(options, probes::WebProbes(), context);
        startForm = std::make_unique<ui::TStartForm>(options, form.get());
        form->AttachDialogs([this] { return startForm->AskKeywords(); }, [] {}, [] {});
        return *form;
    }

    // Presses Start and answers the keywords dialog; recording starts once it is answered, so
    // that the run's time is measured, not the test's typing.
    void Search(ui::TForm1 &window, TickWatch &watch) {
        WhenShown<ui::TStartForm>([&watch](ui::TStartForm &dialog) {
            AnswerKeywords(dialog, {"fast", "car", "red"});
            watch.Record(true);
        });
        Find<QAbstractButton>(window, "BitBtn2")->click();
    }

    // Starts command in the event loop and closes the window once the server has a connection;
    // the program must end within a second of the close.
    void CloseDuring(const std::function<void(ui::TForm1 &, TickWatch &)> &command) {
        // Waits far longer than the test: only abandoning the command ends its exchanges in time.
        ui::TForm1 &window = Window(20000);
        QApplication::setQuitOnLastWindowClosed(true);
        window.show();
        TickWatch watch;
        std::optional<Clock::time_point> closedAt;
        watch.onTick = [&] {
            if (!closedAt && server.Accepted() >= 1) {
                closedAt = Clock::now();
                window.close();
            }
        };
        QTimer::singleShot(0, &window, [&] { command(window, watch); });
        ExpectClosedWithinASecond(closedAt);
    }

    // Runs the event loop until the window has closed (or ten seconds have passed) and expects
    // the program to have ended within a second of closedAt.
    static void ExpectClosedWithinASecond(const std::optional<Clock::time_point> &closedAt) {
        bool timedOut = false;
        QTimer::singleShot(10000, qApp, [&] {
            timedOut = true;
            QApplication::exit(1);
        });
        const int code = QApplication::exec();
        const auto endedAt = Clock::now();
        QApplication::setQuitOnLastWindowClosed(false);
        EXPECT_FALSE(timedOut);
        EXPECT_EQ(code, 0);
        ASSERT_TRUE(closedAt);
        const auto closing = std::chrono::duration_cast<milliseconds>(endedAt - *closedAt);
        RecordProperty("closing_ms", static_cast<int>(closing.count()));
        EXPECT_LT(closing, std::chrono::seconds(1));
    }

    TempConfigHome home;
    testsupport::ScriptedServer server;
    testsupport::LoopbackNetwork network{server.Port()};
    core::SearchOptions options;
    UrlRecorder urls;
    // The added row counts as unsaved; closing discards it.
    SaveQuestionAnswerer saveQuestion;
    std::unique_ptr<ui::TForm1> form;
    std::unique_ptr<ui::TStartForm> startForm;
};

} // namespace

TEST_P(ResponsiveRun, TheWindowKeepsTickingThroughARunAgainstSilentServersAndItsStop) {
    ui::TForm1 &window = Window(300);
    TickWatch watch;
    bool stopped = false;
    watch.onTick = [&] {
        if (!stopped && server.Accepted() > 0) {
            stopped = true;
            Find<QAbstractButton>(window, "StopBtn")->click();
        }
    };
    Search(window, watch);
    watch.Record(false);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(window.StatusText(), "Done!");
    RecordProperty("longest_gap_ms", static_cast<int>(watch.Longest().count()));
    EXPECT_LT(watch.Longest(), kLivelyGap);
}

// A search of linked names: the web graph's names are scanned beside the window, then checked
// against the silent server; the window ticks throughout, and Stop ends the run.
TEST_P(ResponsiveRun, TheWindowKeepsTickingThroughASearchOfLinkedNames) {
    TempFolder data{"nimbrel-responsive"};
    std::string text = testsupport::kWebGraphHeader;
    for (int i = 1; i <= 30000; ++i)
        text += testsupport::WebGraphRow(
            i, (i % 2 ? "com.fastredcar" : "net.redfastcar") + std::to_string(i), 1 + i % 5);
    testsupport::WriteGzipFile(data.Path() / "ranks.txt.gz", text);
    rankindex::ImportRankFile(rankindex::RankKind::WebGraph, data.Path() / "ranks.txt.gz",
                              data.Path());
    const auto index = std::make_shared<const rankindex::RankIndex>(
        rankindex::IndexPath(data.Path(), rankindex::RankKind::WebGraph));
    form = std::make_unique<ui::TForm1>(
        options,
        [index] {
            core::CheckSetup setup;
            setup.probes = probes::WebProbes();
            setup.webGraph = index;
            return setup;
        },
        network.Context(300, 300));
    startForm = std::make_unique<ui::TStartForm>(options, form.get());
    form->AttachDialogs([this] { return startForm->AskKeywords(); }, [] {}, [] {});
    options.SetSearchMode(core::kLinkedNames);
    TickWatch watch;
    bool stopped = false;
    watch.onTick = [&] {
        if (!stopped && server.Accepted() > 0) {
            stopped = true;
            Find<QAbstractButton>(*form, "StopBtn")->click();
        }
    };
    Search(*form, watch);
    watch.Record(false);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(form->StatusText(), "Done!");
    RecordProperty("longest_gap_ms", static_cast<int>(watch.Longest().count()));
    EXPECT_LT(watch.Longest(), kLivelyGap);
}

TEST_P(ResponsiveRun, ClosingTheWindowEndsARunAgainstSilentServersWithinASecond) {
    CloseDuring([this](ui::TForm1 &window, TickWatch &watch) { Search(window, watch); });
}

TEST_P(ResponsiveRun, TheWindowKeepsTickingWhileForceDetailsWaitsOnSilentServers) {
    ui::TForm1 &window = Window(300);
    TickWatch watch;
    ForceDetails(window, watch);
    watch.Record(false);
    EXPECT_EQ(server.Accepted(), 2);
    RecordProperty("longest_gap_ms", static_cast<int>(watch.Longest().count()));
    EXPECT_LT(watch.Longest(), kLivelyGap);
}

TEST_P(ResponsiveRun, ClosingTheWindowEndsForceDetailsAgainstSilentServersWithinASecond) {
    CloseDuring([this](ui::TForm1 &window, TickWatch &watch) { ForceDetails(window, watch); });
}

INSTANTIATE_TEST_SUITE_P(Jobs, ResponsiveRun, ::testing::Values(1, 16),
                         [](const auto &info) { return "jobs" + std::to_string(info.param); });
