#include "core/CheckSetup.h"
#include "core/SearchOptions.h"
#include "rankindex/RankImport.h"
#include "registry/IdnaName.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"
#include "ui/QtApplication.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

unsigned Spread(const std::string &text) {
    unsigned value = 2166136261u;
    for (unsigned char c : text)
        value = (value ^ c) * 16777619u;
    return value;
}

// The ranking page writes each digit of a rank in a tag of its own.
std::string RankMarkup(unsigned rank) {
    std::string markup;
    for (char digit : std::to_string(rank))
        markup += std::string("<span>") + digit + "</span>";
    return markup;
}

// Answers as the web would for the names of the search below: a few sites in use, link counts
// and ranks for the rest, one name without a rank.
void AnswerAsTheWeb(testsupport::ScriptedServer &server) {
    for (const char *site : {"greentea.com", "greentea.net", "teagreen.com", "xn--caf-dma.com",
                             "xn--bckercaf-0za1d.net"})
        server.Answer(std::string("www.") + site, "/", 200, "<html>in use</html>");
    for (const char *base :
         {"green", "tea", "greentea", "teagreen", "bäcker", "café", "bäckercafé", "cafébäcker"}) {
        for (const char *suffix : {".com", ".net", ".org"}) {
            const std::string name = registry::ToAsciiName(std::string(base) + suffix).name;
            const unsigned links = Spread(name) % 9000 + 40;
            const unsigned rank = Spread(name + "rank") % 2900000 + 81234;
            server.Answer("search.yahoo.com", "/search?p=link%3Ahttp%3A%2F%2Fwww." + name, 200,
                          "Results 1 - 10 of about <b>" + std::to_string(links) + "</b> for");
            server.Answer("www.alexa.com", "/data/details/?url=www." + name, 200,
                          "Traffic Rank for " + name + ": " +
                              (name == "tea.com" ? "" : RankMarkup(rank)) + "<br>");
        }
    }
}

// A web graph and a rank list for the names of the search, imported into folder: the graph
// knows some free names too, the list only names in use and a few others.
void ImportIndexes(const std::filesystem::path &folder) {
    std::ofstream graph(folder / "graph.txt"), list(folder / "top.csv");
    graph << "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    list << "rank,domain\n";
    for (const char *suffix : {"com", "net", "org"}) {
        for (const char *base : {"green", "tea", "greentea", "teagreen"}) {
            const std::string name = std::string(base) + "." + suffix;
            const unsigned spread = Spread(name);
            if (spread % 4 != 0)
                graph << spread % 90000000 + 1200 << "\t1.0E5\t7\t1.0E-4\t" << suffix << "." << base
                      << "\t1\n";
            if (spread % 3 != 0)
                list << spread % 900000 + 310 << "," << name << "\n";
        }
    }
    graph.close();
    list.close();
    rankindex::ImportRankFile(rankindex::RankKind::WebGraph, folder / "graph.txt",
                              folder / "Nimbrel");
    rankindex::ImportRankFile(rankindex::RankKind::RankList, folder / "top.csv",
                              folder / "Nimbrel");
}

// Rows as a registry run leaves them for taken names whose owners sell them: for sale with the
// offer their _for-sale record gives, parked on a sale service's name servers, and plain taken.
void AddSaleRows(results::ResultList &list) {
    struct Row {
        const char *name, *evidence, *status, *offer;
    } rows[] = {
        {"greentea.com", "dns", "for sale", "EUR799.00"},
        {"greentea.net", "dns", "for sale", "https://sale.example/greentea.net"},
        {"teagreen.com", "dns; parked: sedoparking.com", "parked", "-"},
        {"teagreen.net", "rdap", "client transfer prohibited, for sale", "Make me an offer"},
        {"green.org", "dns; parked: bodis.com", "parked", "-"},
        {"tea.org", "dns", "-", "-"},
        {"greentea.org", "rdap", "-", "-"},
    };
    for (const Row &row : rows) {
        auto item = list.Append();
        item->SetCaption(row.name);
        const std::string name = row.name;
        const std::string suffix = name.substr(name.find('.') + 1);
        for (const std::string &cell :
             {suffix, std::string("No"), std::string("-"), std::string("-"),
              std::string(row.evidence), std::string("-"), std::string("-"),
              std::string(row.status), name, std::string("-"), std::string(row.offer)})
            item->AppendSubItem(cell);
    }
}

bool Save(QWidget &window, const char *file) {
    if (window.grab().save(QString::fromLocal8Bit(file)))
        return true;
    std::fprintf(stderr, "cannot write %s\n", file);
    return false;
}

// A search of the linked names holding "tea" in a web graph of such names, some in use.
bool ShootDiscovery(core::SearchOptions &options, testsupport::ScriptedServer &server,
                    const testsupport::LoopbackNetwork &network, const char *file) {
    QTemporaryDir data;
    const std::filesystem::path folder = data.path().toStdString();
    std::ofstream graph(folder / "graph.txt");
    graph << "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    const char *bases[] = {"teashop",   "greentea", "teatime",   "steamboat", "teacup",
                           "icedtea",   "teaparty", "blacktea",  "teahouse",  "tealeaf",
                           "matchatea", "teabreak", "oolongtea", "teakwood",  "chaitea"};
    unsigned position = 1200;
    for (const char *base : bases) {
        for (const char *suffix : {"com", "net"}) {
            position += Spread(std::string(base) + suffix) % 40000 + 500;
            graph << position << "\t1.0E5\t" << position * 3 << "\t1.0E-4\t" << suffix << "."
                  << base << "\t" << Spread(base) % 140 + 1 << "\n";
            if (Spread(std::string(base) + suffix) % 3 == 0)
                server.Answer(std::string("www.") + base + "." + suffix, "/", 200,
                              "<html>in use</html>");
        }
    }
    graph.close();
    rankindex::ImportRankFile(rankindex::RankKind::WebGraph, folder / "graph.txt",
                              folder / "Nimbrel");
    options.COM = options.NET = true;
    options.ORG = false;
    options.keywords.clear();
    const std::filesystem::path indexes = folder / "Nimbrel";
    ui::TForm1 form(
        options, [&options, indexes] { return core::ChooseCheckSetup(options, indexes); },
        network.Context());
    ui::TStartForm startForm(options, &form);
    options.SetSearchMode(core::kLinkedNames);
    form.AttachDialogs(
        [&] {
            QTimer::singleShot(0, &startForm, [&] {
                startForm.findChild<QLineEdit *>("leKeyword")->setText("tea");
                startForm.findChild<QAbstractButton *>("AddBtn")->click();
                startForm.findChild<QAbstractButton *>("BitBtn1")->click();
            });
            return startForm.AskKeywords();
        },
        [] {}, [] {});
    form.resize(QSize(1100, 600));
    form.show();
    QCoreApplication::processEvents();
    form.BitBtn2Click();
    QCoreApplication::processEvents();
    return Save(form, file);
}

} // namespace

// Renders the main window before and after a search into two PNG files; with a third name the
// same rows in a larger window, with a fourth the rows with link popularity and traffic rank
// read from imported indexes, with a fifth Unicode names, and with a sixth the list's popup menu, with
// a seventh a search of linked names, with an eighth taken names for sale and parked.
int main(int argc, char **argv) {
    if (argc < 3 || argc > 9) {
        std::fprintf(stderr,
                     "usage: %s BEFORE.png AFTER.png [LARGER.png [INDEXES.png [UNICODE.png "
                     "[POPUP.png [DISCOVERY.png [SALE.png]]]]]]\n",
                     argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::QtApplication app(argc, argv);
    // The keywords dialog loads and stores its search mode; keep that away from the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    core::SearchOptions options;
    options.COM = options.NET = options.ORG = true;
    options.SetSearchFor(core::kAllVariants);
    options.SetShow(core::kShowAll);
    // The real probes, with every host name sent to a local server.
    testsupport::ScriptedServer server;
    AnswerAsTheWeb(server);
    const testsupport::LoopbackNetwork network(server.Port());
    std::vector<const char *> keywords = {"green", "tea"};
    const char *popupShot = argc > 6 ? argv[6] : nullptr;
    const auto shoot = [&](core::CheckSetup setup, const char *before, const char *after,
                           const char *larger, QSize largerSize) {
        ui::TForm1 form(options, std::move(setup.probes), std::move(setup.columns),
                        network.Context());
        ui::TStartForm startForm(options, &form);
        form.AttachDialogs(
            [&] {
                QTimer::singleShot(0, &startForm, [&] {
                    auto *edit = startForm.findChild<QLineEdit *>("leKeyword");
                    for (const char *keyword : keywords) {
                        edit->setText(QString::fromUtf8(keyword));
                        startForm.findChild<QAbstractButton *>("AddBtn")->click();
                    }
                    startForm.findChild<QAbstractButton *>("BitBtn1")->click();
                });
                return startForm.AskKeywords();
            },
            [] {}, [] {});
        options.SetSearchFor(core::kAllVariants);
        form.show();
        QCoreApplication::processEvents();
        if (before && !Save(form, before))
            return false;
        form.BitBtn2Click();
        form.ListView1ColumnClick(2);
        if (after && !Save(form, after))
            return false;
        if (after && popupShot) {
            auto *view = form.findChild<QTableView *>("ListView1");
            view->selectRow(1);
            auto *popup = form.findChild<QMenu *>("PopupMenu2");
            popup->popup(view->viewport()->mapToGlobal(
                view->visualRect(view->model()->index(1, 0)).center()));
            QCoreApplication::processEvents();
            const bool saved = Save(*popup, popupShot);
            popup->hide();
            popupShot = nullptr;
            if (!saved)
                return false;
        }
        if (!larger)
            return true;
        form.resize(largerSize);
        QCoreApplication::processEvents();
        // Where there is room, the evidence shows in full, as a user would widen its column.
        if (const auto evidence = form.Results().GetColumns().IndexOfKey("evidence");
            evidence && largerSize.width() >= 1000) {
            form.findChild<QTableView *>("ListView1")
                ->horizontalHeader()
                ->resizeSection(*evidence, 330);
            QCoreApplication::processEvents();
        }
        return Save(form, larger);
    };
    // The web check: the scripted server stands in for the web, and no index is used.
    options.SetCheck(core::kCheckWeb);
    if (!shoot(core::ChooseCheckSetup(options, {}), argv[1], argv[2], argc > 3 ? argv[3] : nullptr,
               QSize(960, 600)))
        return 1;
    if (argc < 5)
        return 0;
    QTemporaryDir data;
    ImportIndexes(data.path().toStdString());
    core::CheckSetup fromIndexes = core::ChooseCheckSetup(
        options, std::filesystem::path(data.path().toStdString()) / "Nimbrel");
    if (!shoot(std::move(fromIndexes), nullptr, nullptr, argv[4], QSize(1000, 600)))
        return 1;
    if (argc < 6)
        return 0;
    // Unicode keywords: the list shows the names as people read them.
    keywords = {"Bäcker", "café"};
    options.keywords.clear();
    if (!shoot(core::ChooseCheckSetup(options, {}), nullptr, argv[5], nullptr, QSize()))
        return 1;
    if (argc < 8)
        return 0;
    if (!ShootDiscovery(options, server, network, argv[7]))
        return 1;
    if (argc < 9)
        return 0;
    // Taken names marked for sale and parked, with the Offer column in sight.
    options.SetSearchMode(core::kBuildNames);
    options.SetCheck(core::kCheckRegistry);
    core::CheckSetup registry = core::ChooseCheckSetup(options, {});
    ui::TForm1 form(options, std::move(registry.probes), std::move(registry.columns),
                    network.Context());
    AddSaleRows(form.Results());
    form.resize(1480, 400);
    form.show();
    QCoreApplication::processEvents();
    auto *header = form.findChild<QTableView *>("ListView1")->horizontalHeader();
    for (const char *key : {"evidence", "status", "offer"})
        if (const auto column = form.Results().GetColumns().IndexOfKey(key))
            header->resizeSection(*column, 250);
    QCoreApplication::processEvents();
    return Save(form, argv[8]) ? 0 : 1;
}
