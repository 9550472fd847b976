#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace core {

// A domain name as a check takes it: labels of letters, digits and inner hyphens, 1 to 63
// characters each, at least two of them, 253 characters at most.
bool IsDomainName(const std::string &text);

// A line of a names list that holds no usable name.
struct BadName {
    std::size_t line = 0; // from 1
    std::string text;
};

struct NameList {
    std::vector<std::string> names;
    std::vector<BadName> bad;
};

// One name a line, checked as given (blanks around it aside); blank lines and lines starting
// with "#" are skipped. A line longer than a name can be is bad without being kept whole.
NameList ReadNameList(std::istream &in);

} // namespace core
