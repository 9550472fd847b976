#include "ui/ResultTableModel.h"

#include "results/Columns.h"
#include "ui/ResultListView.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>

namespace {

using results::ResultList;

void AddRow(ResultList &list, const std::string &name, std::vector<std::string> cells,
            bool checked) {
    auto row = list.Append();
    row->SetCaption(name);
    for (std::string &cell : cells)
        row->AppendSubItem(std::move(cell));
    row->SetChecked(checked);
}

QStringList Shown(const QAbstractItemModel &model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

// Every change the list goes through reaches the views in the order Qt checks it.
TEST(ResultTableModel, FollowsEveryChangeOfTheList) {
    struct Case {
        const char *what;
        std::function<void(ResultList &)> change;
        QStringList names;
        QStringList links;
    } cases[] = {
        {"row appended in two steps",
         [](ResultList &list) {
             auto row = list.Append();
             row->SetCaption("car.com");
             row->AppendSubItem("com");
             row->AppendSubItem("Yes");
         },
         {"car.com"},
         {""}},
        {"details arrive",
         [](ResultList &list) {
             list.Row(0)->AppendSubItem("12");
             list.Row(0)->AppendSubItem("3");
         },
         {"car.com"},
         {"12"}},
        {"more rows",
         [](ResultList &list) {
             AddRow(list, "bus.com", {"com", "No", "-", "-"}, false);
             AddRow(list, "art.com", {"com", "Yes", "5", "9"}, true);
         },
         {"car.com", "bus.com", "art.com"},
         {"12", "-", "5"}},
        {"sorted by name",
         [](ResultList &list) { list.SortByColumn(0); },
         {"art.com", "bus.com", "car.com"},
         {"5", "-", "12"}},
        {"a batch of rows",
         [](ResultList &list) {
             results::ResultListUpdate batch(list);
             AddRow(list, "dog.com", {"com", "Yes", "1", "1"}, true);
             AddRow(list, "eel.com", {"com", "Yes", "2", "2"}, true);
         },
         {"art.com", "bus.com", "car.com", "dog.com", "eel.com"},
         {"5", "-", "12", "1", "2"}},
        {"cleared", [](ResultList &list) { list.Clear(); }, {}, {}},
    };
    ResultList list;
    ui::ResultTableModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (const Case &c : cases) {
        c.change(list);
        EXPECT_EQ(Shown(model, 0), c.names) << c.what;
        EXPECT_EQ(Shown(model, 3), c.links) << c.what;
    }
}

TEST(ResultTableModel, CheckMarkIsTheOnlyUserChange) {
    ResultList list;
    AddRow(list, "a.com", {"com", "Yes", "1", "2"}, false);
    ui::ResultTableModel model(list);
    EXPECT_TRUE(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(list.Row(0)->Checked());
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(model.setData(model.index(0, 0), "b.com", Qt::EditRole));
    EXPECT_FALSE(model.setData(model.index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(list.Row(0)->Caption(), "a.com");
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::CheckStateRole).isValid());
}

TEST(ResultTableModel, ShowsEightBitTextsOfOlderFiles) {
    ResultList list;
    AddRow(list, "caf\xc3\xa9.com", {"com"}, true);
    AddRow(list, "caf\xe9.com", {"com"}, true);
    ui::ResultTableModel model(list);
    EXPECT_EQ(Shown(model, 0),
              (QStringList{QString::fromUtf8("café.com"), QString::fromUtf8("café.com")}));
    // A row without its last cells shows them empty.
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), "");
}

// The domain name's column shows each name as people read it, also for a row of an older
// file that has no display cell; the display column itself is not shown, and the last shown
// column takes the room left over.
TEST(ResultTableModel, ShowsUnicodeNamesInTheDomainColumnOnly) {
    ResultList list(results::Columns::Standard());
    AddRow(list, "xn--bcker-gra.com", {"com", "Yes", "5", "9", "web", "-", "-", "bäcker.com"},
           false);
    AddRow(list, "shop.xn--p1ai", {"xn--p1ai", "No"}, false);
    AddRow(list, "xn--zz.com", {"com", "Unknown"}, false);
    AddRow(list, "car.com", {"com", "No"}, false);
    ui::ResultListView view(list);
    QAbstractItemModelTester tester(view.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(Shown(*view.model(), 0),
              (QStringList{QString::fromUtf8("bäcker.com"), QString::fromUtf8("shop.рф"),
                           "xn--zz.com", "car.com"}));
    const int display = *list.GetColumns().IndexOfKey("display");
    // The last column shown fills the rest of the list.
    const int status = *list.GetColumns().IndexOfKey("hosts");
    view.resize(1200, 300);
    view.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.isColumnHidden(display));
    for (int column = 0; column < display; ++column)
        EXPECT_FALSE(view.isColumnHidden(column)) << column;
    EXPECT_GT(view.columnViewportPosition(status) + view.columnWidth(status),
              view.viewport()->width() - 2);
    list.Clear();
    AddRow(list, "xn--caf-dma.com", {"com"}, false);
    EXPECT_TRUE(view.isColumnHidden(display));
    EXPECT_EQ(Shown(*view.model(), 0), QStringList{QString::fromUtf8("café.com")});
}

} // namespace
