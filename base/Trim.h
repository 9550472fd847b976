#pragma once

#include <string_view>

// Trimming, in one place: which bytes count as blanks differs between the texts people type
// (spaces and tabs) and protocol lines, where every control byte is padding too.
namespace base {

// text without the spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);
// text without the bytes up to and including the space (controls and blanks) at either end.
std::string_view TrimControls(std::string_view text);
// The same at the start only.
std::string_view TrimControlsLeft(std::string_view text);
// text without any of the bytes of set at either end.
std::string_view TrimAnyOf(std::string_view text, std::string_view set);

} // namespace base
