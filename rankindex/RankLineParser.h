#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rankindex {

// The two kinds of rank data that can be imported.
enum class RankKind : std::uint32_t {
    // The web graph's domain ranks: tab-separated "#harmonicc_pos #harmonicc_val #pr_pos #pr_val
    // #host_rev #n_hosts", the name reversed (com.example); the value kept is the
    // harmonic-centrality position.
    WebGraph = 1,
    // A top-sites list: "rank,domain".
    RankList = 2,
};

const char *RankKindName(RankKind kind); // "web graph", "rank list"

// What one line of a rank file is.
struct RankLine {
    enum class Type { Entry, Header, Blank, Malformed };
    Type type = Type::Malformed;
    // Lower case, as the index stores it: labels turned round (com.example), which is the web
    // graph's own order; valid until the next line and while the line's text is.
    std::string_view name;
    std::uint32_t position = 0; // 1 is the best
    // Web graph only: the PageRank position and the host count, at most 2^32-1.
    std::uint32_t pageRankPosition = 0;
    std::uint32_t hosts = 0;
};

// Reads the lines of one kind of rank file. Header lines start with '#' (and, in a rank list, a
// first line whose rank is not a number, such as "rank,domain"). A line is malformed unless it
// has the kind's fields, a position from 1 to 2^32-1 and a name of at most 253 characters made of
// letters, digits, hyphens, underscores and dots between non-empty labels (international names
// come in their xn-- form).
class RankLineParser {
public:
    explicit RankLineParser(RankKind kind) : kind_(kind) {}

    RankLine Parse(std::string_view line, std::uint64_t lineNumber);

private:
    RankLine ParseWebGraph(std::string_view line);
    RankLine ParseRankList(std::string_view line, std::uint64_t lineNumber);
    bool TakeName(std::string_view name, bool turn);
    bool TakeStoredName(const char *&at, const char *end, std::string_view &name);

    RankKind kind_;
    std::string name_;
};

} // namespace rankindex
