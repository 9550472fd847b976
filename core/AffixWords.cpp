#include "core/AffixWords.h"

#include "base/DomainNameLimits.h"
#include "base/Trim.h"
#include "core/KeywordRules.h"
#include "core/SearchOptions.h"
#include "registry/IdnaName.h"

#include <algorithm>

namespace core {

// Chosen for names people actually register when the bare word is gone: short (two to four
// letters, so an affixed name stays easy to type and within most length limits), a verb that
// invites ("get", "try", "go") or a possessive ("my", "the") before, and after it a place or a
// product ("hq", "hub", "app", "labs") or an invitation ("now"). Five a side keeps a run of three
// keywords with every variant under a few hundred extra names per suffix.
const std::vector<std::string> kCommonWordsBefore = {"get", "try", "my", "go", "the"};
const std::vector<std::string> kCommonWordsAfter = {"hq", "app", "hub", "now", "labs"};

namespace {

bool IsLabelCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Whether word can stand inside one label: no dot, no blank, no hyphen at either end.
bool IsLabelPart(const std::string &word) {
    if (word.empty() || word.front() == '-' || word.back() == '-')
        return false;
    if (registry::HasNonAscii(word)) {
        const registry::AsciiName mapped = registry::ToAsciiName(word);
        return mapped && mapped.name.find('.') == std::string::npos &&
               mapped.name.size() <= base::kLongestLabel;
    }
    return word.size() <= base::kLongestLabel &&
           std::all_of(word.begin(), word.end(), IsLabelCharacter);
}

void AddOnce(std::vector<std::string> &words, const std::string &word) {
    if (std::find(words.begin(), words.end(), word) == words.end())
        words.push_back(word);
}

} // namespace

std::vector<std::string> ReadAffixWords(const std::string &text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string typed(
            base::TrimBlanks(std::string_view(text).substr(start, end - start)));
        start = end + 1;
        if (typed.empty())
            continue;
        const std::string word = KeywordAsSearched(typed);
        if (!IsLabelPart(word))
            throw EAffixError("'" + typed + "' cannot be part of a domain name");
        AddOnce(words, word);
        if (words.size() > kMaxAffixWords)
            throw EAffixError("at most " + std::to_string(kMaxAffixWords) + " words, not more");
    }
    return words;
}

AffixWords ChosenAffixWords(const SearchOptions &options) {
    AffixWords words{ReadAffixWords(options.before), ReadAffixWords(options.after)};
    if (!options.commonAffixes)
        return words;
    for (const std::string &word : kCommonWordsBefore)
        AddOnce(words.before, word);
    for (const std::string &word : kCommonWordsAfter)
        AddOnce(words.after, word);
    return words;
}

} // namespace core
