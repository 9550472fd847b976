#include "results/RowOrder.h"
#include "results/MergeSort.h"
#include "results/ResultList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace results {
namespace {

struct RowText {
    std::string name;
    std::string available;
    std::string links;
};

void Fill(ResultList &list, const std::vector<RowText> &rows) {
    for (const RowText &text : rows) {
        auto row = list.Append();
        row->SetCaption(text.name);
        row->AppendSubItem("com");
        row->AppendSubItem(text.available);
        row->AppendSubItem(text.links);
        row->AppendSubItem(text.links);
    }
}

std::vector<std::string> Captions(const ResultList &list) {
    std::vector<std::string> captions;
    for (int i = 0; i < list.Count(); ++i)
        captions.push_back(list.Row(i)->Caption());
    return captions;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(RowOrder, TextFoldsOnlyAsciiLettersToUpperCase) {
    const struct {
        const char *a;
        const char *b;
        int expected;
    } cases[] = {
        {"ab.com", "AB.net", -1},
        {"AB.net", "abc.com", -1},
        {"a-b.com", "ab.com", -1},
        {"abc", "ABC", 0},
        {"", "", 0},
        {"a", "", 1},
        {"a_b", "aZb", 1},
        {"a_b", "azb", 1},
        {"\xe4", "\xc4", 1},
        {"9", "10", 1},
        {"Yes", "No", 1},
        {"a\x80", "a\x7f", 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CompareCellText(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareCellText(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
}

TEST(RowOrder, ReadsOnlyWholeCellsAsNumbers) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char *text;
        char separator;
        double expected;
    } cases[] = {
        {"10", '.', 10},
        {"  +7  ", '.', 7},
        {"-2.5", '.', -2.5},
        {".5", '.', 0.5},
        {"5.", '.', 5},
        {"1e3", '.', 1000},
        {"1E-2", '.', 0.01},
        {"2,5", ',', 2.5},
        {"007", '.', 7},
        {"1e999", '.', HUGE_VAL},
        {"-1e999", '.', -HUGE_VAL},
        {"1e-999", '.', 0},
        {"-", '.', none},
        {"", '.', none},
        {"  ", '.', none},
        {"1,234", '.', none},
        {"2.5", ',', none},
        {".", '.', none},
        {"+-1", '.', none},
        {"1e", '.', none},
        {"e5", '.', none},
        {"1 2", '.', none},
        {"0x10", '.', none},
        {"inf", '.', none},
        {"nan", '.', none},
        {"\t1", '.', none},
        {"12abc", '.', none},
    };
    for (const auto &c : cases) {
        const auto number = CellNumber(c.text, c.separator);
        if (std::isnan(c.expected))
            EXPECT_FALSE(number.has_value()) << c.text;
        else
            EXPECT_EQ(number, c.expected) << c.text;
    }
}

TEST(RowOrder, ComparesRowsByTheRuleOfTheColumn) {
    ResultList list;
    Fill(list, {{"ab.com", "Yes", "9"},
                {"AB.net", "No", "10"},
                {"x.org", "Yes", "-"},
                {"y.org", "No", "10.4"},
                {"z.org", "No", "10.5"}});
    const auto compare = [&](int a, int b, int column) {
        return Sign(
            CompareRows(*list.Row(a), *list.Row(b), column, results::Columns::Standard(), '.'));
    };
    EXPECT_EQ(compare(0, 1, ResultList::DomainName), -1);
    EXPECT_EQ(compare(0, 1, ResultList::TopLevel), 0);
    EXPECT_EQ(compare(0, 1, ResultList::Available), -1); // "Yes" first: descending
    EXPECT_EQ(compare(0, 1, ResultList::LinkPopularity), -1);
    EXPECT_EQ(compare(1, 0, ResultList::AlexaRanking), 1);
    EXPECT_EQ(compare(2, 0, ResultList::LinkPopularity), 0); // "-" equals every row
    EXPECT_EQ(compare(1, 2, ResultList::LinkPopularity), 0);
    EXPECT_EQ(compare(1, 3, ResultList::LinkPopularity), 0); // closer than one half
    EXPECT_EQ(compare(1, 4, ResultList::LinkPopularity), 0); // one half, rounded to even
    EXPECT_EQ(compare(0, 4, ResultList::LinkPopularity), -1);
    EXPECT_EQ(compare(0, 1, 5), 0);
    EXPECT_EQ(compare(0, 1, -1), 0);

    auto shortRow = list.Append(); // a row that lacks its sub-items compares equal
    shortRow->SetCaption("s.com");
    EXPECT_EQ(CompareRows(*shortRow, *list.Row(0), ResultList::Available,
                          results::Columns::Standard(), '.'),
              0);
    EXPECT_EQ(CompareRows(*shortRow, *list.Row(0), ResultList::LinkPopularity,
                          results::Columns::Standard(), '.'),
              0);
    EXPECT_EQ(CompareRows(*shortRow, *list.Row(0), ResultList::DomainName,
                          results::Columns::Standard(), '.'),
              1);
}

TEST(RowOrder, HeaderClicksSortTheWholeList) {
    const std::vector<RowText> rows = {{"abc.com", "No", "10"}, {"AB.net", "Yes", "9"},
                                       {"ab.com", "No", "-"},   {"a-b.com", "Yes", "100"},
                                       {"b.org", "Yes", ""},    {"c.org", "No", "2"}};
    const struct {
        int column;
        std::vector<std::string> expected;
    } cases[] = {
        {ResultList::DomainName, {"a-b.com", "ab.com", "AB.net", "abc.com", "b.org", "c.org"}},
        {ResultList::Available, {"AB.net", "a-b.com", "b.org", "abc.com", "ab.com", "c.org"}},
        // The "-" and empty rows equal everything and split the numbers into runs.
        {ResultList::LinkPopularity, {"AB.net", "abc.com", "ab.com", "a-b.com", "b.org", "c.org"}},
    };
    for (const auto &c : cases) {
        ResultList list;
        Fill(list, rows);
        list.SortByColumn(c.column);
        EXPECT_EQ(list.SortColumn(), c.column);
        EXPECT_EQ(Captions(list), c.expected) << "column " << c.column;
        list.SortByColumn(c.column); // a second click sorts the same way
        EXPECT_EQ(Captions(list), c.expected) << "column " << c.column << ", twice";
    }
}

TEST(RowOrder, RowsAppendedAfterASortStayAtTheEnd) {
    ResultList list;
    Fill(list, {{"b.com", "Yes", "2"}, {"a.com", "Yes", "1"}});
    list.SortByColumn(ResultList::DomainName);
    Fill(list, {{"0.com", "Yes", "0"}});
    EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.com", "b.com", "0.com"}));
    list.SortByColumn(ResultList::DomainName);
    EXPECT_EQ(Captions(list), (std::vector<std::string>{"0.com", "a.com", "b.com"}));
}

TEST(RowOrder, MergeSortKeepsEveryItemOnceUnderAnyComparison) {
    std::mt19937 random(7);
    for (std::size_t count : {0u, 1u, 2u, 15u, 16u, 17u, 33u, 1000u, 4099u}) {
        std::vector<int> items(count);
        for (std::size_t i = 0; i < count; ++i)
            items[i] = static_cast<int>(i);
        MergeSort(items, [&](int, int) { return static_cast<int>(random() % 3) - 1; });
        std::sort(items.begin(), items.end());
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(items[i], static_cast<int>(i)) << count;
    }
    std::vector<std::pair<int, int>> pairs; // (key, original position): stable
    for (int i = 0; i < 500; ++i)
        pairs.emplace_back(static_cast<int>(random() % 10), i);
    auto expected = pairs;
    std::stable_sort(expected.begin(), expected.end(),
                     [](auto a, auto b) { return a.first < b.first; });
    MergeSort(pairs, [](auto a, auto b) { return a.first - b.first; });
    EXPECT_EQ(pairs, expected);
}

std::string RandomCell(std::mt19937 &random) {
    static const char *const odd[] = {"-", "", " ", "n/a", "1,5", "Yes", "1e", "0x1F"};
    switch (random() % 4) {
    case 0:
        return odd[random() % std::size(odd)];
    case 1:
        return std::to_string(random() % 1000) + "." + std::to_string(random() % 10);
    default:
        return std::to_string(random() % 2000);
    }
}

// Under the inconsistent comparison of the number columns every row must come back exactly
// once, and the sort must order the rows as a merge sort by CompareInSortOrder itself does.
TEST(RowOrder, SortsTenThousandMixedRowsInBounds) {
    std::mt19937 random(2024);
    for (int column = 0; column < ResultList().ColumnCount(); ++column) {
        ResultList list;
        for (int i = 0; i < 10000; ++i) {
            auto row = list.Append();
            row->SetCaption(std::to_string(i));
            row->AppendSubItem(random() % 2 ? "com" : "NET");
            if (random() % 50 == 0)
                continue; // a row still being filled
            row->AppendSubItem(random() % 2 ? "Yes" : "No");
            row->AppendSubItem(RandomCell(random));
            row->AppendSubItem(RandomCell(random));
        }
        std::vector<std::shared_ptr<ResultRow>> expected;
        for (int i = 0; i < list.Count(); ++i)
            expected.push_back(list.Row(i));
        list.SortByColumn(column);
        MergeSort(expected,
                  [&](const auto &a, const auto &b) { return list.CompareInSortOrder(*a, *b); });

        std::vector<bool> seen(10000, false);
        for (int i = 0; i < list.Count(); ++i) {
            const auto &row = list.Row(i);
            ASSERT_EQ(row->Index(), i);
            ASSERT_EQ(row, expected[static_cast<std::size_t>(i)]) << "column " << column;
            const int original = std::stoi(row->Caption());
            ASSERT_FALSE(seen[static_cast<std::size_t>(original)]);
            seen[static_cast<std::size_t>(original)] = true;
        }
        EXPECT_EQ(list.Count(), 10000);
    }
}

} // namespace
} // namespace results
