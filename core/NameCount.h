#pragma once

#include "core/CandidateGenerator.h"

#include <cstddef>
#include <string>
#include <vector>

// How many names a search would check, per suffix, before it starts: what `--dry-run` prints and
// the keywords dialog shows. The count is taken from the generator's own list, the one the run
// checks, so the two cannot disagree.
namespace core {

struct SuffixCount {
    std::string suffix; // as the options hold it, ASCII, without the dot
    std::size_t names = 0;
};

struct NameCount {
    std::vector<SuffixCount> perSuffix; // in the order of the chosen suffixes
    std::size_t total = 0;
};

// Counts names under each suffix (the longest of them a name ends with, so .co.uk before .uk).
NameCount CountPerSuffix(const StringList &names, const StringList &suffixes);

// The names a search with these options would check. ESuffixError or EAffixError as the
// generator throws them.
NameCount CountCandidates(const SearchOptions &options);

// "24 names to check: 12 .com, 12 .net", suffixes in their Unicode form.
std::string NameCountText(const NameCount &count);

} // namespace core
