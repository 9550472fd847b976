#include "base/Trim.h"

namespace base {
namespace {

bool IsControlOrBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string_view TrimAnyOf(std::string_view text, std::string_view set) {
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(set) - first + 1);
}

std::string_view TrimBlanks(std::string_view text) {
    return TrimAnyOf(text, " \t");
}

std::string_view TrimControlsLeft(std::string_view text) {
    while (!text.empty() && IsControlOrBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimControls(std::string_view text) {
    text = TrimControlsLeft(text);
    while (!text.empty() && IsControlOrBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace base
