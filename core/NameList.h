#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace core {

// A domain name as a check takes it: labels of letters, digits and inner hyphens, 1 to 63
// characters each, at least two of them, 253 characters at most.
bool IsDomainName(const std::string &text);

// Why a line of a names list is not checked.
enum class NameFault {
    NotAName,
    // A host below a name a registry hands out ("www.example.com"): no registry answer speaks
    // for it, so it is refused rather than quietly replaced by the registrable name.
    BelowRegistrableName,
    // A suffix under which names are handed out ("co.uk"), itself no one's to register.
    PublicSuffix,
};

// A line of a names list that holds no usable name.
struct BadName {
    std::size_t line = 0; // from 1
    std::string text;
    NameFault fault = NameFault::NotAName;
    // For BelowRegistrableName: the name that could be checked instead.
    std::string registrable;
};

struct NameList {
    std::vector<std::string> names;
    std::vector<BadName> bad;
};

// One name a line, checked as given (blanks around it aside); blank lines and lines starting
// with "#" are skipped. A line longer than a name can be is bad without being kept whole; so is
// a name that is not itself a registrable name by the public suffixes.
NameList ReadNameList(std::istream &in);

} // namespace core
