#include "core/SearchOptions.h"
#include "core/WatchList.h"
#include "ui/QtApplication.h"
#include "ui/Unit1.h"
#include "ui/WatchUnit.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QTableWidget>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

using namespace std::chrono;

core::WatchState Taken(const char *status, const char *expires, const char *registrar) {
    return {probes::Availability::Taken, status, expires, registrar, "rdap"};
}

// A watch list with a few names at different points of their story, checked on three days.
void FillWatchList(system_clock::time_point &now) {
    const auto at = [&now] { return now; };
    core::WatchList watch(core::WatchList::DefaultFile(), at);
    watch.Add({"greentea.com", "teagarden.net", "oolong.org", "matcha.com", "sencha.net"});
    const char *registrar = "Example Registrar, Inc.";
    watch.Record("greentea.com", Taken("client transfer prohibited", "2026-11-02", registrar));
    watch.Record("teagarden.net", Taken("active", "2027-05-14", registrar));
    watch.Record("oolong.org", Taken("auto renew period", "2026-11-20", registrar));
    watch.Record("matcha.com", Taken("redemption period", "2026-10-30", registrar));
    now += days(3);
    watch.Record("greentea.com", Taken("redemption period", "2026-11-02", registrar));
    watch.Record("matcha.com", Taken("pending delete", "2026-10-30", registrar));
    now += days(3);
    watch.Record("greentea.com", Taken("redemption period", "2026-11-02", registrar));
    watch.Record("matcha.com", {probes::Availability::Free, "", "", "", "rdap"});
    watch.Record("teagarden.net", Taken("active", "2028-05-14", registrar));
}

} // namespace

// Renders the Watchlist window, with the history of one name shown, into a PNG file.
int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WATCHLIST.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::QtApplication app(argc, argv);
    // The watch list and the settings of a scratch folder, never the user's own.
    QTemporaryDir config, data;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    system_clock::time_point now = sys_days(2026y / 12 / 1) + hours(9) + minutes(30);
    FillWatchList(now);

    core::SearchOptions options;
    ui::TForm1 form(options, probes::ProbeList{}, net::NetworkContext{});
    form.findChild<QAction *>(QStringLiteral("Watchlist1"))->trigger();
    ui::TWatchForm &window = *form.WatchForm();
    window.SetClock([&now] { return now; });
    window.Refresh();
    window.resize(1000, 440);
    auto *names = window.findChild<QTableWidget *>(QStringLiteral("NamesView1"));
    names->selectionModel()->select(names->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    if (window.grab().save(QString::fromLocal8Bit(argv[1])))
        return 0;
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
}
