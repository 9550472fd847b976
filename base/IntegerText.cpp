#include "base/IntegerText.h"

#include "base/Exception.h"

namespace base {
namespace {

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// Strips a hex prefix when the form allows one; returns whether there was one.
bool TakeHexPrefix(std::string_view &digits, IntegerForm form) {
    if (form != IntegerForm::DecimalOrHex)
        return false;
    if (digits.starts_with('$')) {
        digits.remove_prefix(1);
        return true;
    }
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        return true;
    }
    return false;
}

std::optional<std::uint64_t> ReadMagnitude(std::string_view digits, int radix,
                                           std::uint64_t limit) {
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = radix == 16 ? HexDigitValue(c) : (IsDecimalDigit(c) ? c - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        value = value * radix + digit;
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::int32_t> TryReadInteger(std::string_view text, IntegerForm form) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    std::string_view rest = text.substr(start);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (TakeHexPrefix(rest, form)) {
        const auto magnitude = ReadMagnitude(rest, 16, 0xFFFFFFFFull);
        if (!magnitude)
            return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(*magnitude);
        const auto value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return value;
    }
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    const auto magnitude = ReadMagnitude(rest, 10, limit);
    if (!magnitude)
        return std::nullopt;
    const auto wide = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -wide : wide);
}

std::int32_t StrToInt(std::string_view text, IntegerForm form) {
    if (const auto value = TryReadInteger(text, form))
        return *value;
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback, IntegerForm form) {
    return TryReadInteger(text, form).value_or(fallback);
}

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

int HexDigitValue(char c) {
    if (IsDecimalDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace base
