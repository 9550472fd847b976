// Feeds arbitrary bytes (a names-list line, a keyword, a cell of a results file) to the mapping
// of Unicode names. A mapped name must be letters, digits, hyphens and dots and map to itself; a
// name shown in Unicode must map back to the name it was shown for. Anything else (a crash,
// undefined behaviour, a broken promise) is a finding.
#include "base/AsciiCase.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool IsLdhOrDot(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const registry::AsciiName mapped = registry::ToAsciiName(text);
    if (mapped && registry::HasNonAscii(text)) {
        if (!std::all_of(mapped.name.begin(), mapped.name.end(), IsLdhOrDot))
            std::abort();
        if (registry::ToAsciiName(mapped.name).name != mapped.name)
            std::abort();
    }
    const std::string shown = registry::ToUnicodeName(text);
    if (shown != text) {
        const registry::AsciiName back = registry::ToAsciiName(shown);
        if (!back || back.name != base::AsciiLower(text))
            std::abort();
    }
    registry::FoldUnicodeText(text);
    return 0;
}
