#pragma once

#include <string>
#include <string_view>

// Internationalised domain names: a name typed in Unicode ("bäcker.com") is asked of every
// registry and name server in its ASCII form ("xn--bcker-gra.com"), mapped by IDNA 2008 with the
// UTS #46 rules through libidn2 (non-transitional, so "ß" stays "ß"; NFC; upper case folded).
// A text that is pure ASCII is never mapped here: the rules for ASCII names stay those of the
// callers, so nothing that worked before changes its spelling. It sits beside the public
// suffixes, the layer of domain-name rules that the keyword rules, the names list, the window
// and the terminal all reach; a mapping costs a libidn2 call and an allocation, made only for
// text with a byte outside ASCII or an "xn--" label.
namespace registry {

// A text mapped to its ASCII form, or why it cannot be one.
struct AsciiName {
    std::string name;       // the ASCII form; empty when refused
    std::string_view fault; // empty when mapped; else a few words on why not (static text)

    explicit operator bool() const { return fault.empty(); }
};

// Whether text holds a byte outside ASCII.
bool HasNonAscii(std::string_view text);

// The ASCII form of a domain name or label in Unicode (UTF-8): each label its "xn--" form
// where it needs one, every label of the result letters, digits and hyphens. ASCII text comes
// back as given. A text that is no valid UTF-8, or that IDNA 2008 does not allow (a disallowed
// character, a leading or trailing hyphen, mixed writing directions, a blank), is refused.
AsciiName ToAsciiName(std::string_view text);

// The Unicode form of a name in ASCII ("xn--bcker-gra.com" gives "bäcker.com"), lower-case, for
// people to read; a name with no "xn--" label, or one whose labels do not decode, comes back as
// given.
std::string ToUnicodeName(std::string_view name);

// A Unicode keyword as a search uses it: its UTS #46 form in Unicode ("Bäcker" gives
// "bäcker"); ASCII keywords come back as given. Refused as ToAsciiName refuses.
AsciiName FoldUnicodeText(std::string_view text);

} // namespace registry
