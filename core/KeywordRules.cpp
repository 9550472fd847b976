#include "core/KeywordRules.h"

#include "base/AsciiCase.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <cstdio>

namespace core {
namespace {

// The keyword as a message shows it: a control character would break the line or steer a
// terminal, so it is written as \xHH.
std::string ShownKeyword(const std::string &keyword) {
    std::string shown;
    for (const char c : keyword) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
    }
    return shown;
}

} // namespace

std::string RefusedKeywordMessage(const std::string &keyword) {
    const registry::AsciiName mapped = registry::ToAsciiName(keyword);
    return "The keyword '" + ShownKeyword(keyword) + "' cannot be part of a domain name: it " +
           std::string(mapped ? "is no label" : mapped.fault) + ".";
}

std::string KeywordAsSearched(const std::string &keyword) {
    if (!registry::HasNonAscii(keyword))
        return base::AsciiLower(keyword);
    registry::AsciiName folded = registry::FoldUnicodeText(keyword);
    return folded ? std::move(folded.name) : keyword;
}

KeywordAdded AddKeyword(std::vector<std::string> &keywords, const std::string &keyword) {
    if (keyword.empty())
        return KeywordAdded::Ignored;
    if (keywords.size() >= kMaxKeywords)
        return KeywordAdded::TooMany;
    if (!registry::ToAsciiName(keyword))
        return KeywordAdded::Refused;
    const std::string searched = KeywordAsSearched(keyword);
    const bool repeated = std::any_of(keywords.begin(), keywords.end(), [&](const auto &entry) {
        return KeywordAsSearched(entry) == searched;
    });
    if (repeated)
        return KeywordAdded::Ignored;
    keywords.push_back(keyword);
    return KeywordAdded::Added;
}

void LowerKeywords(std::vector<std::string> &keywords) {
    for (std::string &keyword : keywords)
        keyword = KeywordAsSearched(keyword);
}

} // namespace core
