#include "ui/Unit1.h"

#include "results/ResultsFile.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/RadioGroup.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"

#include <QAction>
#include <QApplication>
#include <QProgressBar>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The window's runs over the real probes, HTTP client and socket layer, with every host name
// resolved to one local server that answers as the web sites and the two services would.
class SearchRun : public ::testing::Test, public MainWindowFixture {
protected:
    SearchRun() {
        options.NET = true;
        probes.through = &web;
        server.Answer("search.yahoo.com", "*", 200,
                      "<p>Results 1 - 10 of about <b>1,234</b> for link</p>");
        server.Answer("www.alexa.com", "*", 200, "Traffic Rank for x: <b>9</b><i>4</i>7<br>");
    }

    // A web site answers at the name's address.
    void Taken(const std::string &name) {
        server.Answer("www." + name, "/", 200, "<html>in use</html>");
    }

    // The Host of every request the server received, in order.
    std::vector<std::string> Hosts() {
        std::vector<std::string> hosts;
        for (const std::string &request : server.Requests()) {
            const auto start = request.find("Host: ") + 6;
            hosts.push_back(request.substr(start, request.find("\r\n", start) - start));
        }
        return hosts;
    }

    std::vector<std::string> Checked() {
        std::vector<std::string> names;
        for (const std::string &call : probes.log)
            if (call.rfind("check:", 0) == 0)
                names.push_back(call.substr(6));
        return names;
    }

    std::string TempFile(const std::string &name) { return (home.Folder() / name).string(); }

    testsupport::ScriptedServer server;
    testsupport::LoopbackNetwork network{server.Port()};
    testsupport::WebProbeCalls web{network.Context()};
};

TEST_F(SearchRun, RowsAppearOneByOneWhileStatusNamesTheCandidate) {
    Taken("car.net");
    struct Seen {
        int first;
        int count;
        QString status;
    };
    std::vector<Seen> seen;
    auto *model = Find<ui::ResultListView>(form, "ListView1")->Model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, &form,
                     [&](const QModelIndex &, int first, int last) {
                         seen.push_back({first, last - first + 1, form.StatusText()});
                     });
    // While the details of an available name are fetched, its row already shows the rest.
    QStringList shownWhileFetching;
    probes.during["links:car.com"] = [&] {
        for (int column = 0; column < 5; ++column)
            shownWhileFetching << model->data(model->index(0, column)).toString();
    };

    Search({"Car"});

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 0);
    EXPECT_EQ(seen[0].count, 1);
    EXPECT_EQ(seen[0].status, "Checking... car.com");
    EXPECT_EQ(seen[1].first, 1);
    EXPECT_EQ(seen[1].status, "Checking... car.net");
    EXPECT_EQ(shownWhileFetching, (QStringList{"car.com", "com", "Yes", "", ""}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{AvailableRow("car.com", "com"),
                                                TakenRow("car.net", "net")}));
    EXPECT_EQ(form.StatusText(), "Done!");
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model->data(model->index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model->data(model->index(1, 4)).toString(), "-");
    EXPECT_EQ(Hosts(), (std::vector<std::string>{"www.car.com", "search.yahoo.com", "www.alexa.com",
                                                 "www.car.net"}));
}

TEST_F(SearchRun, EndsAfterCurrentNameOnStopOrEscape) {
    struct Case {
        const char *during;
        std::function<void(MainWindowFixture &)> act;
    } cases[] = {
        {"rank:car.com",
         [](MainWindowFixture &f) {
             QAbstractButton *stop = f.Button("StopBtn");
             AtNextDrain([stop] { stop->click(); });
         }},
        {"links:car.com",
         [](MainWindowFixture &f) { SendKey(&f.form, QEvent::KeyPress, Qt::Key_Escape); }},
    };
    for (const Case &c : cases) {
        probes.log.clear();
        probes.during[c.during] = [this, &c] { c.act(*this); };
        Search({"car"});
        SendKey(&form, QEvent::KeyRelease, Qt::Key_Escape);
        EXPECT_EQ(Checked(), std::vector<std::string>{"car.com"}) << c.during;
        EXPECT_EQ(Rows(), std::vector<std::string>{AvailableRow("car.com", "com")}) << c.during;
        EXPECT_EQ(form.StatusText(), "Done!");
        EXPECT_TRUE(Find<QProgressBar>(form, "RunProgress1")->isHidden()) << c.during;
    }
}

TEST_F(SearchRun, ProgressBarFollowsARunOfManyNamesAndGoesAtTheEnd) {
    options.NET = false;
    // What the bar shows while each name is checked: hidden, or "value/maximum".
    auto *bar = Find<QProgressBar>(form, "RunProgress1");
    const auto sample = [bar] {
        return bar->isHidden()
                   ? std::string("hidden")
                   : std::to_string(bar->value()) + "/" + std::to_string(bar->maximum());
    };
    struct Case {
        std::vector<std::string> keywords;
        std::vector<std::string> seen;
    } cases[] = {
        {{"car"}, {"hidden"}},
        // Three keywords make 15 candidates, the single words first.
        {{"car", "van", "bus"}, {"1/15", "2/15", "3/15"}},
        {{"car"}, {"hidden"}}, // a run of one after a run of many shows none either
    };
    for (const Case &c : cases) {
        std::vector<std::string> seen;
        for (const std::string &keyword : c.keywords)
            probes.during["check:" + keyword + ".com"] = [&] { seen.push_back(sample()); };
        Search(c.keywords);
        EXPECT_EQ(seen, c.seen) << c.keywords.size();
        EXPECT_EQ(sample(), "hidden");
        EXPECT_EQ(form.StatusText(), "Done!");
    }
}

TEST_F(SearchRun, SecondStartAnsweredSearchReplacesTheOlderRun) {
    options.NET = false;
    probes.during["check:van.com"] = [this] { AtNextDrain([this] { Search({"bus"}); }); };
    Search({"car", "van"});
    EXPECT_EQ(Checked(), (std::vector<std::string>{"car.com", "van.com", "bus.com"}));
    EXPECT_EQ(Rows(), std::vector<std::string>{AvailableRow("bus.com", "com")});
    EXPECT_EQ(form.StatusText(), "Done!");
}

TEST_F(SearchRun, SecondStartAnsweredCancelLetsOlderRunFinishItsName) {
    options.NET = false;
    probes.during["check:van.com"] = [this] {
        AtNextDrain([this] {
            WhenShown<ui::TStartForm>([](ui::TStartForm &dialog) { AnswerCancel(dialog); });
            Button("BitBtn2")->click();
        });
    };
    Search({"car", "van"});
    EXPECT_EQ(Checked(), (std::vector<std::string>{"car.com", "van.com"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{AvailableRow("car.com", "com"),
                                                AvailableRow("van.com", "com")}));
}

TEST_F(SearchRun, OpenFileDuringRunKeepsLoadedRowsUntouched) {
    const std::string file = TempFile("saved.nbr");
    std::ofstream(file) << "[item0]\ndomain=saved.org\nsuffix=org\navailable=No\nlinks=-\nrank=-\n"
                           "evidence=-\nexpires=-\nregistrar=-\nstatus=-\ncheck=0\n";
    fileAnswers = {file};
    probes.during["links:car.com"] = [this] {
        AtNextDrain([this] { Action("Open1")->trigger(); });
    };
    Search({"car"});
    // The file is older than the Hosts column: its cell is empty.
    EXPECT_EQ(Rows(), std::vector<std::string>{"saved.org org No - - - - - -  [ ]"});
    EXPECT_EQ(Checked(), std::vector<std::string>{"car.com"});
}

TEST_F(SearchRun, SettingsDuringRunDrainsAfterTheDialogCloses) {
    bool markerRan = false;
    bool markerRanBeforeCommandReturned = false;
    probes.during["check:car.com"] = [this] {
        AtNextDrain([this] { Button("BitBtn1")->click(); });
    };
    WhenShown<ui::TSettingsForm>([&](ui::TSettingsForm &dialog) {
        // A message that arrives while the dialog is up waits for the drain after it.
        AtNextDrain([&] { markerRan = true; });
        dialog.close();
    });
    // Connected after the window's own handler, so it runs once that handler has returned.
    QObject::connect(Button("BitBtn1"), &QAbstractButton::clicked, &form,
                     [&] { markerRanBeforeCommandReturned = markerRan; });
    Search({"car"});
    EXPECT_TRUE(markerRanBeforeCommandReturned);
    EXPECT_EQ(Checked(), std::vector<std::string>{"car.com"});
    EXPECT_EQ(Rows(), std::vector<std::string>{AvailableRow("car.com", "com")});
}

TEST_F(SearchRun, DialogCommandsDuringRunStopIt) {
    struct Case {
        const char *action;
    } cases[] = {{"About1"}, {"Open1"}, {"Save1"}, {"Savetotextfile1"}, {"Exit1"}};
    for (const Case &c : cases) {
        probes.log.clear();
        fileAnswers = {std::nullopt};
        form.show();
        probes.during["check:car.com"] = [this, &c] {
            AtNextDrain([this, &c] {
                if (std::string(c.action) == "About1")
                    WhenShown<ui::TInfoForm>([](ui::TInfoForm &about) { about.BitBtn3Click(); });
                Action(c.action)->trigger();
            });
        };
        Search({"car"});
        EXPECT_EQ(Checked(), std::vector<std::string>{"car.com"}) << c.action;
        EXPECT_EQ(Rows().size(), 1u) << c.action;
    }
    EXPECT_EQ(aboutShown, 1);
    EXPECT_FALSE(form.isVisible()) << "E&xit closes the window";
}

TEST_F(SearchRun, ClosingWindowDuringRunEndsTheProgram) {
    QApplication::setQuitOnLastWindowClosed(true);
    form.show();
    bool timedOut = false;
    probes.during["check:car.com"] = [this] { AtNextDrain([this] { form.close(); }); };
    QTimer::singleShot(0, &form, [this] { Search({"car"}); });
    QTimer::singleShot(10000, qApp, [&] {
        timedOut = true;
        QApplication::exit(1);
    });
    const int code = QApplication::exec();
    QApplication::setQuitOnLastWindowClosed(false);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Checked(), std::vector<std::string>{"car.com"});
}

TEST_F(SearchRun, SaveThenOpenGivesTheSameRows) {
    options.ORG = true;
    Taken("car.net");
    Search({"car"});
    form.ListView1ColumnClick(2); // "Available": "Yes" rows first
    const std::vector<std::string> shown = Rows();
    ui::ResultTableModel *model = Find<ui::ResultListView>(form, "ListView1")->Model();
    model->setData(model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    const std::vector<std::string> edited = Rows();
    ASSERT_NE(edited, shown);

    const std::string file = TempFile("run");
    fileAnswers = {file};
    Action("Save1")->trigger();
    ASSERT_TRUE(std::filesystem::exists(file + ".nbr")) << "the extension is added";
    form.Results().Clear();
    fileAnswers = {file + ".nbr"};
    Action("Open1")->trigger();
    EXPECT_EQ(Rows(), edited);

    ASSERT_GE(askedDialogs.size(), 2u);
    EXPECT_EQ(askedDialogs[0].mode, QFileDialog::AcceptSave);
    EXPECT_EQ(askedDialogs[0].suffix, "nbr");
    EXPECT_EQ(askedDialogs[1].name, "OpenDialog1");
}

TEST_F(SearchRun, NamesListHoldsTheNamesInDisplayOrder) {
    Search({"car"});
    const std::string file = TempFile("names.txt");
    fileAnswers = {file};
    Action("Savetotextfile1")->trigger();
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    EXPECT_EQ(lines, (std::vector<std::string>{"car.com", "car.net"}));
}

// A search of linked names without a web graph that keeps its names says why and checks nothing;
// the rows stay as they were.
TEST_F(SearchRun, ASearchOfLinkedNamesWithoutAWebGraphSaysWhyAndChecksNothing) {
    ShownMessages().clear();
    WhenShown<ui::TStartForm>([](ui::TStartForm &dialog) {
        Find<ui::RadioGroup>(dialog, "SearchModeGroup")->Button(core::kLinkedNames)->click();
        AnswerKeywords(dialog, {"car"});
    });
    Button("BitBtn2")->click();
    ASSERT_EQ(ShownMessages().size(), 1u);
    EXPECT_EQ(ShownMessages()[0], "no web graph index; import one first");
    EXPECT_TRUE(Checked().empty());
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(form.StatusText(), "Done!");
    ShownMessages().clear();
}

} // namespace
