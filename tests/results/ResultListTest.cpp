#include "results/ResultList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace results {
namespace {

// Records what a view would hear, one line per notification.
class Recorder : public ResultListObserver {
public:
    void ListReset() override { log.push_back("reset"); }
    void RowsInserted(int first, int count) override {
        log.push_back("inserted " + std::to_string(first) + "+" + std::to_string(count));
    }
    void CellsChanged(int firstRow, int lastRow) override {
        log.push_back("changed " + std::to_string(firstRow) + ".." + std::to_string(lastRow));
    }
    std::vector<std::string> log;
};

void AddRow(ResultList &list, const std::string &name) {
    auto row = list.Append();
    row->SetCaption(name);
    row->AppendSubItem("com");
}

std::vector<std::string> Captions(const ResultList &list) {
    std::vector<std::string> captions;
    for (int i = 0; i < list.Count(); ++i)
        captions.push_back(list.Row(i)->Caption());
    return captions;
}

TEST(ResultList, TellsTheViewOfEveryChangeAfterItHappens) {
    ResultList list;
    Recorder view;
    list.SetObserver(&view);

    AddRow(list, "b.com");
    AddRow(list, "a.com");
    list.Row(0)->SetChecked(true);
    list.Row(0)->SetChecked(true); // no change, no word
    list.Row(1)->SetSubItem(0, "net");
    list.Row(1)->SetSubItem(5, "none");
    list.SortByColumn(0);
    list.Clear();

    EXPECT_EQ(view.log,
              (std::vector<std::string>{"inserted 0+1", "changed 0..0", "changed 0..0",
                                        "inserted 1+1", "changed 1..1", "changed 1..1",
                                        "changed 0..0", "changed 1..1", "reset", "reset"}));
}

TEST(ResultList, BatchesReportOnceAtTheEnd) {
    ResultList list;
    Recorder view;
    AddRow(list, "a.com");
    AddRow(list, "b.com");
    AddRow(list, "c.com");
    list.SetObserver(&view);

    {
        const ResultListUpdate outer(list);
        const ResultListUpdate inner(list);
        list.Row(2)->SetChecked(true);
        list.Row(1)->SetChecked(true);
    }
    { const ResultListUpdate nothing(list); }
    {
        const ResultListUpdate structural(list);
        list.Row(0)->SetChecked(true);
        AddRow(list, "d.com");
    }
    EXPECT_EQ(view.log, (std::vector<std::string>{"changed 1..2", "reset"}));
}

TEST(ResultList, RowsKeepTheirIdentityAcrossSortsUntilAClear) {
    ResultList list;
    for (const char *name : {"c.com", "a.com", "b.com"})
        AddRow(list, name);
    const auto first = list.Row(0);
    list.SetSelectedIndex(0);
    const auto generation = list.Generation();

    list.SortByColumn(ResultList::DomainName);
    EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.com", "b.com", "c.com"}));
    EXPECT_EQ(first->Index(), 2);
    EXPECT_EQ(list.Row(2), first);
    EXPECT_EQ(list.SelectedIndex(), 2);
    EXPECT_EQ(list.SelectedRow(), first);
    EXPECT_EQ(list.Generation(), generation);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.SelectedIndex(), -1);
    EXPECT_EQ(list.SelectedRow(), nullptr);
    EXPECT_GT(list.Generation(), generation);
    EXPECT_FALSE(first->Listed());
    EXPECT_EQ(first->Index(), -1);
    EXPECT_EQ(list.SortColumn(), ResultList::DomainName);
}

TEST(ResultList, PositionsOutsideTheList) {
    ResultList list;
    AddRow(list, "a.com");
    EXPECT_THROW(list.Row(1), EListError);
    EXPECT_THROW(list.Row(-1), EListError);
    for (int position : {-1, 1, 7}) {
        list.SetSelectedIndex(0);
        list.SetSelectedIndex(position);
        EXPECT_EQ(list.SelectedIndex(), -1) << position;
    }
    EXPECT_EQ(list.Row(0)->Cell(2), std::nullopt);
    EXPECT_EQ(list.Row(0)->SubItem(-1), std::nullopt);
}

} // namespace
} // namespace results

namespace results {

// Sub-items share one buffer behind their lengths; whatever their lengths and whichever one
// changes, each reads back as written.
TEST(ResultRow, SubItemsReadBackWhateverTheirLengthsAndChanges) {
    const std::vector<std::string> texts = {"",
                                            "a",
                                            std::string(127, 'b'),
                                            std::string(128, 'c'),
                                            std::string(20000, 'd'),
                                            std::string("nul\0inside", 10)};
    ResultRow row;
    for (const std::string &text : texts)
        row.AppendSubItem(text);
    std::vector<std::string> expected = texts;
    const std::vector<std::pair<int, std::string>> changes = {{4, "short now"},
                                                              {0, std::string(300, 'e')},
                                                              {5, ""},
                                                              {2, "x"},
                                                              {1, std::string(16384, 'f')}};
    for (const auto &[index, text] : changes) {
        EXPECT_TRUE(row.SetSubItem(index, text));
        expected[static_cast<std::size_t>(index)] = text;
        ASSERT_EQ(row.SubItemCount(), static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(row.SubItem(static_cast<int>(i)), expected[i]) << i;
    }
    EXPECT_EQ(row.Cell(1), expected[0]);
    EXPECT_EQ(row.SubItem(6), std::nullopt);
    EXPECT_FALSE(row.SetSubItem(6, "past the end"));
}

} // namespace results
