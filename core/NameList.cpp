#include "core/NameList.h"

#include "base/DomainNameLimits.h"
#include "base/Trim.h"
#include "registry/IdnaName.h"

#include <optional>

namespace core {
namespace {

// Room for a name with blanks and a comment around it; anything longer is no name.
constexpr std::size_t kLongestLine = 1024;
// The most of a bad line a message shows.
constexpr std::size_t kShownOfBadLine = 80;

bool IsLdh(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool IsLabel(std::string_view label) {
    if (label.empty() || label.size() > base::kLongestLabel)
        return false;
    if (label.front() == '-' || label.back() == '-')
        return false;
    for (char c : label)
        if (!IsLdh(c))
            return false;
    return true;
}

// A carriage return of a line ended the Windows way is a blank here.
std::string_view Trimmed(std::string_view line) {
    return base::TrimAnyOf(line, " \t\r");
}

// What a line of the list holds.
enum class LineKind { Skipped, Name, Bad };

// What a line holds, and for a name its ASCII form (a Unicode line's "xn--" form).
struct LineRead {
    LineKind kind = LineKind::Skipped;
    std::string name;
};

LineRead ReadLine(std::string_view line, std::string_view text) {
    if (text.empty() || text.front() == '#')
        return {};
    if (line.size() > kLongestLine)
        return {LineKind::Bad, {}};
    registry::AsciiName ascii = registry::ToAsciiName(text);
    if (!ascii || !IsDomainName(ascii.name))
        return {LineKind::Bad, {}};
    return {LineKind::Name, std::move(ascii.name)};
}

// The fault of a well-formed name that no registry hands out as it is; nothing for one it does.
// The fault shows the line as typed.
std::optional<BadName> NotRegistrable(std::string_view typed, std::string_view name,
                                      std::size_t line,
                                      const registry::PublicSuffixList &suffixes) {
    const auto registrable = suffixes.RegistrableName(name);
    if (!registrable)
        return BadName{line, typed, NameFault::PublicSuffix, {}};
    if (!suffixes.IsRegistrable(name))
        return BadName{line, typed, NameFault::BelowRegistrableName,
                       registry::ToUnicodeName(*registrable)};
    return std::nullopt;
}

// The line starting at position, without its line feed; position moves past it.
std::string_view TakeLine(std::string_view text, std::size_t &position) {
    const std::size_t end = std::min(text.find('\n', position), text.size());
    const std::string_view line = text.substr(position, end - position);
    position = end + 1;
    return line;
}

} // namespace

bool IsDomainName(std::string_view text) {
    if (text.empty() || text.size() > base::kLongestDomainName)
        return false;
    std::size_t labels = 0;
    std::size_t start = 0;
    for (;;) {
        const auto dot = text.find('.', start);
        if (!IsLabel(text.substr(start, dot - start)))
            return false;
        ++labels;
        if (dot == std::string_view::npos)
            return labels >= 2;
        start = dot + 1;
    }
}

NameList::NameList(std::string text) : text_(std::move(text)) {}

void NameList::Check(const std::function<void(const BadName &)> &badLine) {
    count_ = 0;
    std::size_t number = 0;
    for (std::size_t position = 0; position < text_.size();) {
        const std::string_view line = TakeLine(text_, position);
        ++number;
        const std::string_view text = Trimmed(line.substr(0, kLongestLine + 1));
        const LineRead read = ReadLine(line, text);
        switch (read.kind) {
        case LineKind::Skipped:
            break;
        case LineKind::Name:
            if (auto fault = NotRegistrable(text, read.name, number, suffixes_))
                badLine(*fault);
            else
                ++count_;
            break;
        case LineKind::Bad:
            badLine({number, text.substr(0, kShownOfBadLine), NameFault::NotAName, {}});
            break;
        }
    }
}

std::optional<std::string> NameList::NextName(std::size_t &position) const {
    while (position < text_.size()) {
        const std::string_view line = TakeLine(text_, position);
        LineRead read = ReadLine(line, Trimmed(line.substr(0, kLongestLine + 1)));
        if (read.kind == LineKind::Name && suffixes_.IsRegistrable(read.name))
            return std::move(read.name);
    }
    return std::nullopt;
}

std::optional<std::string> NameList::Next() {
    return NextName(next_);
}

} // namespace core
