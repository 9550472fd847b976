// Keyword search over a generated web-graph file of 20 million lines (NIMBREL_BENCH_LINES changes
// it), imported into an index: the time of 100 one-keyword searches (keywords drawn from the
// names, the best 100 names kept, page cache warm) against `LC_ALL=C grep -c -F KEYWORD` on the
// uncompressed file in the same run, as p50 and p95 of each and of their ratio per keyword; the
// same searches limited to .com; and the index's size against the file, by section. The file and
// the index go to NIMBREL_BENCH_DIR (default: a folder in the temporary directory, removed at
// the end).
#include "bench/ChildImport.h"
#include "rankindex/GramSearch.h"
#include "rankindex/NameScan.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"
#include "rankindex/RankIndexWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kKeywords = 100;

std::size_t GraphLines() {
    const char *lines = std::getenv("NIMBREL_BENCH_LINES");
    return lines ? std::strtoull(lines, nullptr, 10) : 20000000;
}

// Names as bench_rank_index makes them: a few syllables, a number to keep them apart, a suffix;
// reversed as the graph lists them.
std::string MakeReversedName(std::mt19937_64 &random, std::size_t index) {
    static const char *const syllables[] = {"ka",  "lo", "mer", "sun", "tri", "vo", "zen", "pa",
                                            "dor", "fi", "gle", "hub", "net", "ra", "sto", "web"};
    static const char *const suffixes[] = {"com", "net", "org", "de", "uk.co", "io", "fr", "nl"};
    std::string name = suffixes[random() % 8];
    name += '.';
    const int count = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i)
        name += syllables[random() % 16];
    name += std::to_string(index);
    return name;
}

// A keyword a user might type: three to eight letters of a listed name's letters.
std::string KeywordFrom(const std::string &reversedName, std::mt19937_64 &random) {
    std::string letters = reversedName.substr(reversedName.rfind('.') + 1);
    letters = letters.substr(0, letters.find_first_of("0123456789"));
    const std::size_t length = std::min<std::size_t>(letters.size(), 3 + random() % 6);
    return letters.substr(random() % (letters.size() - length + 1), length);
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// Writes the file unless it is there from an earlier run (the same names come from the same
// seed); returns the keywords either way.
std::vector<std::string> WriteGraph(const fs::path &path) {
    std::vector<std::string> keywords;
    const bool write = !fs::exists(path);
    std::FILE *out = std::fopen(write ? path.c_str() : "/dev/null", "w");
    std::fputs("#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n", out);
    std::mt19937_64 random(7);
    const std::size_t lines = GraphLines();
    const std::size_t every = std::max<std::size_t>(lines / kKeywords, 1);
    for (std::size_t i = 1; i <= lines; ++i) {
        const std::string name = MakeReversedName(random, i);
        const auto pageRank = static_cast<unsigned long long>(random() % lines + 1);
        const double pageRankValue = 1e-3 / static_cast<double>(random() % 1000 + 1);
        const auto hosts = static_cast<unsigned long long>(random() % 5000);
        if (write)
            std::fprintf(out, "%zu\t%.6f\t%llu\t%.6e\t%s\t%llu\n", i,
                         3.2e7 / static_cast<double>(i), pageRank, pageRankValue, name.c_str(),
                         hosts);
        if (i % every == every / 2 && keywords.size() < kKeywords)
            keywords.push_back(KeywordFrom(name, random));
    }
    std::fclose(out);
    return keywords;
}

// The count goes to a file: with its output on /dev/null, grep stops at the first match.
double GrepSeconds(const fs::path &file, const std::string &keyword) {
    const std::string command = "LC_ALL=C grep -c -F -e '" + keyword + "' '" + file.string() +
                                "' > '" + file.string() + ".count'";
    const auto start = Clock::now();
    if (std::system(command.c_str()) == -1)
        std::fprintf(stderr, "grep failed\n");
    return Seconds(start);
}

struct Searched {
    double seconds;
    std::size_t matches;
};

Searched SearchSeconds(const rankindex::RankIndex &index, const rankindex::NameQuery &query,
                       bool scan) {
    const auto start = Clock::now();
    std::unique_ptr<rankindex::NameSearch> search =
        scan ? std::make_unique<rankindex::NameScan>(*index.Names(), query)
             : rankindex::SearchNames(index, query);
    while (search->Step(256)) {
    }
    const std::size_t matches = search->Matches().size();
    return {Seconds(start), matches};
}

void Report(const char *what, const std::vector<double> &search, const std::vector<double> &grep) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < search.size(); ++i)
        ratios.push_back(search[i] / grep[i]);
    std::printf("%s: search p50 %.3f ms, p95 %.3f ms; grep p50 %.1f ms, p95 %.1f ms; "
                "p50/p50 %.4f, p95/p95 %.4f; per keyword ratio p50 %.4f, p95 %.4f, max %.4f\n",
                what, Percentile(search, 0.5) * 1e3, Percentile(search, 0.95) * 1e3,
                Percentile(grep, 0.5) * 1e3, Percentile(grep, 0.95) * 1e3,
                Percentile(search, 0.5) / Percentile(grep, 0.5),
                Percentile(search, 0.95) / Percentile(grep, 0.95), Percentile(ratios, 0.5),
                Percentile(ratios, 0.95), Percentile(ratios, 1.0));
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char *dir = std::getenv("NIMBREL_BENCH_DIR");
    const bool own = dir == nullptr;
    const fs::path folder =
        own ? fs::temp_directory_path() / ("nimbrel-bench-search-" + std::to_string(::getpid()))
            : fs::path(dir);
    fs::create_directories(folder);
    const fs::path graph = folder / "domain-ranks.txt";

    auto start = Clock::now();
    const std::vector<std::string> keywords = WriteGraph(graph);
    std::printf("Generated %zu lines (%.1f MB) in %.1f s\n", GraphLines(),
                static_cast<double>(fs::file_size(graph)) / 1e6, Seconds(start));
    start = Clock::now();
    const std::optional<long> peakKb = ImportInChild(graph, folder);
    if (!peakKb)
        return 1;
    std::printf("Imported in %.1f s, peak memory %.0f MB\n", Seconds(start),
                static_cast<double>(*peakKb) / 1024);

    const fs::path path = rankindex::IndexPath(folder, rankindex::RankKind::WebGraph);
    const rankindex::RankIndex index(path);
    const double fileBytes = static_cast<double>(fs::file_size(graph));
    const double indexBytes = static_cast<double>(fs::file_size(path));
    const double names = static_cast<double>(index.Info().names);
    const double namesBytes = static_cast<double>(index.Names()->Bytes());
    const double gramBytes = index.Grams() ? static_cast<double>(index.Grams()->Bytes()) : 0;
    std::printf("Index %.1f MB = %.1f %% of the file (%.1f bytes per name, %.1f in the file); "
                "names section %.1f MB (%.1f per name); n-gram section %.1f MB (%.1f per name, "
                "%.1f %% of the file, %llu trigrams)\n",
                indexBytes / 1e6, 100 * indexBytes / fileBytes, indexBytes / names,
                fileBytes / names, namesBytes / 1e6, namesBytes / names, gramBytes / 1e6,
                gramBytes / names, 100 * gramBytes / fileBytes,
                static_cast<unsigned long long>(index.Grams() ? index.Grams()->GramCount() : 0));

    // Warm: the file and the index in the page cache, every search run once before timing.
    for (const std::string &keyword : keywords) {
        GrepSeconds(graph, keyword);
        SearchSeconds(index, {{keyword}, {}, 0, 0, 100}, false);
    }
    for (const std::vector<std::string> &suffixes :
         {std::vector<std::string>{}, std::vector<std::string>{"com"}}) {
        std::vector<double> search, grep;
        std::size_t full = 0;
        for (const std::string &keyword : keywords) {
            const Searched searched = SearchSeconds(index, {{keyword}, suffixes, 0, 0, 100}, false);
            search.push_back(searched.seconds);
            full += searched.matches == 100;
            grep.push_back(GrepSeconds(graph, keyword));
        }
        Report(suffixes.empty() ? "Any suffix" : ".com only", search, grep);
        std::printf("  %zu of %d keywords found the full 100 names\n", full, kKeywords);
    }
    std::vector<double> scans;
    for (int i = 0; i < 5; ++i)
        scans.push_back(
            SearchSeconds(index, {{keywords[static_cast<std::size_t>(i)]}, {}, 0, 0, 100}, true)
                .seconds);
    std::printf("The scan of every name (no n-gram section), 5 keywords: p50 %.1f ms\n",
                Percentile(scans, 0.5) * 1e3);
    std::printf("Keywords: ");
    for (const std::string &keyword : keywords)
        std::printf("%s ", keyword.c_str());
    std::printf("\n");
    if (own)
        fs::remove_all(folder);
    return 0;
}
