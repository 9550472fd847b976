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

// Turns the keywords and the search options into the candidate list: base names first (singles,
// then pairs and triples for "All variants"), then each base name with the chosen suffixes.
// Names are joined as typed (Unicode keywords in Unicode) and each whole name is then put in its
// ASCII form ("xn--"), the form every check asks for; a joined Unicode name that is no domain
// name (a label too long, mixed writing directions) is left out. ASCII names pass as built.
// The two lists belong to the caller; repeated names stay.
class CandidateGenerator {
public:
    CandidateGenerator(const SearchOptions &options, StringList &candidates, StringList &scratch)
        : options_(options), candidates_(candidates), scratch_(scratch) {}

    void BuildCandidates();

    void AddSingles(bool acronyms);
    void AddPairs(bool hyphen, bool acronyms);
    void AddTriples(bool hyphen, bool acronyms);
    // Replaces every base name by its suffixed forms, in the order .com, .net, .org, .biz, .us,
    // .info, .co.uk, then the more suffixes as listed (one already chosen is not repeated).
    // ESuffixError when the more suffixes hold a bad one.
    void AddSuffixes();

private:
    void AddJoined(const StringList &parts, bool hyphen, bool acronyms);

    const SearchOptions &options_;
    StringList &candidates_;
    StringList &scratch_;
};

} // namespace core
