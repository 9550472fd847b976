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

// A count of up to 64 bits, held to 32; false when the text is no such count.
bool ReadCount(std::string_view text, std::uint32_t &count) {
    std::uint64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end)
        return false;
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    return true;
}

// The bytes a centrality or page-rank value is written with (3.25E7, 0.0012).
constexpr std::array<bool, 256> DecimalCharacters() {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("0123456789.Ee-+"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kDecimalCharacters = DecimalCharacters();

// A centrality or page-rank value as the graph prints it; only its form is checked, the value is
// not used.
bool IsDecimal(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        if (!kDecimalCharacters[static_cast<unsigned char>(c)])
            return false;
    }
    return true;
}

// Each byte as a name keeps it (lower case), or 0 for a byte no name holds: one look-up a byte
// instead of a chain of ranges, on every name of a file of a hundred million lines.
constexpr std::array<char, 256> NameCharacters() {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (c >= 'A' && c <= 'Z')
            table[c] = static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            table[c] = static_cast<char>(c);
    }
    return table;
}
constexpr std::array<char, 256> kNameCharacters = NameCharacters();

char LowerNameCharacter(char c) {
    return kNameCharacters[static_cast<unsigned char>(c)];
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
        !IsDecimal(fields[1]) || !ReadCount(fields[2], result.pageRankPosition) ||
        !IsDecimal(fields[3]) || !ReadCount(fields[5], result.hosts) ||
        !TakeName(fields[4], false))
        return Line(RankLine::Type::Malformed);
    result.type = RankLine::Type::Entry;
    result.storedName = name_;
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
    result.storedName = name_;
    return result;
}

// Copies the name into name_ in lower case, its labels turned round when asked (a rank list's
// example.com is stored as com.example; the web graph gives that order already); false when it is
// no name. One final dot (the root) is allowed and dropped.
bool RankLineParser::TakeName(std::string_view name, bool turnLabels) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    const std::size_t size = name.size();
    if (size == 0 || size > base::kLongestDomainName)
        return false;
    name_.resize(size);
    return turnLabels ? CopyTurned(name) : CopyInOrder(name);
}

// One pass, byte for byte: the web graph's hundred million names come this way.
bool RankLineParser::CopyInOrder(std::string_view name) {
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '.') {
            if (i == labelStart)
                return false; // an empty label
            name_[i] = '.';
            labelStart = i + 1;
            continue;
        }
        const char lower = LowerNameCharacter(name[i]);
        if (lower == '\0')
            return false;
        name_[i] = lower;
    }
    return labelStart < name.size();
}

bool RankLineParser::CopyTurned(std::string_view name) {
    const std::size_t size = name.size();
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && name[i] != '.')
            continue;
        if (i == labelStart)
            return false; // an empty label
        // The label [labelStart, i) lands at [size - i, size - labelStart).
        for (std::size_t k = 0; k < i - labelStart; ++k) {
            const char lower = LowerNameCharacter(name[labelStart + k]);
            if (lower == '\0')
                return false;
            name_[size - i + k] = lower;
        }
        if (i < size)
            name_[size - 1 - i] = '.';
        labelStart = i + 1;
    }
    return true;
}

} // namespace rankindex
