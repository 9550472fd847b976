// Load and save of a 100,000-row results file, with inih parsing the same file as the yardstick.
#include "bench/ResultsFileFixture.h"
#include "results/ResultsFile.h"

#include <benchmark/benchmark.h>
#include <ini.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::FillResultList;
using bench::ResultsFileRows;
using bench::SampleResultsFile;

void BM_LoadResultsFile(benchmark::State &state) {
    results::ResultList list;
    for (auto _ : state) {
        results::ReadResultsFile(SampleResultsFile(), list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_LoadResultsFile)->Unit(benchmark::kMillisecond);

// inih keeping every value of the file in rows, as a loader has to.
struct InihRow {
    std::string domain, suffix, available, links, rank, check;
};

struct InihRows {
    std::vector<InihRow> rows;
    std::string section;
};

int StoreValue(void *user, const char *section, const char *name, const char *value) {
    auto &store = *static_cast<InihRows *>(user);
    if (store.rows.empty() || store.section != section) {
        store.rows.emplace_back();
        store.section = section;
    }
    InihRow &row = store.rows.back();
    if (std::strcmp(name, "domain") == 0)
        row.domain = value;
    else if (std::strcmp(name, "suffix") == 0)
        row.suffix = value;
    else if (std::strcmp(name, "available") == 0)
        row.available = value;
    else if (std::strcmp(name, "links") == 0)
        row.links = value;
    else if (std::strcmp(name, "rank") == 0)
        row.rank = value;
    else if (std::strcmp(name, "check") == 0)
        row.check = value;
    return 1;
}

void BM_InihParseAndStore(benchmark::State &state) {
    for (auto _ : state) {
        InihRows store;
        if (ini_parse(SampleResultsFile().c_str(), StoreValue, &store) != 0)
            state.SkipWithError("inih failed");
        if (store.rows.size() != ResultsFileRows)
            state.SkipWithError("inih read a different number of rows");
        benchmark::DoNotOptimize(store.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_InihParseAndStore)->Unit(benchmark::kMillisecond);

int CountValue(void *user, const char *, const char *, const char *) {
    ++*static_cast<long *>(user);
    return 1;
}

void BM_InihParseOnly(benchmark::State &state) {
    for (auto _ : state) {
        long values = 0;
        ini_parse(SampleResultsFile().c_str(), CountValue, &values);
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_InihParseOnly)->Unit(benchmark::kMillisecond);

void BM_SaveResultsFile(benchmark::State &state) {
    results::ResultList list;
    FillResultList(list);
    const std::string path = SampleResultsFile() + ".saved";
    for (auto _ : state)
        results::WriteResultsFile(path, list);
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations() * ResultsFileRows);
}
BENCHMARK(BM_SaveResultsFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
