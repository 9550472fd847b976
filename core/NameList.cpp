#include "core/NameList.h"

#include "base/DomainNameLimits.h"
#include "base/Trim.h"
#include "probes/PublicSuffixList.h"

#include <optional>

namespace core {
namespace {

// Room for a name with blanks and a comment around it; anything longer is no name.
constexpr std::size_t kLongestLine = 1024;

bool IsLdh(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool IsLabel(const std::string &label) {
    if (label.empty() || label.size() > base::kLongestLabel)
        return false;
    if (label.front() == '-' || label.back() == '-')
        return false;
    for (char c : label)
        if (!IsLdh(c))
            return false;
    return true;
}

// Reads up to the next line feed, keeping at most kLongestLine + 1 characters of the line.
bool ReadBoundedLine(std::istream &in, std::string &line) {
    line.clear();
    char c = 0;
    bool any = false;
    while (in.get(c)) {
        any = true;
        if (c == '\n')
            return true;
        if (line.size() <= kLongestLine)
            line += c;
    }
    return any;
}

// The fault of a well-formed name that no registry hands out as it is; nothing for one it does.
std::optional<BadName> NotRegistrable(const std::string &name, std::size_t line,
                                      const probes::PublicSuffixList &suffixes) {
    const auto registrable = suffixes.RegistrableName(name);
    if (!registrable)
        return BadName{line, name, NameFault::PublicSuffix, {}};
    if (!suffixes.IsRegistrable(name))
        return BadName{line, name, NameFault::BelowRegistrableName, *registrable};
    return std::nullopt;
}

} // namespace

bool IsDomainName(const std::string &text) {
    if (text.empty() || text.size() > base::kLongestDomainName)
        return false;
    std::size_t labels = 0;
    std::size_t start = 0;
    for (;;) {
        const auto dot = text.find('.', start);
        if (!IsLabel(text.substr(start, dot - start)))
            return false;
        ++labels;
        if (dot == std::string::npos)
            return labels >= 2;
        start = dot + 1;
    }
}

NameList ReadNameList(std::istream &in) {
    const probes::PublicSuffixList suffixes;
    NameList list;
    std::string line;
    for (std::size_t number = 1; ReadBoundedLine(in, line); ++number) {
        // A carriage return of a line ended the Windows way is a blank here.
        const std::string text(base::TrimAnyOf(line, " \t\r"));
        if (text.empty() || text.front() == '#')
            continue;
        if (line.size() > kLongestLine || !IsDomainName(text))
            list.bad.push_back({number, text.substr(0, 80), NameFault::NotAName, {}});
        else if (auto fault = NotRegistrable(text, number, suffixes))
            list.bad.push_back(std::move(*fault));
        else
            list.names.push_back(text);
    }
    return list;
}

} // namespace core
