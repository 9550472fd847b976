#include "core/CandidateGenerator.h"

#include "core/SuffixList.h"
#include "registry/IdnaName.h"

#include <algorithm>

namespace core {
namespace {

std::string Join(const StringList &parts, bool hyphen) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (hyphen && i > 0)
            joined += '-';
        joined += parts[i];
    }
    return joined;
}

} // namespace

std::string FirstLetter(const std::string &text) {
    const auto isContinuation = [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    };
    std::size_t end = text.empty() ? 0 : 1;
    while (end < text.size() && isContinuation(text[end]))
        ++end;
    return text.substr(0, end);
}

void CandidateGenerator::BuildCandidates() {
    candidates_.clear();
    scratch_.clear();
    const bool acronyms = options_.acronyms;
    AddSingles(acronyms);
    if (options_.searchfor() == kAllVariants) {
        AddPairs(false, acronyms);
        if (options_.hyphens)
            AddPairs(true, acronyms);
        AddTriples(false, acronyms);
        if (options_.hyphens)
            AddTriples(true, acronyms);
    }
    AddSuffixes();
}

void CandidateGenerator::AddSingles(bool acronyms) {
    for (const std::string &keyword : options_.keywords)
        AddJoined({keyword}, false, acronyms);
}

void CandidateGenerator::AddPairs(bool hyphen, bool acronyms) {
    const StringList &k = options_.keywords;
    for (std::size_t i = 0; i < k.size(); ++i) {
        for (std::size_t j = 0; j < k.size(); ++j) {
            if (j != i)
                AddJoined({k[i], k[j]}, hyphen, acronyms);
        }
    }
}

void CandidateGenerator::AddTriples(bool hyphen, bool acronyms) {
    const StringList &k = options_.keywords;
    for (std::size_t i = 0; i < k.size(); ++i) {
        for (std::size_t j = 0; j < k.size(); ++j) {
            for (std::size_t m = 0; m < k.size() && j != i; ++m) {
                if (m != i && m != j)
                    AddJoined({k[i], k[j], k[m]}, hyphen, acronyms);
            }
        }
    }
}

// Appends the joined name and, with acronyms, the same joining of the first letters.
void CandidateGenerator::AddJoined(const StringList &parts, bool hyphen, bool acronyms) {
    candidates_.push_back(Join(parts, hyphen));
    if (!acronyms)
        return;
    StringList letters;
    for (const std::string &part : parts)
        letters.push_back(FirstLetter(part));
    candidates_.push_back(Join(letters, hyphen));
}

StringList ChosenSuffixes(const SearchOptions &options) {
    const std::pair<bool, const char *> boxes[] = {
        {options.COM, "com"}, {options.NET, "net"},   {options.ORG, "org"},    {options.BIZ, "biz"},
        {options.US, "us"},   {options.INFO, "info"}, {options.COUK, "co.uk"},
    };
    StringList chosen;
    for (const auto &[checked, suffix] : boxes)
        if (checked)
            chosen.push_back(suffix);
    for (std::string &more : ReadSuffixList(options.suffixes))
        if (std::find(chosen.begin(), chosen.end(), more) == chosen.end())
            chosen.push_back(std::move(more));
    return chosen;
}

void CandidateGenerator::AddSuffixes() {
    const StringList suffixes = ChosenSuffixes(options_);
    scratch_ = candidates_;
    candidates_.clear();
    for (const std::string &base : scratch_) {
        for (const std::string &suffix : suffixes) {
            registry::AsciiName name = registry::ToAsciiName(base + "." + suffix);
            if (name)
                candidates_.push_back(std::move(name.name));
        }
    }
}

} // namespace core
