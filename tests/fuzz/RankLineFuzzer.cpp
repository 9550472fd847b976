// Feeds arbitrary bytes to the rank files' line parser as one line of each kind. Every field it
// reads must stay inside the line; an entry must hold a name as the index stores it (lower case
// letters, digits, hyphens, underscores, dots between non-empty labels, at most 253 characters)
// and a position from 1. A crash, undefined behaviour, an escaping exception or an entry breaking
// those rules is a finding.
#include "rankindex/RankLineParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

bool IsStoredName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.back() == '.')
        return false;
    char previous = '\0';
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                            c == '_' || c == '.';
        if (!letter || (c == '.' && previous == '.'))
            return false;
        previous = c;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // A copy of the exact size, so that the sanitizer sees a read past the end.
    const std::vector<char> bytes(data, data + size);
    const std::string_view line(bytes.data(), bytes.size());
    for (const auto kind : {rankindex::RankKind::WebGraph, rankindex::RankKind::RankList}) {
        rankindex::RankLineParser parser(kind);
        const rankindex::RankLine parsed = parser.Parse(line, 1 + size % 3);
        if (parsed.type != rankindex::RankLine::Type::Entry)
            continue;
        if (!IsStoredName(parsed.name) || parsed.position == 0)
            std::abort();
    }
    return 0;
}
