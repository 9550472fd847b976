// A header click on "Link Popularity" over 100,000 rows, against std::stable_sort ordering the
// same rows by the same keys.
#include "results/ResultList.h"
#include "results/RowOrder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int RowCount = 100000;
using Rows = std::vector<std::shared_ptr<results::ResultRow>>;

void FillList(results::ResultList &list) {
    std::mt19937 random(3);
    for (int i = 0; i < RowCount; ++i) {
        auto row = list.Append();
        row->SetCaption("name" + std::to_string(i) + ".com");
        row->AppendSubItem("com");
        row->AppendSubItem("Yes");
        row->AppendSubItem(std::to_string(random() % 10000000));
        row->AppendSubItem(std::to_string(random() % 5000000));
    }
}

void BM_ColumnClickLinkPopularity(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        results::ResultList list;
        FillList(list);
        state.ResumeTiming();
        list.SortByColumn(results::ResultList::LinkPopularity);
        benchmark::DoNotOptimize(list.Row(0).get());
        state.PauseTiming();
        list.Clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * RowCount);
}
BENCHMARK(BM_ColumnClickLinkPopularity)->Unit(benchmark::kMillisecond);

// The same work with std::stable_sort: read each row's number once, sort the keys, then put the
// rows in key order.
void BM_StdStableSortSameKeys(benchmark::State &state) {
    results::ResultList list;
    FillList(list);
    Rows original;
    for (int i = 0; i < list.Count(); ++i)
        original.push_back(list.Row(i));
    struct Key {
        double value;
        bool valid;
        std::uint32_t row;
    };
    for (auto _ : state) {
        state.PauseTiming();
        Rows rows = original;
        state.ResumeTiming();
        const char separator = results::LocaleDecimalSeparator();
        std::vector<Key> keys;
        keys.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto number = results::CellNumber(*rows[i]->SubItem(2), separator);
            keys.push_back({number.value_or(0), number.has_value(), static_cast<std::uint32_t>(i)});
        }
        std::stable_sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
            return a.valid && b.valid && results::CompareNumbers(a.value, b.value) < 0;
        });
        Rows sorted;
        sorted.reserve(rows.size());
        for (const Key &key : keys)
            sorted.push_back(std::move(rows[key.row]));
        benchmark::DoNotOptimize(sorted.data());
        state.PauseTiming();
        sorted.clear();
        rows.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * RowCount);
}
BENCHMARK(BM_StdStableSortSameKeys)->Unit(benchmark::kMillisecond);

// What sorting with the row comparison itself would cost: every comparison reads both cells.
void BM_StdStableSortByCompare(benchmark::State &state) {
    results::ResultList list;
    FillList(list);
    Rows original;
    for (int i = 0; i < list.Count(); ++i)
        original.push_back(list.Row(i));
    list.SortByColumn(results::ResultList::LinkPopularity);
    for (auto _ : state) {
        state.PauseTiming();
        Rows rows = original;
        state.ResumeTiming();
        std::stable_sort(rows.begin(), rows.end(), [&](const auto &a, const auto &b) {
            return list.CompareInSortOrder(*a, *b) < 0;
        });
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * RowCount);
}
BENCHMARK(BM_StdStableSortByCompare)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
