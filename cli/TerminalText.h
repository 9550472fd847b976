#pragma once

#include <string>
#include <string_view>

namespace cli {

// Text from outside (a cell, a file name, a line of a names list) as it may reach a terminal:
// readable, on one line, and with no byte that can steer the terminal. Bytes that are not UTF-8
// read as Windows-1252; C0 controls and DEL show as \xHH, C1 controls (also where a Windows-1252
// byte reads as one) as \u00HH. Every row and message nimbrel-cli shows passes through here.
std::string TerminalText(std::string_view text);

} // namespace cli
