#pragma once

#include "rankindex/NameSection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rankindex {

// A place in a scan's results: a match's harmonic position and its name in reading order.
struct NameCursor {
    std::uint32_t harmonicPosition = 0;
    std::string name;
};

// Which names a keyword scan wants.
struct NameQuery {
    // Each must be in the name part (the name without its suffix), ASCII case aside; xn-- forms
    // match as stored.
    std::vector<std::string> keywords;
    // Suffixes in reading order (com, co.uk); empty for any, the last label then counting as the
    // suffix. With a suffix, the name part is one label (example of example.co.uk).
    std::vector<std::string> suffixes;
    std::uint32_t minHosts = 0;
    std::size_t maxLength = 0; // of the name part; 0 for any
    std::size_t limit = 100;   // the best this many are kept
};

struct NameMatch {
    std::string name; // in reading order: example.com
    NameFacts facts;
};

// A keyword scan over the names section, done in slices so that its owner can stop between them:
// each Step reads at most a given number of blocks of the suffixes' ranges (a suffix is a range of
// blocks, names being stored reversed). The best `limit` matches by harmonic position are kept,
// so memory stays bounded whatever the index holds. The section must outlive the scan.
class NameScan {
public:
    NameScan(const NameSection &section, NameQuery query);
    // Only matches after `after` in the order of the results: the next page of a search whose
    // earlier pages were taken, so that a long search never holds more than a page.
    NameScan(const NameSection &section, NameQuery query, std::optional<NameCursor> after);

    // Scans up to maxBlocks more blocks; false once the whole range has been scanned.
    bool Step(std::uint64_t maxBlocks);
    bool Done() const { return range_ >= ranges_.size(); }
    // The matches so far, best (smallest harmonic position) first.
    std::vector<NameMatch> Matches() const;
    std::uint64_t BlocksScanned() const { return scanned_; }

private:
    struct Range {
        std::string prefix; // reversed with a final dot (uk.co.); empty for every name
        std::uint64_t firstBlock;
    };
    void Consider(std::string_view name, const NameFacts &facts);
    bool Wanted(std::string_view namePart) const;

    const NameSection &section_;
    NameQuery query_;
    std::optional<NameCursor> after_;
    std::vector<std::string> suffixPrefixes_; // reversed, longest first
    std::vector<Range> ranges_;
    std::size_t range_ = 0;
    std::uint64_t block_ = 0;
    std::uint64_t scanned_ = 0;
    std::vector<NameMatch> kept_; // a heap, worst on top
};

} // namespace rankindex
