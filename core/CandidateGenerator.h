#pragma once

#include "core/SearchOptions.h"

#include <string>
#include <vector>

namespace core {

using StringList = std::vector<std::string>;

// The first character of text (a UTF-8 code point, all its bytes) as a one-character text;
// empty for an empty text.
std::string FirstLetter(const std::string &text);

// The suffixes the options choose, without dots, in the order names get them.
StringList ChosenSuffixes(const SearchOptions &options);

// Whether the options ask for more than the keywords' own combinations: words before or after,
// suffix hacks or a length limit. Only then are repeated names dropped.
bool UsesNameChoices(const SearchOptions &options);

// The letters of a name as people count them: code points, hyphens and dots included.
std::size_t LetterCount(const std::string &text);

// Turns the keywords and the search options into the candidate list: base names first (singles,
// then pairs and triples for "All variants", then the words before and after joined to the
// singles and pairs), then each base name with the chosen suffixes, then the suffix hacks.
// Names are joined as typed (Unicode keywords in Unicode) and each whole name is then put in its
// ASCII form ("xn--"), the form every check asks for; a joined Unicode name that is no domain
// name (a label too long, mixed writing directions) is left out. ASCII names pass as built.
// The two lists belong to the caller. Repeated names stay when only the keywords' combinations
// are asked for; with any of the further choices each name comes once, in its first place.
class CandidateGenerator {
public:
    CandidateGenerator(const SearchOptions &options, StringList &candidates, StringList &scratch)
        : options_(options), candidates_(candidates), scratch_(scratch) {}

    void BuildCandidates();

    void AddSingles(bool acronyms);
    void AddPairs(bool hyphen, bool acronyms);
    void AddTriples(bool hyphen, bool acronyms);
    // Each word before and after joined to each single and (for "All variants") each pair, first
    // without hyphens, then, with hyphens chosen, with them. Never to acronyms or triples, which
    // are short or long enough already. EAffixError for a word that is no label.
    void AddAffixed();
    // Replaces every base name by its suffixed forms, in the order .com, .net, .org, .biz, .us,
    // .info, .co.uk, then the more suffixes as listed (one already chosen is not repeated).
    // ESuffixError when the more suffixes hold a bad one.
    void AddSuffixes();
    // For each keyword and chosen suffix of at least two letters that the keyword ends with,
    // with at least one letter before them: the keyword split there ("fami.ly").
    void AddSuffixHacks();

private:
    void AddJoined(const StringList &parts, bool hyphen, bool acronyms);
    void AddAffixedTo(const StringList &parts, bool hyphen, const StringList &before,
                      const StringList &after);
    // Appends head.suffix in its ASCII form, unless head is longer than the limit.
    void AddSuffixed(const std::string &head, const std::string &suffix);

    const SearchOptions &options_;
    StringList &candidates_;
    StringList &scratch_;
};

} // namespace core
