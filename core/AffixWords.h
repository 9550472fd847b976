#pragma once

#include "base/Exception.h"

#include <string>
#include <vector>

// The words a search joins before or after its keywords ("get" + "fast", "fast" + "hq"): the
// user's own lists and a small built-in one. A word list is typed text (and stored as such), so
// it is read here, checked and bounded before any name is built from it.
namespace core {

class SearchOptions;

// A word of "Words before" or "Words after" that cannot be part of a domain name, or a list that
// is too long; the message names the word.
class EAffixError : public base::Exception {
public:
    using base::Exception::Exception;
};

// Each list holds at most this many words, so that a pasted text cannot make a run of millions.
inline constexpr std::size_t kMaxAffixWords = 32;

// The built-in words of "common words before and after".
extern const std::vector<std::string> kCommonWordsBefore;
extern const std::vector<std::string> kCommonWordsAfter;

// The words of a comma-separated list ("Get, try ,my" gives get, try, my): lower-cased as
// keywords are, empty entries skipped, repeats dropped. Each word must be one label's worth of
// letters, digits and inner hyphens (Unicode allowed where IDNA 2008 allows it); EAffixError
// otherwise, and for a list of more than kMaxAffixWords words.
std::vector<std::string> ReadAffixWords(const std::string &text);

// The words a search joins: the typed ones, then the built-in ones when chosen, each once.
struct AffixWords {
    std::vector<std::string> before;
    std::vector<std::string> after;

    bool Empty() const { return before.empty() && after.empty(); }
};
// EAffixError as ReadAffixWords.
AffixWords ChosenAffixWords(const SearchOptions &options);

} // namespace core
