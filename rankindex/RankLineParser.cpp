#include "rankindex/RankLineParser.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "base/Trim.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

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

// A count (digits only, below 2^64) held to 32 bits; false when the text is no such count.
bool ReadClampedCount(std::string_view text, std::uint32_t &count) {
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || __builtin_mul_overflow(value, 10u, &value) ||
            __builtin_add_overflow(value, static_cast<unsigned>(c - '0'), &value))
            return false;
    }
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    return true;
}

// A centrality or page-rank value as the graph prints it (3.25E7, 0.0012); only its form is
// checked, the value is not used.
bool IsDecimal(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'E' || c == 'e' || c == '-' || c == '+'))
            return false;
    }
    return true;
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

// The tab-separated fields of a line when there are exactly N of them, in one pass over its
// short text rather than a search per field: eight bytes at a time, each tab found by a test for
// a zero byte that has no false positives.
template <std::size_t N>
bool SplitFields(std::string_view line, std::array<std::string_view, N> &fields) {
    std::size_t field = 0;
    std::size_t start = 0;
    const auto tabAt = [&](std::size_t at) {
        if (field == N - 1)
            return false;
        fields[field++] = line.substr(start, at - start);
        start = at + 1;
        return true;
    };
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLows = 0x7F7F7F7F7F7F7F7Fu;
        constexpr std::uint64_t kTabs = 0x0909090909090909u;
        for (; i + 8 <= line.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, line.data() + i, sizeof word);
            const std::uint64_t x = word ^ kTabs;
            // The high bit of each byte of x that is zero, that is of each tab.
            for (std::uint64_t tabs = ~(((x & kLows) + kLows) | x | kLows); tabs != 0;
                 tabs &= tabs - 1) {
                if (!tabAt(i + static_cast<std::size_t>(std::countr_zero(tabs)) / 8))
                    return false;
            }
        }
    }
    for (; i < line.size(); ++i) {
        if (line[i] == '\t' && !tabAt(i))
            return false;
    }
    if (field != N - 1)
        return false;
    fields[field] = line.substr(start);
    return true;
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

RankLine RankLineParser::ParseWebGraph(std::string_view line) {
    std::array<std::string_view, 6> fields;
    RankLine result;
    if (!SplitFields(line, fields) || !ReadPosition(fields[0], result.position) ||
        !IsDecimal(fields[1]) || !ReadClampedCount(fields[2], result.pageRankPosition) ||
        !IsDecimal(fields[3]) || !ReadClampedCount(fields[5], result.hosts) ||
        !TakeStoredName(fields[4]))
        return Line(RankLine::Type::Malformed);
    result.type = RankLine::Type::Entry;
    result.name = name_;
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

// Copies a name given in the stored order into name_ in lower case; false when it is no name. One
// final dot (the root) is allowed and dropped. The web graph's names, one a line, come this way:
// one pass, a table look-up a byte.
bool RankLineParser::TakeStoredName(std::string_view name) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    const std::size_t size = name.size();
    if (size == 0 || size > base::kLongestDomainName)
        return false;
    name_.resize(size);
    char *out = name_.data();
    bool labelEmpty = true;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = name[i];
        if (c == '.') {
            if (labelEmpty)
                return false;
            labelEmpty = true;
            out[i] = '.';
            continue;
        }
        const char lower = LowerNameCharacter(c);
        if (lower == '\0')
            return false;
        out[i] = lower;
        labelEmpty = false;
    }
    return !labelEmpty;
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
