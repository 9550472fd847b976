// Lookups and keeps per second of the registry answer cache in a file on this machine's disk:
// lookups of names kept (hits) and of names never kept (misses) in a cache of 10,000 answers,
// and keeps, each its own transaction (as the registry check keeps them, one name at a time).
#include "registry/AnswerCache.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int kKept = 10000;

// A fresh cache file in the system's temporary folder, removed with the object.
struct BenchFile {
    BenchFile() {
        folder = std::filesystem::temp_directory_path() /
                 ("nimbrel-bench-cache-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
    }
    ~BenchFile() { std::filesystem::remove_all(folder); }
    std::filesystem::path File() const { return folder / "answers.sqlite"; }
    std::filesystem::path folder;
};

registry::KeptAnswer Taken() {
    registry::KeptAnswer answer;
    answer.verdict = registry::KeptVerdict::Taken;
    answer.source = registry::AnswerSource::Rdap;
    answer.expires = "2027-03-15";
    answer.registrar = "Example Registrar, Inc.";
    answer.decided = std::chrono::system_clock::now();
    return answer;
}

std::string Name(int i) {
    return "name" + std::to_string(i) + ".com";
}

void BM_CacheLookup(benchmark::State &state) {
    BenchFile file;
    registry::AnswerCache cache(file.File(), {});
    for (int i = 0; i < kKept; ++i)
        cache.Keep(Name(i), Taken());
    const bool hits = state.range(0) == 1;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache.Lookup(hits ? Name(i) : Name(kKept + i)));
        i = (i + 1) % kKept;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(hits ? "hits" : "misses");
}
BENCHMARK(BM_CacheLookup)->Arg(1)->Arg(0)->UseRealTime();

void BM_CacheKeep(benchmark::State &state) {
    BenchFile file;
    registry::AnswerCache cache(file.File(), {});
    const registry::KeptAnswer answer = Taken();
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(cache.Keep(Name(i++), answer));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CacheKeep)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
