#pragma once

#include <QString>

#include <string>
#include <string_view>

// Texts cross between the program's 8-bit strings and Qt here, and nowhere else.
namespace ui {

// A text that is valid UTF-8 as a whole is read as UTF-8; any other text (one written by a
// Windows program, say) is read byte by byte as Windows-1252.
QString ToQString(std::string_view bytes);
// Always UTF-8.
std::string ToStdString(const QString &text);

} // namespace ui
