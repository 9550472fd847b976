#include "core/KeywordRules.h"

#include "base/AsciiCase.h"

#include <algorithm>

namespace core {

KeywordAdded AddKeyword(std::vector<std::string> &keywords, const std::string &keyword) {
    if (keyword.empty())
        return KeywordAdded::Ignored;
    if (keywords.size() >= kMaxKeywords)
        return KeywordAdded::TooMany;
    const bool repeated = std::any_of(keywords.begin(), keywords.end(), [&](const auto &entry) {
        return base::SameTextAscii(entry, keyword);
    });
    if (repeated)
        return KeywordAdded::Ignored;
    keywords.push_back(keyword);
    return KeywordAdded::Added;
}

void LowerKeywords(std::vector<std::string> &keywords) {
    for (std::string &keyword : keywords)
        base::AsciiLowerInPlace(keyword);
}

} // namespace core
