// Peak memory of loading a 1,000,000-row results file, measured in a child process: the rise of
// its resident set's high-water mark over what it held before the load, per byte of the file.
#include "bench/ResultsFileFixture.h"
#include "results/ResultsFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Rows = 1000000;

void FillAndWrite(const std::string &path) {
    results::ResultList list;
    bench::FillResultList(list, Rows);
    results::WriteResultsFile(path, list);
}

// Written by a child, so that the rows' memory, freed but kept by the allocator, does not stand
// ready for the measured loads.
std::string WriteSampleFile() {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("nimbrel-bench-1m-" + std::to_string(::getpid()) + ".nbr"))
                                 .string();
    const pid_t child = ::fork();
    if (child == 0) {
        FillAndWrite(path);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return path;
}

// A field of /proc/self/status in kB.
long StatusKilobytes(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

// The bytes the load added at its peak, from a child so that each run starts afresh.
long PeakOfLoad(const std::string &path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the high-water mark
        const long before = StatusKilobytes("VmRSS:");
        results::ResultList list;
        results::LoadResultsFile(path, list);
        const long peak = (StatusKilobytes("VmHWM:") - before) * 1024;
        ssize_t ignored = ::write(pipeFds[1], &peak, sizeof peak);
        (void)ignored;
        ::_exit(list.Count() == Rows ? 0 : 1);
    }
    ::close(pipeFds[1]);
    long peak = -1;
    if (::read(pipeFds[0], &peak, sizeof peak) != sizeof peak)
        peak = -1;
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? peak : -1;
}

void BM_LoadPeakMemory1M(benchmark::State &state) {
    const std::string path = WriteSampleFile();
    const auto fileBytes = static_cast<double>(std::filesystem::file_size(path));
    long peak = -1;
    for (auto _ : state) {
        peak = PeakOfLoad(path);
        if (peak < 0)
            state.SkipWithError("the load failed");
    }
    std::filesystem::remove(path);
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["bytes_per_file_byte"] = static_cast<double>(peak) / fileBytes;
}
BENCHMARK(BM_LoadPeakMemory1M)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
