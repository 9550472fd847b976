#include "rankindex/RankLineParser.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "base/Trim.h"

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

// A count known to be one, held to 32 bits.
std::uint32_t ClampedCount(std::string_view text) {
    std::uint64_t count = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error == std::errc::result_out_of_range || count > 0xFFFFFFFFu)
        return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(count);
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

char LowerNameCharacter(char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
        return c;
    return '\0';
}

// The tab-separated fields of a line when there are exactly N of them.
template <std::size_t N>
bool SplitFields(std::string_view line, std::array<std::string_view, N> &fields) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t tab = line.find('\t');
        if ((tab == std::string_view::npos) != (i == N - 1))
            return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
    }
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
        !IsDecimal(fields[1]) || !IsCount(fields[2]) || !IsDecimal(fields[3]) ||
        !IsCount(fields[5]) || !TakeName(fields[4], false))
        return Line(RankLine::Type::Malformed);
    result.type = RankLine::Type::Entry;
    result.name = name_;
    result.pageRankPosition = ClampedCount(fields[2]);
    result.hosts = ClampedCount(fields[5]);
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
