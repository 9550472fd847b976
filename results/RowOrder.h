#pragma once

#include "results/Columns.h"
#include "results/ResultRow.h"

#include <optional>
#include <string_view>

// The ordering rules of the result list's columns.
namespace results {

// Byte by byte after folding a-z to A-Z, unsigned; a prefix comes first. -1, 0 or 1.
int CompareCellText(std::string_view a, std::string_view b);

// The cell's whole text as a decimal number: leading and trailing spaces, an optional sign, at
// least one digit before or after the decimal separator, an optional exponent after E or e.
// Nothing for any other text. Values beyond the range of double read as infinite (or zero).
std::optional<double> CellNumber(std::string_view text, char decimalSeparator);

// The sign of a - b rounded to the nearest whole number (halves to even): values closer than
// one half, or exactly one half apart, compare equal.
inline int CompareNumbers(double a, double b) {
    const double difference = a - b;
    return (difference > 0.5) - (difference < -0.5);
}

// The current C locale's decimal separator; "." where the locale's is not a single byte.
char LocaleDecimalSeparator();

// Two rows by the ordering rule of column (see Columns). Anything that cannot be compared (a
// missing sub-item, a cell that is no number, an unknown column) compares equal.
int CompareRows(const ResultRow &row1, const ResultRow &row2, int column, const Columns &columns,
                char decimalSeparator);

} // namespace results
