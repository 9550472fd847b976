#include "registry/IdnaName.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <idn2.h>
#include <memory>

namespace registry {
namespace {

struct FreeIdn2 {
    void operator()(char *text) const { idn2_free(text); }
};
using Idn2Text = std::unique_ptr<char, FreeIdn2>;

// libidn2 reads zero-ended texts: a text with a zero byte in it is no name.
bool HasZeroByte(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

bool IsLdhOrDot(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

// The words of a refusal, from libidn2's code; its own texts name the rule, not the fault.
std::string_view FaultOf(int code) {
    switch (code) {
    case IDN2_ENCODING_ERROR:
        return "is not valid UTF-8";
    case IDN2_TOO_BIG_DOMAIN:
    case IDN2_TOO_BIG_LABEL:
        return "is too long for a domain name";
    case IDN2_HYPHEN_STARTEND:
        return "starts or ends with a hyphen";
    case IDN2_BIDI:
        return "mixes writing directions in a way a domain name may not";
    case IDN2_LEADING_COMBINING:
        return "starts with a combining mark";
    default:
        return "holds a character that a domain name cannot have";
    }
}

} // namespace

bool HasNonAscii(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

AsciiName ToAsciiName(std::string_view text) {
    if (!HasNonAscii(text))
        return {std::string(text), {}};
    if (HasZeroByte(text))
        return {{}, FaultOf(IDN2_ENCODING_ERROR)};
    char *mapped = nullptr;
    // Without the STD3 flag: libidn2 2.3 drops the characters that flag disallows instead of
    // refusing them ("ü b" would become "üb"), so the result's letters are checked below.
    const int code =
        idn2_to_ascii_8z(std::string(text).c_str(), &mapped, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
    const Idn2Text owned(mapped);
    if (code != IDN2_OK)
        return {{}, FaultOf(code)};
    std::string name(owned.get());
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsLdhOrDot))
        return {{}, FaultOf(IDN2_DISALLOWED)};
    return {std::move(name), {}};
}

std::string ToUnicodeName(std::string_view name) {
    const std::string text(name);
    // Decoding keeps the case of the ASCII letters; the names people read are lower-case.
    const std::string lower = base::AsciiLower(name);
    const bool encoded = lower.rfind("xn--", 0) == 0 || lower.find(".xn--") != std::string::npos;
    if (!encoded || HasZeroByte(name) || HasNonAscii(name))
        return text;
    char *decoded = nullptr;
    const int code = idn2_to_unicode_8z8z(lower.c_str(), &decoded, 0);
    const Idn2Text owned(decoded);
    if (code != IDN2_OK || !owned)
        return text;
    // Only a form that maps back to the same name is shown: punycode can spell any code point,
    // controls and look-alike dots included, which must not pass for a readable name.
    std::string shown(owned.get());
    const AsciiName back = ToAsciiName(shown);
    if (!back || back.name != lower)
        return text;
    return shown;
}

AsciiName FoldUnicodeText(std::string_view text) {
    AsciiName mapped = ToAsciiName(text);
    if (mapped && HasNonAscii(text))
        mapped.name = ToUnicodeName(mapped.name);
    return mapped;
}

} // namespace registry
