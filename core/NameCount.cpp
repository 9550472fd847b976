#include "core/NameCount.h"

#include "registry/IdnaName.h"

namespace core {
namespace {

bool EndsWithSuffix(const std::string &name, const std::string &suffix) {
    return name.size() > suffix.size() && name.ends_with(suffix) &&
           name[name.size() - suffix.size() - 1] == '.';
}

} // namespace

NameCount CountPerSuffix(const StringList &names, const StringList &suffixes) {
    NameCount count;
    for (const std::string &suffix : suffixes)
        count.perSuffix.push_back({suffix, 0});
    for (const std::string &name : names) {
        SuffixCount *longest = nullptr;
        for (SuffixCount &entry : count.perSuffix) {
            if (EndsWithSuffix(name, entry.suffix) &&
                (!longest || entry.suffix.size() > longest->suffix.size()))
                longest = &entry;
        }
        if (longest)
            ++longest->names;
        ++count.total;
    }
    return count;
}

NameCount CountCandidates(const SearchOptions &options) {
    StringList candidates, scratch;
    CandidateGenerator(options, candidates, scratch).BuildCandidates();
    return CountPerSuffix(candidates, ChosenSuffixes(options));
}

std::string NameCountText(const NameCount &count) {
    std::string text =
        std::to_string(count.total) + (count.total == 1 ? " name" : " names") + " to check";
    const char *separator = ": ";
    for (const SuffixCount &entry : count.perSuffix) {
        text +=
            separator + std::to_string(entry.names) + " ." + registry::ToUnicodeName(entry.suffix);
        separator = ", ";
    }
    return text;
}

} // namespace core
