#pragma once

#include <string>
#include <string_view>

// Texts are 8-bit byte strings. Where they meet the outside world as Unicode they are read as
// UTF-8 when they are valid UTF-8, and otherwise as Windows-1252 (results files written on
// Windows).
namespace base {

bool IsValidUtf8(std::string_view bytes);
// Each byte as its Windows-1252 character, in UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);
// bytes itself when it is valid UTF-8, else its Windows-1252 reading.
std::string DisplayUtf8(std::string_view bytes);

} // namespace base
