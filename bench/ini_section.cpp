// Load time of one INI section of 25,000 and of 100,000 keys, and of a store file whose hex list
// goes on over as many continuation lines: linear loads take four times as long for four times
// the keys, not sixteen.
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string SectionOfKeys(int keys) {
    std::string text = "[item0]\n";
    for (int i = 0; i < keys; ++i)
        text += "key" + std::to_string(i) + "=value" + std::to_string(i) + "\n";
    return text;
}

std::string HexListOfLines(int lines) {
    std::string text = "\"long\"=hex:00,\\\n";
    for (int i = 0; i < lines; ++i)
        text += "  01,02,03,\\\n";
    return text + "  04\n";
}

void BM_IniSectionKeys(benchmark::State &state) {
    const std::string text = SectionOfKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const platform::IniFile ini = platform::IniFile::Parse(text);
        benchmark::DoNotOptimize(ini.SectionCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_IniSectionKeys)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_StoreContinuationLines(benchmark::State &state) {
    const std::string text = HexListOfLines(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const platform::RegValues values = platform::ParseKeyFile(text);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_StoreContinuationLines)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
