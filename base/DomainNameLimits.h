#pragma once

#include <cstddef>

// The lengths DNS allows (RFC 1035 section 2.3.4), for every place that reads or builds a name.
namespace base {

// A whole name written without its final dot.
inline constexpr std::size_t kLongestDomainName = 253;
// One label between dots.
inline constexpr std::size_t kLongestLabel = 63;

} // namespace base
