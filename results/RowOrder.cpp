#include "results/RowOrder.h"

#include "base/AsciiCase.h"
#include "base/Trim.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace results {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    return at;
}

// The span of a number in text when the whole text is one (spaces around it aside), without a
// leading "+"; nothing otherwise.
std::optional<std::string_view> NumberSpan(std::string_view text, char separator) {
    // Only spaces: a tab around a number makes it text.
    text = base::TrimAnyOf(text, " ");
    if (text.empty())
        return std::nullopt;
    const std::size_t start = text.front() == '+' ? 1 : 0;
    std::size_t at = 0;
    if (text[at] == '+' || text[at] == '-')
        ++at;
    const std::size_t integerEnd = SkipDigits(text, at);
    std::size_t digits = integerEnd - at;
    at = integerEnd;
    if (at < text.size() && text[at] == separator) {
        const std::size_t fractionEnd = SkipDigits(text, at + 1);
        digits += fractionEnd - at - 1;
        at = fractionEnd;
    }
    if (digits == 0)
        return std::nullopt;
    if (at < text.size() && (text[at] == 'E' || text[at] == 'e')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponentEnd = SkipDigits(text, at);
        if (exponentEnd == at)
            return std::nullopt;
        at = exponentEnd;
    }
    if (at != text.size())
        return std::nullopt;
    return text.substr(start);
}

// from_chars leaves the value alone on overflow and underflow; the C library reports them as
// infinity and zero, which is what such a cell means to the sort.
double OutOfRangeValue(const std::string &number) {
    static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return ::strtod_l(number.c_str(), nullptr, classic);
}

} // namespace

int CompareCellText(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(base::AsciiUpperChar(a[i]));
        const auto cb = static_cast<unsigned char>(base::AsciiUpperChar(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<double> CellNumber(std::string_view text, char decimalSeparator) {
    const std::optional<std::string_view> span = NumberSpan(text, decimalSeparator);
    if (!span)
        return std::nullopt;
    std::string copy;
    std::string_view number = *span;
    if (decimalSeparator != '.' && number.find(decimalSeparator) != std::string_view::npos) {
        copy.assign(number);
        copy[copy.find(decimalSeparator)] = '.';
        number = copy;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range)
        return OutOfRangeValue(std::string(number));
    if (error != std::errc() || end != number.data() + number.size())
        return std::nullopt;
    return value;
}

char LocaleDecimalSeparator() {
    const std::lconv *conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr)
        return '.';
    const char *point = conventions->decimal_point;
    if (point[0] == '\0' || point[1] != '\0')
        return '.';
    return point[0];
}

int CompareRows(const ResultRow &row1, const ResultRow &row2, int column, const Columns &columns,
                char decimalSeparator) {
    if (!columns.Has(column))
        return 0;
    const std::optional<std::string_view> cell1 = row1.Cell(column);
    const std::optional<std::string_view> cell2 = row2.Cell(column);
    if (!cell1 || !cell2)
        return 0;
    const Ordering ordering = columns.At(column).ordering;
    if (ordering == Ordering::TextDescending)
        return CompareCellText(*cell2, *cell1);
    if (ordering == Ordering::TextAscending)
        return CompareCellText(*cell1, *cell2);
    const std::optional<double> number1 = CellNumber(*cell1, decimalSeparator);
    const std::optional<double> number2 = CellNumber(*cell2, decimalSeparator);
    if (!number1 || !number2)
        return 0;
    return CompareNumbers(*number1, *number2);
}

} // namespace results
