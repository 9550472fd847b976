#include "ui/WatchUnit.h"

#include "core/WatchCheck.h"
#include "core/WatchList.h"
#include "net/ConnectRouteStack.h"
#include "probes/RegistryProbe.h"
#include "tests/support/ScriptedNameServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSessionBus.h"
#include "tests/support/TlsServer.h"
#include "tests/ui_main/MainWindowSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <fstream>

// The Watchlist window over a watch list in a temporary data folder, opened from the main
// window's menu, its checks against local servers only: a name server that delegates nothing
// and an RDAP server behind TLS for ".zz".
namespace {

using namespace testsupport;
using namespace std::chrono;
using SteadyClock = std::chrono::steady_clock;

const std::string kRdapHost = "rdap.watch.test";
const std::string kRdapJson = "Content-Type: application/rdap+json\r\n";

std::string Record(const std::string &name, const std::string &status) {
    return R"({"objectClassName": "domain", "ldhName": ")" + name + R"(", "status": [")" + status +
           R"("], "events": [{"eventAction": "expiration", "eventDate": "2026-11-20T04:00:00Z"}],)"
           R"( "entities": [{"objectClassName": "entity", "roles": ["registrar"], "vcardArray":)"
           R"( ["vcard", [["fn", {}, "text", "Example Registrar"]]]}]})";
}

core::WatchState Taken(const std::string &status, const std::string &expires = "2026-11-20") {
    return {probes::Availability::Taken, status, expires, "Example Registrar", "rdap"};
}

// The rows of a table as text, one string of cells joined by " | " a row.
std::vector<std::string> Rows(const QTableWidget &table) {
    std::vector<std::string> rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        std::string text;
        for (int column = 0; column < table.columnCount(); ++column)
            text += (column ? " | " : "") + table.item(row, column)->text().toStdString();
        rows.push_back(text);
    }
    return rows;
}

class WatchWindow : public ::testing::Test {
protected:
    WatchWindow() {
        std::ofstream(bootstrapFolder.Path() / "zz.json")
            << R"({"version": "1.0", "services": [[["zz"], ["https://)" + kRdapHost + R"(/"]]]})";
        options.cache = false;
        form.SetWatchSetup([this](const core::SearchOptions &chosen) {
            probes::RegistrySettings registry;
            registry.tls.CAFile = trust.File();
            registry.dns.server = names.Address();
            registry.bootstrapFiles = {(bootstrapFolder.Path() / "zz.json").string()};
            registry.rdapRate = 1000;
            return core::ChooseWatchSetup(chosen, {}, registry);
        });
    }
    ~WatchWindow() override { ::unsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    static net::NetworkContext Network(int rdapPort) {
        net::NetworkContext context;
        context.ConnectTimeout = context.ReadTimeout = context.RequestTimeout = 20000;
        context.Sockets = net::RoutedSocketLayer({{kRdapHost, 443, "127.0.0.1", rdapPort}});
        return context;
    }

    // The watch list as it was before the window opens: names and their checks at given times.
    void Watch(const std::vector<std::string> &added) {
        core::WatchList(core::WatchList::DefaultFile(), [this] { return now; }).Add(added);
    }
    void Recorded(const std::string &name, const core::WatchState &state) {
        core::WatchList(core::WatchList::DefaultFile(), [this] { return now; }).Record(name, state);
    }

    ui::TWatchForm &Open() {
        Find<QAction>(form, "Watchlist1")->trigger();
        ui::TWatchForm *window = form.WatchForm();
        if (!window)
            throw std::logic_error("no Watchlist window");
        window->SetClock([this] { return now; });
        window->Refresh();
        return *window;
    }

    // Runs the event loop until the window's check has ended; false after ten seconds.
    static bool CheckEnds(const ui::TWatchForm &window) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (window.Checking() && elapsed.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        return !window.Checking();
    }

    static void Select(ui::TWatchForm &window, const std::vector<int> &rows) {
        auto *names = Find<QTableWidget>(window, "NamesView1");
        names->clearSelection();
        for (int row : rows)
            names->selectionModel()->select(names->model()->index(row, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
    }

    TempDataHome dataHome;
    TempConfigHome configHome;
    TempFolder bootstrapFolder{"nimbrel-watch-bootstrap"};
    TrustedAuthority trust;
    ScriptedNameServer names;
    ScriptedServer rdap;
    TestCertificate leaf = trust.Leaf({kRdapHost});
    TlsServer rdapTls{rdap.Port(), leaf.certificatePem, leaf.keyPem};
    core::SearchOptions options;
    ui::TForm1 form{options, probes::ProbeList{}, Network(rdapTls.Port())};
    system_clock::time_point now = sys_days(2026y / 12 / 1) + hours(6);
};

TEST_F(WatchWindow, ListsTheNamesAndShowsTheSelectedOnesHistory) {
    Watch({"a.zz", "b.zz", "new.zz"});
    Recorded("a.zz", Taken("active"));
    Recorded("b.zz", Taken("active"));
    now += days(2);
    Recorded("a.zz", Taken("redemption period"));
    now += hours(1);
    Recorded("a.zz", Taken("redemption period, pending delete"));

    ui::TWatchForm &window = Open();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Watchlist");
    const std::vector<std::string> listed = {
        "a.zz | No | redemption period, pending delete | 2026-11-20 | "
        "2027-01-07 (redemption period + 30 days + pending delete 5 days) | 2026-12-03 07:00",
        "b.zz | No | active | 2026-11-20 | - | 2026-12-01 06:00",
        "new.zz | - | - | - | - | -",
    };
    EXPECT_EQ(Rows(*Find<QTableWidget>(window, "NamesView1")), listed);

    const std::pair<int, std::vector<std::string>> histories[] = {
        {0,
         {"2026-12-01 06:00 | No | active | 2026-11-20 | Example Registrar | rdap",
          "2026-12-03 06:00 | No | redemption period | 2026-11-20 | Example Registrar | rdap",
          "2026-12-03 07:00 | No | redemption period, pending delete | 2026-11-20 | "
          "Example Registrar | rdap"}},
        {1, {"2026-12-01 06:00 | No | active | 2026-11-20 | Example Registrar | rdap"}},
        {2, {}},
    };
    for (const auto &[row, history] : histories) {
        Select(window, {row});
        EXPECT_EQ(Rows(*Find<QTableWidget>(window, "HistoryView1")), history) << "row " << row;
    }
}

TEST_F(WatchWindow, RemoveStopsWatchingTheSelectedNames) {
    Watch({"a.zz", "b.zz", "c.zz"});
    ui::TWatchForm &window = Open();
    Select(window, {0, 2});
    Find<QPushButton>(window, "RemoveBtn")->click();
    EXPECT_EQ(Rows(*Find<QTableWidget>(window, "NamesView1")),
              std::vector<std::string>{"b.zz | - | - | - | - | -"});
    EXPECT_EQ(Find<QLabel>(window, "StatusText1")->text(), "2 names removed from the watch list");
    const auto kept = core::WatchList(core::WatchList::DefaultFile()).Names();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().name, "b.zz");
}

// Ticks every 10 ms on the window's thread and keeps the longest gap between two ticks.
class TickWatch {
public:
    TickWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = SteadyClock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            if (onTick)
                onTick();
        });
        timer_.start();
    }
    milliseconds Longest() const { return duration_cast<milliseconds>(longest_); }
    std::function<void()> onTick;

private:
    QTimer timer_;
    SteadyClock::time_point last_ = SteadyClock::now();
    SteadyClock::duration longest_{};
};

TEST_F(WatchWindow, CheckNowPutsTheNewlyFreeNameFirstMarkedAndTellsIt) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS",
             ("unix:path=" + (bootstrapFolder.Path() / "no-bus").string()).c_str(), 1);
    Watch({"a.zz", "b.zz", "c.zz"});
    for (const char *name : {"a.zz", "b.zz", "c.zz"})
        Recorded(name, Taken("pending delete"));
    now += days(1);
    // a.zz is renewed, b.zz is released, c.zz stays.
    rdap.Answer(kRdapHost, "/domain/a.zz", 200, Record("a.zz", "active"), kRdapJson);
    rdap.Answer(kRdapHost, "/domain/b.zz", 404, R"({"errorCode": 404})", kRdapJson);
    rdap.Answer(kRdapHost, "/domain/c.zz", 200, Record("c.zz", "pending delete"), kRdapJson);

    ui::TWatchForm &window = Open();
    TickWatch watch;
    // Seen as the bar moves, not at the watch's ticks: three local answers can all come within
    // one tick.
    int highestShown = 0;
    const auto *bar = Find<QProgressBar>(window, "CheckProgress1");
    const QMetaObject::Connection moved =
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
            if (bar->isVisible() && bar->maximum() == 3)
                highestShown = std::max(highestShown, value + 1);
        });
    Find<QPushButton>(window, "CheckNowBtn")->click();
    const bool ended = CheckEnds(window);
    QObject::disconnect(moved);
    ASSERT_TRUE(ended);
    EXPECT_GE(highestShown, 1);
    EXPECT_FALSE(Find<QProgressBar>(window, "CheckProgress1")->isVisible());
    RecordProperty("longest_gap_ms", static_cast<int>(watch.Longest().count()));
    EXPECT_LT(watch.Longest(), kLivelyGap);

    auto *table = Find<QTableWidget>(window, "NamesView1");
    const std::vector<std::string> listed = {
        "b.zz | Yes (now free) | - | - | - | 2026-12-02 06:00",
        "a.zz | No | active | 2026-11-20 | - | 2026-12-02 06:00",
        "c.zz | No | pending delete | 2026-11-20 | 2026-12-06 (pending delete 5 days) | "
        "2026-12-02 06:00",
    };
    EXPECT_EQ(Rows(*table), listed);
    for (int row = 0; row < table->rowCount(); ++row)
        EXPECT_EQ(table->item(row, 0)->font().bold(), row == 0) << "row " << row;
    const std::string status = Find<QLabel>(window, "StatusText1")->text().toStdString();
    EXPECT_EQ(status.rfind("Checked 3 names, 2 changes; b.zz is free (", 0), 0u) << status;
    Select(window, {0});
    EXPECT_EQ(Rows(*Find<QTableWidget>(window, "HistoryView1")).back(),
              "2026-12-02 06:00 | Yes | - | - | - | rdap");
}

TEST_F(WatchWindow, ANoticeGoesToTheDesktopForEachNameTheCheckFoundFree) {
    if (!TestSessionBus::Available())
        GTEST_SKIP() << "no dbus-daemon";
    TestSessionBus bus;
    NotificationStandIn notices(bus.Address());
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
    Watch({"a.zz", "b.zz"});
    Recorded("a.zz", Taken("pending delete"));
    Recorded("b.zz", Taken("active"));
    rdap.Answer(kRdapHost, "/domain/a.zz", 404, R"({"errorCode": 404})", kRdapJson);
    // Entering pending delete is the command line's notice, not the window's.
    rdap.Answer(kRdapHost, "/domain/b.zz", 200, Record("b.zz", "pending delete"), kRdapJson);
    ui::TWatchForm &window = Open();
    Find<QPushButton>(window, "CheckNowBtn")->click();
    ASSERT_TRUE(CheckEnds(window));
    const auto received = notices.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received.front().summary, "a.zz is free");
    EXPECT_EQ(received.front().body,
              "a.zz can be registered now; it was No (pending delete) at the check before.");
    EXPECT_EQ(Find<QLabel>(window, "StatusText1")->text(), "Checked 2 names, 2 changes");
}

TEST_F(WatchWindow, ClosingTheWindowEndsTheCheckAtOnceAndKeepsWhatItRecorded) {
    Watch({"a.zz", "b.zz", "c.zz"});
    rdap.Answer(kRdapHost, "/domain/a.zz", 200, Record("a.zz", "active"), kRdapJson);
    // b.zz's request is read and never answered; c.zz is never reached.
    rdap.Route(kRdapHost, "/domain/b.zz", {Silent()});
    ui::TWatchForm &window = Open();
    Find<QPushButton>(window, "CheckNowBtn")->click();
    // The event loop runs until the server holds b.zz's request.
    QEventLoop loop;
    TickWatch watch;
    watch.onTick = [&] {
        if (rdap.Requests().size() >= 2)
            loop.quit();
    };
    QTimer::singleShot(10000, &loop, [&] { loop.quit(); });
    loop.exec();
    ASSERT_EQ(rdap.Requests().size(), 2u);
    const auto closing = SteadyClock::now();
    window.close();
    EXPECT_FALSE(window.Checking());
    EXPECT_LT(SteadyClock::now() - closing, seconds(1));
    const auto listed = core::WatchList(core::WatchList::DefaultFile()).Names();
    ASSERT_EQ(listed.size(), 3u);
    ASSERT_TRUE(listed[0].state);
    EXPECT_EQ(listed[0].state->status, "active");
    EXPECT_FALSE(listed[1].state);
    EXPECT_FALSE(listed[2].state);
}

} // namespace
