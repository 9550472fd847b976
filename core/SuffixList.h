#pragma once

#include "base/Exception.h"

#include <string>
#include <vector>

namespace core {

// A suffix of the "More suffixes" list that is no domain suffix; the message names it.
class ESuffixError : public base::Exception {
public:
    using base::Exception::Exception;
};

// The suffixes of a comma-separated list ("io, dev, .Shop" gives io, dev, shop): lower-cased,
// without a leading dot, a Unicode one in its ASCII form ("рф" gives xn--p1ai), each label letters,
// digits and inner hyphens, and each a public suffix (one under which a registry hands out names;
// never a registrable name such as "example.com"). Empty entries are skipped; ESuffixError for any
// other that is no suffix.
std::vector<std::string> ReadSuffixList(const std::string &text);

} // namespace core
