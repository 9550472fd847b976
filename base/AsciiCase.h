#pragma once

#include <string>
#include <string_view>

// Letter-case helpers that fold only the ASCII letters A-Z and a-z; every other byte is kept.
namespace base {

constexpr char AsciiLowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char AsciiUpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
void AsciiLowerInPlace(std::string &text);

bool SameTextAscii(std::string_view a, std::string_view b);
// Byte-wise comparison after folding to lower case: negative, zero or positive.
int CompareTextAscii(std::string_view a, std::string_view b);

// 1-based position of needle in haystack ignoring ASCII case, 0 when absent.
std::size_t PosTextAscii(std::string_view needle, std::string_view haystack);

} // namespace base
