#pragma once

#include <string>
#include <vector>

// The rules for the keywords of a search, shared by the keywords dialog and the terminal.
namespace core {

inline constexpr std::size_t kMaxKeywords = 3;
inline constexpr const char *kTooManyKeywords = "You have already typed in 3 keywords!";
inline constexpr const char *kNoKeyword = "Mistake: You did not enter any keyword!";

enum class KeywordAdded {
    Added,
    Ignored, // empty, or a repeat that differs at most in case
    TooMany, // the list is full (checked before the repeat)
    Refused, // Unicode that cannot be part of a domain name (RefusedKeywordMessage says why)
};

// Adds a keyword as typed. A keyword in Unicode must map to a domain name label (IDNA 2008,
// UTS #46); a repeat is one that a search would use in the same form.
KeywordAdded AddKeyword(std::vector<std::string> &keywords, const std::string &keyword);

// Why a keyword was refused, naming it (control characters shown as \xHH).
std::string RefusedKeywordMessage(const std::string &keyword);

// A keyword as a search uses it: ASCII lower-cased; Unicode case-folded and normalised by
// UTS #46 ("Bäcker" gives "bäcker"). A keyword that cannot be mapped stays as it is.
std::string KeywordAsSearched(const std::string &keyword);

// The keywords as a search uses them (KeywordAsSearched).
void LowerKeywords(std::vector<std::string> &keywords);

} // namespace core
