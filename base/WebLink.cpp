#include "base/WebLink.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <array>

namespace base {
namespace {

bool HasBlankOrControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

// The part after "scheme://", when the scheme is one of the web's own.
std::string_view AfterWebScheme(std::string_view text) {
    constexpr std::array<std::string_view, 2> kPrefixes{"https://", "http://"};
    for (const std::string_view prefix : kPrefixes)
        if (text.size() > prefix.size() &&
            AsciiLower(std::string(text.substr(0, prefix.size()))) == prefix)
            return text.substr(prefix.size());
    return {};
}

} // namespace

bool IsWebLink(std::string_view text) {
    if (HasBlankOrControl(text))
        return false;
    const std::string_view rest = AfterWebScheme(text);
    // A host must follow: "https:///x" or "https://?" names none.
    return !rest.empty() && rest.front() != '/' && rest.front() != '?' && rest.front() != '#';
}

} // namespace base
