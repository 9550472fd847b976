#include "ui/Unit1.h"

#include "tests/ui_main/MainWindowSupport.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <numeric>

#include <gtest/gtest.h>

namespace {

const std::vector<int> kPreferred = {165, 62, 70, 95, 100};
const std::vector<int> kMinimum = {110, 62, 65, 90, 95};

int Sum(const std::vector<int> &widths) {
    return std::accumulate(widths.begin(), widths.end(), 0);
}

TEST(FitColumnWidths, FillsTheWidthGivingWayAboveTheMinimums) {
    struct Case {
        int available;
        std::vector<int> widths;
    } cases[] = {
        {492, kPreferred},
        {600, {165, 62, 70, 95, 208}},
        // The default list: 6 pixels too narrow for the preferred widths.
        {486, {159, 62, 70, 95, 100}},
        {300, kMinimum},
    };
    for (const Case &c : cases) {
        const std::vector<int> widths = ui::FitColumnWidths(kPreferred, kMinimum, c.available);
        EXPECT_EQ(widths.size(), kPreferred.size());
        EXPECT_EQ(widths, c.widths) << c.available;
    }
    for (int available = Sum(kMinimum); available < 700; ++available) {
        const std::vector<int> widths = ui::FitColumnWidths(kPreferred, kMinimum, available);
        ASSERT_EQ(Sum(widths), available);
        for (std::size_t i = 0; i < widths.size(); ++i)
            ASSERT_GE(widths[i], kMinimum[i]) << available;
    }
}

class ListFit : public ::testing::Test, public MainWindowFixture {
protected:
    ListFit() {
        view = Find<ui::ResultListView>(form, "ListView1");
        form.show();
        Settle();
    }

    // The view lays out its rows and scroll bars from posted events after a change; a scroll
    // bar that appears resizes the viewport, which posts the next round.
    static void Settle() {
        for (int round = 0; round < 4; ++round)
            QCoreApplication::processEvents();
    }

    void AddRows(int count) {
        for (int i = 0; i < count; ++i) {
            auto row = form.Results().Append();
            row->SetCaption("name" + std::to_string(i) + ".com");
            for (const char *cell : {"com", "Yes", "1234", "947"})
                row->AppendSubItem(cell);
        }
        Settle();
    }

    int ColumnsWidth() {
        int sum = 0;
        for (int c = 0; c < view->model()->columnCount(); ++c)
            sum += view->horizontalHeader()->sectionSize(c);
        return sum;
    }

    // The rightmost column the list shows (the display name's is hidden).
    int LastShown() {
        int last = view->model()->columnCount() - 1;
        while (last > 0 && view->isColumnHidden(last))
            --last;
        return last;
    }

    void ExpectColumnsFill(const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(ColumnsWidth(), view->viewport()->width());
        EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
        const int last = LastShown();
        EXPECT_LE(view->horizontalHeader()->sectionViewportPosition(last) +
                      view->horizontalHeader()->sectionSize(last),
                  view->viewport()->width())
            << "the last column ends inside the list";
    }

    ui::ResultListView *view;
};

TEST_F(ListFit, ColumnsFillTheListWithoutAHorizontalScrollBar) {
    ExpectColumnsFill("empty list");
    AddRows(5);
    ExpectColumnsFill("a few rows");
    AddRows(40);
    ASSERT_TRUE(view->verticalScrollBar()->isVisible());
    ExpectColumnsFill("more rows than fit, beside the vertical scroll bar");
    form.Results().Clear();
    Settle();
    ExpectColumnsFill("emptied again");
}

TEST_F(ListFit, OnlyAColumnTheUserWidensBringsTheScrollBar) {
    QHeaderView *header = view->horizontalHeader();
    // Narrowing a column: the last one stretches to fill.
    header->resizeSection(0, 120);
    Settle();
    ExpectColumnsFill("a column narrowed by the user");
    EXPECT_TRUE(view->UserSizedColumns());
    // Widening one beyond what the last can give up.
    header->resizeSection(0, 400);
    Settle();
    const int last = LastShown();
    EXPECT_EQ(header->sectionSize(last), view->Model()->MinimumWidth(last));
    EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
}

} // namespace
