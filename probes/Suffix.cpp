#include "probes/Suffix.h"

#include <string>

namespace probes {
namespace {

constexpr std::size_t kLongestSuffix = 10;

} // namespace

std::string ReverseText(const std::string &text) {
    return std::string(text.rbegin(), text.rend());
}

std::string ExtractSuffix(const std::string &name) {
    // Summing the dot positions of the reversed name gives the distance of the first dot from
    // the end, so the copy starts right after that dot.
    std::string reversed = ReverseText(name);
    std::size_t sum = 0;
    for (auto dot = reversed.find('.'); dot != std::string::npos; dot = reversed.find('.')) {
        sum += dot + 1;
        reversed.erase(0, dot + 1);
    }
    const std::size_t start = name.size() - sum + 1; // 0-based form of L - S + 2
    if (start >= name.size())
        return {};
    return name.substr(start, kLongestSuffix);
}

} // namespace probes
