#pragma once

#include <string>

namespace probes {

// Up to 10 characters after the first "." of name; "" when there is no dot or nothing after it.
std::string ExtractSuffix(const std::string &name);
std::string ReverseText(const std::string &text);

} // namespace probes
