#include "rankindex/RankLineParser.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "base/Trim.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace rankindex {
namespace {

bool ReadPosition(std::string_view text, std::uint32_t &position) {
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, position);
    return error == std::errc() && stop == end && position > 0;
}

bool IsCount(std::string_view text) {
    std::uint64_t count = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, count);
    return error == std::errc() && stop == end;
}

// A label's characters in lower case; 0 for any other byte.
constexpr std::array<char, 256> kLowerNameCharacters = [] {
    std::array<char, 256> lower{};
    for (unsigned c = 0; c < 256; ++c) {
        if (c >= 'A' && c <= 'Z')
            lower[c] = static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            lower[c] = static_cast<char>(c);
    }
    return lower;
}();

char LowerNameCharacter(char c) {
    return kLowerNameCharacters[static_cast<unsigned char>(c)];
}

// What each byte may be in a web graph line's fields, so that one table look-up checks it.
enum ByteClass : std::uint8_t {
    kDigit = 1,
    kDecimalMark = 2, // in a centrality or page-rank value as the graph prints it (3.25E7, 0.0012)
    kLabelCharacter = 4,
    kUpperCase = 8,
    kDot = 16,
};

constexpr std::array<std::uint8_t, 256> kByteClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (unsigned c = 0; c < 256; ++c) {
        std::uint8_t of = 0;
        if (c >= '0' && c <= '9')
            of |= kDigit | kDecimalMark | kLabelCharacter;
        if (c == '.' || c == 'E' || c == 'e' || c == '-' || c == '+')
            of |= kDecimalMark;
        if ((c >= 'a' && c <= 'z') || c == '-' || c == '_')
            of |= kLabelCharacter;
        if (c >= 'A' && c <= 'Z')
            of |= kLabelCharacter | kUpperCase;
        if (c == '.')
            of |= kDot;
        classes[c] = of;
    }
    return classes;
}();

std::uint8_t ClassOf(char c) {
    return kByteClasses[static_cast<unsigned char>(c)];
}

// Reads the digits at at into value, stopping at the first other byte; false when there are none
// or they make 2^64 or more.
bool TakeCount(const char *&at, const char *end, std::uint64_t &value) {
    const char *const start = at;
    value = 0;
    for (; at != end && (ClassOf(*at) & kDigit) != 0; ++at) {
        if (__builtin_mul_overflow(value, 10u, &value) ||
            __builtin_add_overflow(value, static_cast<unsigned>(*at - '0'), &value))
            return false;
    }
    return at != start;
}

// Steps over a value whose form only is checked; false when it is empty.
bool SkipDecimal(const char *&at, const char *end) {
    const char *const start = at;
    while (at != end && (ClassOf(*at) & kDecimalMark) != 0)
        ++at;
    return at != start;
}

// Steps over the tab that ends a field; false when the field ended any other way.
bool TakeTab(const char *&at, const char *end) {
    if (at == end || *at != '\t')
        return false;
    ++at;
    return true;
}

std::uint32_t Clamped(std::uint64_t count) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, 0xFFFFFFFFu));
}

RankLine Line(RankLine::Type type) {
    RankLine line;
    line.type = type;
    return line;
}

} // namespace

const char *RankKindName(RankKind kind) {
    return kind == RankKind::WebGraph ? "web graph" : "rank list";
}

RankLine RankLineParser::Parse(std::string_view line, std::uint64_t lineNumber) {
    if (line.starts_with('#'))
        return Line(RankLine::Type::Header);
    if (base::TrimBlanks(line).empty())
        return Line(RankLine::Type::Blank);
    return kind_ == RankKind::WebGraph ? ParseWebGraph(line) : ParseRankList(line, lineNumber);
}

// One pass over the line, each byte checked by a table look-up as it is passed: the numbers are
// read on the way, the value fields only checked for their form.
RankLine RankLineParser::ParseWebGraph(std::string_view line) {
    const char *at = line.data();
    const char *const end = at + line.size();
    RankLine result;
    std::uint64_t position = 0;
    std::uint64_t pageRankPosition = 0;
    std::uint64_t hosts = 0;
    if (!TakeCount(at, end, position) || position == 0 || position > 0xFFFFFFFFu ||
        !TakeTab(at, end) || !SkipDecimal(at, end) || !TakeTab(at, end) ||
        !TakeCount(at, end, pageRankPosition) || !TakeTab(at, end) || !SkipDecimal(at, end) ||
        !TakeTab(at, end) || !TakeStoredName(at, end, result.name) || !TakeTab(at, end) ||
        !TakeCount(at, end, hosts) || at != end)
        return Line(RankLine::Type::Malformed);
    result.type = RankLine::Type::Entry;
    result.position = static_cast<std::uint32_t>(position);
    result.pageRankPosition = Clamped(pageRankPosition);
    result.hosts = Clamped(hosts);
    return result;
}

RankLine RankLineParser::ParseRankList(std::string_view line, std::uint64_t lineNumber) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return Line(RankLine::Type::Malformed);
    RankLine result;
    if (!ReadPosition(base::TrimBlanks(line.substr(0, comma)), result.position)) {
        const bool columnNames =
            lineNumber == 1 && !IsCount(base::TrimBlanks(line.substr(0, comma)));
        return Line(columnNames ? RankLine::Type::Header : RankLine::Type::Malformed);
    }
    if (!TakeName(base::TrimBlanks(line.substr(comma + 1)), true))
        return Line(RankLine::Type::Malformed);
    result.type = RankLine::Type::Entry;
    result.name = name_;
    return result;
}

// Takes the name at at, in the stored order, up to the first byte that cannot be in one; false
// when it is no name. One final dot (the root) is allowed and dropped. The name is the line's own
// text unless it has capitals, which are lowered in a copy in name_.
bool RankLineParser::TakeStoredName(const char *&at, const char *end, std::string_view &name) {
    const char *const start = at;
    std::uint8_t seen = 0;
    // Without a branch on the dots, which come anywhere: an empty label is a dot after a dot, or
    // first (a name starts a label).
    std::uint8_t dotBefore = kDot;
    std::uint8_t emptyLabel = 0;
    for (; at != end; ++at) {
        const std::uint8_t of = ClassOf(*at);
        if ((of & (kLabelCharacter | kDot)) == 0)
            break;
        const auto dot = static_cast<std::uint8_t>(of & kDot);
        emptyLabel |= dot & dotBefore;
        dotBefore = dot;
        seen |= of;
    }
    if (emptyLabel != 0)
        return false;
    std::size_t size = static_cast<std::size_t>(at - start);
    if (size > 0 && start[size - 1] == '.')
        --size;
    if (size == 0 || size > base::kLongestDomainName)
        return false;
    if ((seen & kUpperCase) == 0) {
        name = std::string_view(start, size);
        return true;
    }
    name_.resize(size);
    for (std::size_t i = 0; i < size; ++i)
        name_[i] = start[i] == '.' ? '.' : LowerNameCharacter(start[i]);
    name = name_;
    return true;
}

// Copies the name into name_ in lower case, its labels in turned-round order when turn; false when
// it is no name. One final dot (the root) is allowed and dropped.
bool RankLineParser::TakeName(std::string_view name, bool turn) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    const std::size_t size = name.size();
    if (size == 0 || size > base::kLongestDomainName)
        return false;
    name_.resize(size);
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && name[i] != '.')
            continue;
        if (i == labelStart)
            return false; // an empty label
        // The label [labelStart, i) lands at [size - i, size - labelStart) when reversed.
        const std::size_t to = turn ? size - i : labelStart;
        for (std::size_t k = 0; k < i - labelStart; ++k) {
            const char lower = LowerNameCharacter(name[labelStart + k]);
            if (lower == '\0')
                return false;
            name_[to + k] = lower;
        }
        if (i < size)
            name_[turn ? size - 1 - i : i] = '.';
        labelStart = i + 1;
    }
    return true;
}

} // namespace rankindex
