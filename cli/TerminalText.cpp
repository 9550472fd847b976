#include "cli/TerminalText.h"

#include "base/TextEncoding.h"

namespace cli {
namespace {

bool IsC1Control(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]) == 0xC2 && at + 1 < text.size() &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

void AppendHexEscape(std::string &out, const char *prefix, unsigned char code) {
    static const char digits[] = "0123456789abcdef";
    out += prefix;
    out += digits[code >> 4];
    out += digits[code & 15];
}

} // namespace

std::string TerminalText(std::string_view text) {
    const std::string readable = base::DisplayUtf8(text);
    std::string shown;
    shown.reserve(readable.size());
    for (std::size_t i = 0; i < readable.size(); ++i) {
        const auto byte = static_cast<unsigned char>(readable[i]);
        if (byte < 0x20 || byte == 0x7F)
            AppendHexEscape(shown, "\\x", byte);
        else if (IsC1Control(readable, i))
            AppendHexEscape(shown, "\\u00", static_cast<unsigned char>(readable[++i]));
        else
            shown += readable[i];
    }
    return shown;
}

} // namespace cli
