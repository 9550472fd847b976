// Import of a generated 10-million-line web-graph rank file (gzip) against the decompression
// floor `zcat FILE | wc -l` on the same file, with the import's peak memory; and lookups of
// 1 million names in the index against std::unordered_map built from the same data, both through
// RankIndex::Find (a rank list's index) and through the names section of a web graph's index
// (front-coded blocks; indexes of version 3 look every name up there); and a keyword scan of those
// names. The lookups are measured twice: as separate benchmarks (one pass each, the first over a
// freshly opened mapping), and in interleaved rounds, the three lookups in turn, whose per-round
// ratios are the ones to quote: passes moments apart on warm mappings, not a minute apart on a
// machine whose neighbours come and go.
// NIMBREL_BENCH_LINES changes the size of the generated file.
#include "bench/ChildImport.h"
#include "rankindex/NameScan.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kLookupNames = 1000000;

std::size_t GraphLines() {
    const char *lines = std::getenv("NIMBREL_BENCH_LINES");
    return lines ? std::strtoull(lines, nullptr, 10) : 10000000;
}

// Names as the lists hold them: a few syllables, a number to keep them apart, a suffix.
std::string MakeName(std::mt19937_64 &random, std::size_t index) {
    static const char *const syllables[] = {"ka",  "lo", "mer", "sun", "tri", "vo", "zen", "pa",
                                            "dor", "fi", "gle", "hub", "net", "ra", "sto", "web"};
    static const char *const suffixes[] = {"com", "net", "org", "de", "co.uk", "io", "fr", "nl"};
    std::string name;
    const int count = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i)
        name += syllables[random() % 16];
    name += std::to_string(index);
    name += '.';
    name += suffixes[random() % 8];
    return name;
}

std::string Reversed(const std::string &name) {
    std::string reversed;
    std::size_t end = name.size();
    while (true) {
        const std::size_t dot = name.rfind('.', end - 1);
        const std::size_t start = dot == std::string::npos ? 0 : dot + 1;
        if (!reversed.empty())
            reversed += '.';
        reversed.append(name, start, end - start);
        if (dot == std::string::npos)
            break;
        end = dot;
    }
    return reversed;
}

// The generated files of this process, removed at exit.
class Workspace {
public:
    Workspace()
        : folder_(fs::temp_directory_path() /
                  ("nimbrel-bench-rank-" + std::to_string(::getpid()))) {
        fs::create_directories(folder_);
    }
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    const fs::path &Folder() const { return folder_; }

    // The web graph as cc-main-*-domain-ranks.txt.gz prints it, made on first use.
    const fs::path &WebGraph() {
        if (graph_.empty()) {
            graph_ = folder_ / "domain-ranks.txt.gz";
            gzFile file = gzopen(graph_.c_str(), "wb6");
            gzbuffer(file, 1 << 20);
            gzputs(file, "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n");
            std::mt19937_64 random(7);
            std::string line;
            const std::size_t lines = GraphLines();
            for (std::size_t i = 1; i <= lines; ++i) {
                line = std::to_string(i) + '\t' + std::to_string(3.2e7 / i) + '\t' +
                       std::to_string(random() % lines + 1) + '\t' +
                       std::to_string(1e-3 / (random() % 1000 + 1)) + '\t' +
                       Reversed(MakeName(random, i)) + '\t' + std::to_string(random() % 5000) +
                       '\n';
                gzwrite(file, line.data(), static_cast<unsigned>(line.size()));
            }
            gzclose(file);
        }
        return graph_;
    }

    // A rank list of kLookupNames names imported into the folder's index, with its names.
    const std::vector<std::string> &LookupNames() {
        if (names_.empty()) {
            std::mt19937_64 random(11);
            const fs::path list = folder_ / "top-1m.csv";
            std::FILE *out = std::fopen(list.c_str(), "w");
            for (std::size_t i = 1; i <= kLookupNames; ++i) {
                names_.push_back(MakeName(random, i));
                std::fprintf(out, "%zu,%s\n", i, names_.back().c_str());
            }
            std::fclose(out);
            rankindex::ImportRankFile(rankindex::RankKind::RankList, list, folder_ / "index");
            // The same names as a web graph, whose index keeps them in its names section.
            const fs::path graph = folder_ / "names-ranks.txt";
            out = std::fopen(graph.c_str(), "w");
            for (std::size_t i = 1; i <= kLookupNames; ++i)
                std::fprintf(out, "%zu\t1.0\t%zu\t0.1\t%s\t%zu\n", i, i,
                             Reversed(names_[i - 1]).c_str(), i % 50);
            std::fclose(out);
            rankindex::ImportRankFile(rankindex::RankKind::WebGraph, graph, folder_ / "names");
            std::shuffle(names_.begin(), names_.end(), random);
        }
        return names_;
    }

private:
    fs::path folder_;
    fs::path graph_;
    std::vector<std::string> names_;
};

Workspace &TheWorkspace() {
    static Workspace workspace;
    return workspace;
}

struct Figures {
    double floorSeconds = 1e9;
    double importSeconds = 1e9;
    long importPeakKb = 0;
    std::uint64_t graphFileBytes = 0;
    std::uint64_t graphIndexBytes = 0;
    std::uint64_t graphNames = 0;
    double indexLookupNs = 0;
    double mapLookupNs = 0;
    double sectionLookupNs = 0;
    double scanMs = 0;
    // Medians over interleaved rounds (map, names section, index): each round's ratio compares
    // passes made within a second of each other, which a noisy neighbour skews far less than
    // benchmarks run a minute apart. The worst round's ratios beside them.
    struct {
        int count = 0;
        double mapNs = 0, sectionNs = 0, indexNs = 0;
        double sectionRatio = 0, indexRatio = 0, sectionWorst = 0, indexWorst = 0;
    } rounds;
    std::uint64_t lookupIndexBytes = 0;
    std::uint64_t namesIndexBytes = 0;
    std::uint64_t namesSectionBytes = 0;
};
Figures figures;

void BM_ZcatWcFloor(benchmark::State &state) {
    const std::string command =
        "zcat '" + TheWorkspace().WebGraph().string() + "' | wc -l > /dev/null";
    for (auto _ : state) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("zcat | wc -l failed");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        figures.floorSeconds = std::min(figures.floorSeconds, seconds);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(GraphLines()));
}
BENCHMARK(BM_ZcatWcFloor)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ImportWebGraph(benchmark::State &state) {
    const fs::path graph = TheWorkspace().WebGraph();
    const fs::path folder = TheWorkspace().Folder() / "index";
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::optional<long> peakKb = ImportInChild(graph, folder);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!peakKb)
            state.SkipWithError("import failed");
        state.SetIterationTime(seconds);
        figures.importSeconds = std::min(figures.importSeconds, seconds);
        figures.importPeakKb = std::max(figures.importPeakKb, peakKb.value_or(0));
        state.counters["peak_MB"] = static_cast<double>(peakKb.value_or(0)) / 1024;
    }
    const fs::path index = rankindex::IndexPath(folder, rankindex::RankKind::WebGraph);
    figures.graphFileBytes = fs::file_size(graph);
    figures.graphIndexBytes = fs::file_size(index);
    figures.graphNames = rankindex::RankIndex(index).Info().entries;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(GraphLines()));
}
BENCHMARK(BM_ImportWebGraph)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_LookupIndex(benchmark::State &state) {
    const auto &names = TheWorkspace().LookupNames();
    const fs::path path =
        rankindex::IndexPath(TheWorkspace().Folder() / "index", rankindex::RankKind::RankList);
    const rankindex::RankIndex index(path);
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (const std::string &name : names)
            sum += index.Find(name).value_or(0);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
    figures.lookupIndexBytes = fs::file_size(path);
}
BENCHMARK(BM_LookupIndex)->Unit(benchmark::kMillisecond);

const fs::path &NamesIndexPath() {
    static const fs::path path =
        rankindex::IndexPath(TheWorkspace().Folder() / "names", rankindex::RankKind::WebGraph);
    return path;
}

void BM_LookupNameSection(benchmark::State &state) {
    const auto &names = TheWorkspace().LookupNames();
    const rankindex::RankIndex index(NamesIndexPath());
    const rankindex::NameSection &section = *index.Names();
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (const std::string &name : names) {
            const auto facts = section.Find(name);
            sum += facts ? facts->harmonicPosition : 0;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
    figures.namesIndexBytes = fs::file_size(NamesIndexPath());
    const auto &info = index.Info();
    rankindex::RankIndexHeader header{};
    std::FILE *in = std::fopen(NamesIndexPath().c_str(), "rb");
    if (std::fread(&header, sizeof header, 1, in) == 1)
        figures.namesSectionBytes = info.fileSize - rankindex::NamesOffset(header);
    std::fclose(in);
}
BENCHMARK(BM_LookupNameSection)->Unit(benchmark::kMillisecond);

// A whole scan of the .com names for two keywords, the best 100 kept, 64 blocks a slice.
void BM_KeywordScan(benchmark::State &state) {
    TheWorkspace().LookupNames();
    const rankindex::RankIndex index(NamesIndexPath());
    std::size_t found = 0;
    for (auto _ : state) {
        rankindex::NameScan scan(*index.Names(), {{"sun", "ka"}, {"com"}, 0, 0, 100});
        while (scan.Step(64)) {
        }
        found += scan.Matches().size();
    }
    benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_KeywordScan)->Unit(benchmark::kMillisecond);

// The rank list's lines read back into a map: the data both indexes were made from.
std::unordered_map<std::string, std::uint32_t> MapOfTheNames() {
    std::unordered_map<std::string, std::uint32_t> map;
    std::FILE *in = std::fopen((TheWorkspace().Folder() / "top-1m.csv").c_str(), "r");
    char line[512];
    while (std::fgets(line, sizeof line, in)) {
        std::string text(line);
        const std::size_t comma = text.find(',');
        map.emplace(text.substr(comma + 1, text.size() - comma - 2),
                    static_cast<std::uint32_t>(std::stoul(text.substr(0, comma))));
    }
    std::fclose(in);
    return map;
}

void BM_LookupUnorderedMap(benchmark::State &state) {
    const auto &names = TheWorkspace().LookupNames();
    // Built from the same data: the rank list's lines read back into a map.
    const auto map = MapOfTheNames();
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (const std::string &name : names) {
            const auto found = map.find(name);
            sum += found == map.end() ? 0 : found->second;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}
BENCHMARK(BM_LookupUnorderedMap)->Unit(benchmark::kMillisecond);

double ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// CPU nanoseconds a lookup over one pass of all the names.
template <typename Lookup>
double NsPerLookup(const std::vector<std::string> &names, Lookup lookup, std::uint64_t &sum) {
    const double start = ThreadCpuNs();
    for (const std::string &name : names)
        sum += lookup(name);
    return (ThreadCpuNs() - start) / static_cast<double>(names.size());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The three lookups in turn, round after round, each round's ratios taken from passes made
// moments apart; the medians (and the worst round) go to the summary.
void BM_LookupRounds(benchmark::State &state) {
    constexpr int kRounds = 7;
    const auto &names = TheWorkspace().LookupNames();
    const auto map = MapOfTheNames();
    const rankindex::RankIndex graph(NamesIndexPath());
    const rankindex::NameSection &section = *graph.Names();
    const rankindex::RankIndex list(
        rankindex::IndexPath(TheWorkspace().Folder() / "index", rankindex::RankKind::RankList));
    const auto inMap = [&](const std::string &name) -> std::uint64_t {
        const auto found = map.find(name);
        return found == map.end() ? 0 : found->second;
    };
    const auto inSection = [&](const std::string &name) -> std::uint64_t {
        const auto facts = section.Find(name);
        return facts ? facts->harmonicPosition : 0;
    };
    const auto inIndex = [&](const std::string &name) -> std::uint64_t {
        return list.Find(name).value_or(0);
    };
    std::vector<double> mapNs, sectionNs, indexNs, sectionRatio, indexRatio;
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            mapNs.push_back(NsPerLookup(names, inMap, sum));
            sectionNs.push_back(NsPerLookup(names, inSection, sum));
            indexNs.push_back(NsPerLookup(names, inIndex, sum));
            sectionRatio.push_back(sectionNs.back() / mapNs.back());
            indexRatio.push_back(indexNs.back() / mapNs.back());
        }
    }
    benchmark::DoNotOptimize(sum);
    figures.rounds.count = static_cast<int>(mapNs.size());
    figures.rounds.mapNs = Median(mapNs);
    figures.rounds.sectionNs = Median(sectionNs);
    figures.rounds.indexNs = Median(indexNs);
    figures.rounds.sectionRatio = Median(sectionRatio);
    figures.rounds.indexRatio = Median(indexRatio);
    figures.rounds.sectionWorst = *std::max_element(sectionRatio.begin(), sectionRatio.end());
    figures.rounds.indexWorst = *std::max_element(indexRatio.begin(), indexRatio.end());
}
BENCHMARK(BM_LookupRounds)->Iterations(1)->Unit(benchmark::kMillisecond);

// Keeps the per-lookup times of the two lookup benchmarks for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate)
                continue;
            const double ns = run.GetAdjustedCPUTime() * 1e6 / kLookupNames; // ms per iteration
            if (run.run_name.function_name == "BM_LookupIndex")
                figures.indexLookupNs = ns;
            if (run.run_name.function_name == "BM_LookupUnorderedMap")
                figures.mapLookupNs = ns;
            if (run.run_name.function_name == "BM_LookupNameSection")
                figures.sectionLookupNs = ns;
            if (run.run_name.function_name == "BM_KeywordScan")
                figures.scanMs = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintSummary() {
    std::printf(
        "\nImport of %zu web-graph lines (gzip, %.0f MB): %.2f s; zcat | wc -l: %.2f s; ratio "
        "%.2f; peak memory %.0f MB\n",
        GraphLines(), static_cast<double>(figures.graphFileBytes) / 1e6, figures.importSeconds,
        figures.floorSeconds, figures.importSeconds / figures.floorSeconds,
        static_cast<double>(figures.importPeakKb) / 1024);
    if (figures.graphNames)
        std::printf("Web-graph index: %.1f MB for %llu names (%.2f MB per million)\n",
                    static_cast<double>(figures.graphIndexBytes) / 1e6,
                    static_cast<unsigned long long>(figures.graphNames),
                    static_cast<double>(figures.graphIndexBytes) / 1e6 /
                        (static_cast<double>(figures.graphNames) / 1e6));
    std::printf(
        "Lookup of %zu names (CPU time): index %.0f ns, std::unordered_map %.0f ns, ratio %.2f; "
        "index %.1f MB\n",
        kLookupNames, figures.indexLookupNs, figures.mapLookupNs,
        figures.indexLookupNs / figures.mapLookupNs,
        static_cast<double>(figures.lookupIndexBytes) / 1e6);
    std::printf("Lookup in the names section: %.0f ns, ratio to std::unordered_map %.2f; web-graph "
                "index of %zu names %.1f MB, of which the names section %.1f MB; keyword scan of "
                "the .com names %.1f ms\n",
                figures.sectionLookupNs, figures.sectionLookupNs / figures.mapLookupNs,
                kLookupNames, static_cast<double>(figures.namesIndexBytes) / 1e6,
                static_cast<double>(figures.namesSectionBytes) / 1e6, figures.scanMs);
    if (figures.rounds.count > 0)
        std::printf("Interleaved lookups, median of %d rounds (CPU time): std::unordered_map %.0f "
                    "ns, names section %.0f ns (ratio %.2f, worst round %.2f), rank list's index "
                    "%.0f ns (ratio %.2f, worst round %.2f)\n",
                    figures.rounds.count, figures.rounds.mapNs, figures.rounds.sectionNs,
                    figures.rounds.sectionRatio, figures.rounds.sectionWorst,
                    figures.rounds.indexNs, figures.rounds.indexRatio, figures.rounds.indexWorst);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
