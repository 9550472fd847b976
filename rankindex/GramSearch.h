#pragma once

#include "rankindex/GramSection.h"
#include "rankindex/NameSearch.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <vector>

namespace rankindex {

// A keyword search through the n-gram section: the names on the lists of the keywords' rarest
// trigrams (and of the suffixes asked for) are read in rank order and checked by the same filter as
// a scan, and the search ends as soon as no later name can beat the `limit` matches kept. A common
// keyword thus costs about `limit` times its rarity in names read, a rare one the length of its
// rarest trigram's list. Keywords shorter than a trigram have no list: without a longer one the
// names are read in rank order, which ends early for the common keywords short ones mostly are.
// An index from a file out of position order cannot end early: there every name on the lists is
// read. Both sections must outlive the search.
class GramSearch : public NameSearch {
public:
    GramSearch(const NameSection &names, const GramSection &grams, NameQuery query,
               std::optional<NameCursor> after = std::nullopt);

    // Reads up to `candidates` more names; false once done.
    bool Step(std::uint64_t candidates) override;
    bool Done() const override { return done_; }
    std::vector<NameMatch> Matches() const override { return kept_.Sorted(); }
    std::uint64_t NamesRead() const { return read_; }

    // At most this many lists are walked side by side; more would cost more than they save.
    static constexpr std::size_t kMostLists = 4;

private:
    void ChooseLists();
    bool NextCandidate(std::uint64_t &rank);
    void Check(std::uint64_t rank);

    const NameSection &names_;
    const GramSection &grams_;
    NameFilter filter_;
    BestMatches kept_;
    // A list, or the union of several (one per suffix asked for), as it is walked: the rank it
    // stands at, none before the first read.
    struct Walk {
        std::vector<RankCursor> parts;
        std::vector<std::uint64_t> heads; // the next rank of each part
        std::uint64_t ranks = 0;
        std::uint64_t at = 0;
        bool fresh = true;
    };
    static bool Advance(Walk &walk);
    void AddSuffixWalk();

    std::vector<Walk> walks_;    // shortest first; none: every rank in order
    std::uint64_t nextRank_ = 0; // the smallest rank the next candidate may have
    std::uint64_t read_ = 0;
    bool done_ = false;
};

} // namespace rankindex
