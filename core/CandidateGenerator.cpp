#include "core/CandidateGenerator.h"

#include "core/AffixWords.h"
#include "core/SuffixList.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <unordered_set>

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

// Keeps the first of each repeated name, in the order they came.
void DropRepeats(StringList &names) {
    std::unordered_set<std::string> seen;
    StringList kept;
    for (std::string &name : names) {
        if (seen.insert(name).second)
            kept.push_back(std::move(name));
    }
    names = std::move(kept);
}

} // namespace

bool UsesNameChoices(const SearchOptions &options) {
    return !ChosenAffixWords(options).Empty() || options.suffixHacks ||
           options.maxNameLength > kNoLengthLimit;
}

std::size_t LetterCount(const std::string &text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

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
    AddAffixed();
    AddSuffixes();
    AddSuffixHacks();
    if (UsesNameChoices(options_))
        DropRepeats(candidates_);
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

void CandidateGenerator::AddAffixed() {
    const AffixWords words = ChosenAffixWords(options_);
    if (words.Empty())
        return;
    const StringList &k = options_.keywords;
    const bool allVariants = options_.searchfor() == kAllVariants;
    for (const bool hyphen : {false, true}) {
        if (hyphen && !options_.hyphens)
            break;
        for (const std::string &keyword : k)
            AddAffixedTo({keyword}, hyphen, words.before, words.after);
        for (std::size_t i = 0; allVariants && i < k.size(); ++i) {
            for (std::size_t j = 0; j < k.size(); ++j) {
                if (j != i)
                    AddAffixedTo({k[i], k[j]}, hyphen, words.before, words.after);
            }
        }
    }
}

// Every word before, then every word after, joined to the parts as a pair or triple would be.
void CandidateGenerator::AddAffixedTo(const StringList &parts, bool hyphen,
                                      const StringList &before, const StringList &after) {
    for (const std::string &word : before) {
        StringList joined{word};
        joined.insert(joined.end(), parts.begin(), parts.end());
        AddJoined(joined, hyphen, false);
    }
    for (const std::string &word : after) {
        StringList joined = parts;
        joined.push_back(word);
        AddJoined(joined, hyphen, false);
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
        for (const std::string &suffix : suffixes)
            AddSuffixed(base, suffix);
    }
}

void CandidateGenerator::AddSuffixHacks() {
    if (!options_.suffixHacks)
        return;
    const StringList suffixes = ChosenSuffixes(options_);
    for (const std::string &keyword : options_.keywords) {
        for (const std::string &suffix : suffixes) {
            // The suffix as people type it ("рф", not "xn--p1ai"), its letters without dots.
            std::string letters = registry::ToUnicodeName(suffix);
            std::erase(letters, '.');
            const std::size_t count = LetterCount(letters);
            if (count < 2 || LetterCount(keyword) < count + 1 || !keyword.ends_with(letters))
                continue;
            const std::string head = keyword.substr(0, keyword.size() - letters.size());
            if (head.back() != '-')
                AddSuffixed(head, suffix);
        }
    }
}

void CandidateGenerator::AddSuffixed(const std::string &head, const std::string &suffix) {
    const auto limit = static_cast<std::size_t>(options_.maxNameLength);
    if (limit > 0 && LetterCount(head) > limit)
        return;
    registry::AsciiName name = registry::ToAsciiName(head + "." + suffix);
    if (name)
        candidates_.push_back(std::move(name.name));
}

} // namespace core
