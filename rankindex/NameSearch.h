#pragma once

#include "rankindex/NameFilter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace rankindex {

class RankIndex;

// What every keyword search over an index's names provides, so that its owner can run either
// kind in slices and stop between them. Both find the same names for a query; they differ in
// what a slice reads and in when they are done.
class NameSearch {
public:
    virtual ~NameSearch() = default;

    // Does up to `work` more units (blocks of names for a scan, candidate names for a lookup);
    // false once the search is done.
    virtual bool Step(std::uint64_t work) = 0;
    virtual bool Done() const = 0;
    // The matches so far, best (smallest harmonic position) first; final once Done.
    virtual std::vector<NameMatch> Matches() const = 0;
};

// The fastest search the index allows: a lookup in its n-gram section when it has one, else a
// scan of its names; none for an index without names. With `after`, only the matches after it
// (the next page). The index must outlive the search.
std::unique_ptr<NameSearch> SearchNames(const RankIndex &index, NameQuery query,
                                        std::optional<NameCursor> after = std::nullopt);

} // namespace rankindex
