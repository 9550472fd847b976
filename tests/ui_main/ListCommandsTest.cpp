#include "ui/Unit1.h"

#include "core/WatchList.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ListCommands : public ::testing::Test, public MainWindowFixture {
protected:
    ListCommands() {
        view = Find<ui::ResultListView>(form, "ListView1");
        form.show();
    }

    void AddRow(const std::string &name, const std::string &available, const std::string &links,
                const std::string &rank, bool checked) {
        auto row = form.Results().Append();
        row->SetCaption(name);
        row->AppendSubItem(name.substr(name.find('.') + 1));
        row->AppendSubItem(available);
        row->AppendSubItem(links);
        row->AppendSubItem(rank);
        row->SetChecked(checked);
    }

    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int i = 0; i < form.Results().Count(); ++i)
            names.push_back(form.Results().Row(i)->Caption());
        return names;
    }

    std::string Marks() {
        std::string marks;
        for (int i = 0; i < form.Results().Count(); ++i)
            marks += form.Results().Row(i)->Checked() ? 'x' : '-';
        return marks;
    }

    void ClickHeader(int column) {
        QHeaderView *header = view->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    void RightClickRow(int row) {
        const QRect cell = view->visualRect(view->model()->index(row, 1));
        QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                                view->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(view->viewport(), &event);
    }

    void Fill() {
        AddRow("abc.com", "No", "5", "50", false);
        AddRow("AB.net", "Yes", "10", "7", true);
        AddRow("ab.com", "Yes", "9", "300", true);
        AddRow("a-b.com", "No", "2000", "2", false);
        AddRow("b.org", "Yes", "100", "1", true);
    }

    // The texts of a column, top to bottom.
    std::vector<std::string> Column(int column) {
        std::vector<std::string> texts;
        for (int i = 0; i < form.Results().Count(); ++i)
            texts.emplace_back(*form.Results().Row(i)->Cell(column));
        return texts;
    }

    ui::ResultListView *view;
};

TEST_F(ListCommands, HeaderClicksSortByColumnRules) {
    struct Case {
        int column;
        std::vector<std::string> texts;
    } cases[] = {
        {0, {"a-b.com", "ab.com", "AB.net", "abc.com", "b.org"}},
        {2, {"Yes", "Yes", "Yes", "No", "No"}},
        {2, {"Yes", "Yes", "Yes", "No", "No"}},
        {3, {"5", "9", "10", "100", "2000"}},
        {4, {"1", "2", "7", "50", "300"}},
        {1, {"com", "com", "com", "net", "org"}},
    };
    Fill();
    for (const Case &c : cases) {
        ClickHeader(c.column);
        EXPECT_EQ(form.Results().SortColumn(), c.column);
        EXPECT_EQ(Column(c.column), c.texts) << "column " << c.column;
        EXPECT_FALSE(view->horizontalHeader()->isSortIndicatorShown());
    }
    // The view shows the list's order.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(view->model()->data(view->model()->index(i, 1)).toString().toStdString(),
                  Column(1)[i]);
}

TEST_F(ListCommands, SelectionFollowsItsRowAcrossSorts) {
    Fill();
    view->selectRow(4); // b.org
    EXPECT_EQ(form.Results().SelectedIndex(), 4);
    ClickHeader(0);
    EXPECT_EQ(form.Results().SelectedRow()->Caption(), "b.org");
    const QModelIndexList selected = view->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(view->model()->data(selected[0]).toString(), "b.org");
}

TEST_F(ListCommands, RightClickSelectsRowThenOpensPopup) {
    Fill();
    view->selectRow(0);
    RightClickRow(3);
    auto *popup = Find<QMenu>(form, "PopupMenu2");
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(form.Results().SelectedIndex(), 3);
    popup->hide();
}

TEST_F(ListCommands, PopupCommandsActOnTheClickedRowOrAllMarks) {
    options.reg = "http://registrar.example/";
    struct Case {
        const char *action;
        int row; // right-clicked first
        std::string marks;
        QStringList opened;
    } cases[] = {
        {"Checkitmanually1", 3, "-xx-x", {"http://www.a-b.com"}},
        {"Registerthisdomain1", 0, "-xx-x", {"http://registrar.example/"}},
        {"MenuItem3", 1, "-----", {}},
        {"MenuItem2", 1, "xxxxx", {}},
        {"MenuItem5", 1, "-----", {}},
        {"MenuItem5", 2, "xxxxx", {}},
    };
    Fill();
    for (const Case &c : cases) {
        urls.opened.clear();
        RightClickRow(c.row);
        auto *popup = Find<QMenu>(form, "PopupMenu2");
        popup->hide();
        Action(c.action)->trigger();
        EXPECT_EQ(urls.opened, c.opened) << c.action;
        EXPECT_EQ(Marks(), c.marks) << c.action;
        EXPECT_EQ(form.Results().SelectedIndex(), c.row) << "marks do not move the selection";
    }
}

TEST_F(ListCommands, WatchAddsTheMarkedNamesOrElseTheClickedOne) {
    struct Case {
        const char *marks; // set before the command, "" to leave them
        int row;           // right-clicked
        std::vector<std::string> watched;
        const char *status;
    } cases[] = {
        {"", 0, {"ab.com", "ab.net", "b.org"}, "3 names added to the watch list"},
        {"", 1, {"ab.com", "ab.net", "b.org"}, "0 names added to the watch list"},
        {"MenuItem3",
         3,
         {"a-b.com", "ab.com", "ab.net", "b.org"},
         "1 name added to the watch list"},
    };
    Fill();
    for (const Case &c : cases) {
        if (*c.marks)
            Action(c.marks)->trigger();
        RightClickRow(c.row);
        Find<QMenu>(form, "PopupMenu2")->hide();
        Action("Watch1")->trigger();
        core::WatchList watch(core::WatchList::DefaultFile());
        std::vector<std::string> watched;
        for (const core::WatchedName &name : watch.Names())
            watched.push_back(name.name);
        EXPECT_EQ(watched, c.watched) << c.status;
        EXPECT_EQ(form.StatusText().toStdString(), c.status);
    }
}

TEST_F(ListCommands, OpenOfferIsOfferedOnlyForAWebAddress) {
    struct Case {
        const char *offer; // nullptr: a row that ends before the offer's column
        bool offered;
        QStringList opened; // as the browser is handed it
    } cases[] = {
        {"https://sale.example/x", true, {"https://sale.example/x"}},
        {"HTTP://sale.example", true, {"http://sale.example"}},
        {"EUR799.00", false, {}},
        {"javascript:alert(1)", false, {}},
        {"data:text/html,<b>x</b>", false, {}},
        {"file:///etc/passwd", false, {}},
        {"-", false, {}},
        {nullptr, false, {}},
    };
    const int offerColumn = *form.Results().GetColumns().IndexOfKey("offer");
    for (const Case &c : cases) {
        form.Results().Clear();
        AddRow("taken.com", "No", "-", "-", false);
        if (c.offer) {
            auto row = form.Results().Row(0);
            while (row->SubItemCount() < offerColumn - 1)
                row->AppendSubItem("for sale");
            row->AppendSubItem(c.offer);
        }
        urls.opened.clear();
        RightClickRow(0);
        auto *popup = Find<QMenu>(form, "PopupMenu2");
        EXPECT_EQ(Action("Openoffer1")->isVisible(), c.offered) << (c.offer ? c.offer : "none");
        popup->hide();
        Action("Openoffer1")->trigger();
        EXPECT_EQ(urls.opened, c.opened) << (c.offer ? c.offer : "none");
    }
}

TEST_F(ListCommands, SpaceTogglesTheCheckMarkOfTheSelectedRow) {
    struct Case {
        int row;    // clicked, -1 for none
        int column; // where the row was clicked
        std::string marks;
    } cases[] = {
        {1, 0, "-----"}, {1, 3, "-x---"}, {4, 2, "-x--x"}, {4, 4, "-x---"}, {-1, 0, "-x---"},
    };
    Fill();
    for (int i = 0; i < form.Results().Count(); ++i)
        form.Results().Row(i)->SetChecked(i == 1);
    for (const Case &c : cases) {
        if (c.row < 0) {
            view->clearSelection();
        } else {
            const QRect cell = view->visualRect(view->model()->index(c.row, c.column));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }
        QTest::keyClick(view, Qt::Key_Space);
        EXPECT_EQ(Marks(), c.marks) << "row " << c.row << " column " << c.column;
    }
}

// Sends one mouse event of the left button to the list, as the window system delivers it.
void SendLeft(ui::ResultListView *view, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), view->viewport()->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      held, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &event);
}

TEST_F(ListCommands, ClickingACheckBoxSelectsItsRowAndTogglesOncePerClick) {
    Fill();
    for (int i = 0; i < form.Results().Count(); ++i)
        form.Results().Row(i)->SetChecked(false);
    view->selectRow(0);
    // The box sits at the left of the first cell, in its middle.
    const QRect cell = view->visualRect(view->model()->index(2, 0));
    const QPoint box(cell.left() + 8, cell.center().y());

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(form.Results().SelectedIndex(), 2) << "the clicked row is selected";
    EXPECT_EQ(Marks(), "--x--");
    // Space and the popup now act on that row.
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(Marks(), "-----");

    // Two quick clicks: press, release, double click, release.
    SendLeft(view, QEvent::MouseButtonPress, box);
    SendLeft(view, QEvent::MouseButtonRelease, box);
    SendLeft(view, QEvent::MouseButtonDblClick, box);
    SendLeft(view, QEvent::MouseButtonRelease, box);
    EXPECT_EQ(Marks(), "-----") << "toggled twice";
    SendLeft(view, QEvent::MouseButtonPress, box);
    SendLeft(view, QEvent::MouseButtonRelease, box);
    EXPECT_EQ(Marks(), "--x--");

    // Pressed on the box and released elsewhere: no toggle, but the row is selected.
    const QRect other = view->visualRect(view->model()->index(4, 0));
    SendLeft(view, QEvent::MouseButtonPress, QPoint(other.left() + 8, other.center().y()));
    SendLeft(view, QEvent::MouseButtonRelease, other.center() + QPoint(40, 0));
    EXPECT_EQ(Marks(), "--x--");
    EXPECT_EQ(form.Results().SelectedIndex(), 4);

    // A click on the text beside the box selects without toggling.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Marks(), "--x--");
    EXPECT_EQ(form.Results().SelectedIndex(), 2);
}

TEST_F(ListCommands, NoFocusFrameWhileNoRowIsSelectedAfterASearch) {
    Search({"car", "shop"});
    ASSERT_GT(form.Results().Count(), 1);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    view->clearFocus();
    QCoreApplication::processEvents();
    const QImage unfocused = view->grab().toImage();
    view->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->hasFocus());
    EXPECT_FALSE(view->selectionModel()->hasSelection());
    EXPECT_FALSE(view->currentIndex().isValid());
    EXPECT_EQ(view->grab().toImage(), unfocused) << "the focused list draws no cell frame";
    // The first arrow key selects the first row.
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(form.Results().SelectedIndex(), 0);
}

TEST_F(ListCommands, ForceDetailsFillsTakenRowsCells) {
    AddRow("abc.com", "No", "-", "-", false);
    RightClickRow(0);
    Find<QMenu>(form, "PopupMenu2")->hide();
    Action("Force1")->trigger();
    const results::ResultRow &row = *form.Results().Row(0);
    EXPECT_EQ(*row.SubItem(1), "No");
    EXPECT_EQ(*row.SubItem(2), kLinks);
    EXPECT_EQ(*row.SubItem(3), kRank);
    EXPECT_FALSE(row.Checked());
    EXPECT_EQ(view->model()->data(view->model()->index(0, 3)).toString(), kLinks);
}

TEST_F(ListCommands, HelpAndHomepageOpenInTheBrowser) {
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(view, Qt::Key_F1);
    Action("Homepage1")->trigger();
    EXPECT_EQ(
        urls.opened,
        (QStringList{QUrl::fromLocalFile(QString::fromStdString(form.ProgramFolder()) + "help.html")
                         .toString(),
                     QString::fromLatin1(ui::kHomepage)}));
}

} // namespace
