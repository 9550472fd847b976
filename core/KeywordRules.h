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
};

KeywordAdded AddKeyword(std::vector<std::string> &keywords, const std::string &keyword);

// The keywords as a search uses them: lower-cased (ASCII).
void LowerKeywords(std::vector<std::string> &keywords);

} // namespace core
