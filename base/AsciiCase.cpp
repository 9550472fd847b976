#include "base/AsciiCase.h"

#include <algorithm>

namespace base {

std::string AsciiLower(std::string_view text) {
    std::string result(text);
    AsciiLowerInPlace(result);
    return result;
}

std::string AsciiUpper(std::string_view text) {
    std::string result(text);
    for (char &c : result)
        c = AsciiUpperChar(c);
    return result;
}

void AsciiLowerInPlace(std::string &text) {
    for (char &c : text)
        c = AsciiLowerChar(c);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(AsciiLowerChar(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiLowerChar(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::size_t PosTextAscii(std::string_view needle, std::string_view haystack) {
    if (needle.empty() || needle.size() > haystack.size())
        return 0;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        if (SameTextAscii(needle, haystack.substr(start, needle.size())))
            return start + 1;
    }
    return 0;
}

} // namespace base
