#pragma once

#include "rankindex/NameSection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rankindex {

// Which names a keyword search wants.
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

// A place in a search's results: a match's harmonic position and its name in reading order.
struct NameCursor {
    std::uint32_t harmonicPosition = 0;
    std::string name;
};

// Whether one stored name answers a query. Both ways of searching (the scan of every name and
// the n-gram lookup) decide by this one class, so that they cannot disagree on what matches.
class NameFilter {
public:
    explicit NameFilter(const NameQuery &query);

    bool Accepts(std::string_view reversedName, const NameFacts &facts) const;
    // Keywords in lower case, as names are stored.
    const std::vector<std::string> &Keywords() const { return keywords_; }
    // The suffixes reversed with a final dot (uk.co.), longest first.
    const std::vector<std::string> &SuffixPrefixes() const { return suffixPrefixes_; }
    // True when no suffix was asked for; suffixes asked for that are no names leave none.
    bool AnySuffix() const { return anySuffix_; }

private:
    bool Wanted(std::string_view namePart) const;

    std::vector<std::string> keywords_;
    std::vector<std::string> suffixPrefixes_;
    bool anySuffix_;
    std::uint32_t minHosts_;
    std::size_t maxLength_;
};

// The best `limit` matches by harmonic position (the name in reading order breaking ties), in
// memory bounded by the limit whatever number of matches is offered.
class BestMatches {
public:
    // With `after`, only matches after it in the order of the results are kept: the next page of
    // a search whose earlier pages were taken, so that a long search never holds more than a page.
    explicit BestMatches(std::size_t limit, std::optional<NameCursor> after = std::nullopt)
        : limit_(limit), after_(std::move(after)) {}

    void Offer(std::string_view reversedName, const NameFacts &facts);
    bool Full() const { return kept_.size() >= limit_; }
    // The harmonic position of the worst match kept; meaningful once Full.
    std::uint32_t WorstPosition() const;
    // Best first.
    std::vector<NameMatch> Sorted() const;

private:
    bool AtOrBeforeTheCursor(const NameMatch &match) const;

    std::size_t limit_;
    std::optional<NameCursor> after_;
    std::vector<NameMatch> kept_; // a heap, worst on top
};

} // namespace rankindex
