#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading whole texts as 32-bit integers: optional leading blanks, an optional sign, then digits
// and nothing else. Where hexadecimal is allowed, "$", "0x" or "0X" introduces hex digits, and
// values up to FFFFFFFF read as their 32-bit two's-complement value.
namespace base {

enum class IntegerForm { Decimal, DecimalOrHex };

std::optional<std::int32_t> TryReadInteger(std::string_view text,
                                           IntegerForm form = IntegerForm::DecimalOrHex);

// As TryReadInteger; a text that is not an integer raises EConvertError with
// "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text, IntegerForm form = IntegerForm::DecimalOrHex);

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback,
                         IntegerForm form = IntegerForm::DecimalOrHex);

std::string IntToStr(std::int64_t value);

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

} // namespace base
