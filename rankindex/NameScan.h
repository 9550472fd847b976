#pragma once

#include "rankindex/NameSearch.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rankindex {

// A keyword scan over the names section, done in slices so that its owner can stop between them:
// each Step reads at most a given number of blocks of the suffixes' ranges (a suffix is a range of
// blocks, names being stored reversed). The best `limit` matches by harmonic position are kept,
// so memory stays bounded whatever the index holds. The section must outlive the scan.
class NameScan : public NameSearch {
public:
    // With `after`, only matches after it in the order of the results (see BestMatches).
    NameScan(const NameSection &section, NameQuery query,
             std::optional<NameCursor> after = std::nullopt);

    // Scans up to maxBlocks more blocks; false once the whole range has been scanned.
    bool Step(std::uint64_t maxBlocks) override;
    bool Done() const override { return range_ >= ranges_.size(); }
    // The matches so far, best (smallest harmonic position) first.
    std::vector<NameMatch> Matches() const override;
    std::uint64_t BlocksScanned() const { return scanned_; }

private:
    struct Range {
        std::string prefix; // reversed with a final dot (uk.co.); empty for every name
        std::uint64_t firstBlock;
    };
    const NameSection &section_;
    NameFilter filter_;
    std::vector<Range> ranges_;
    std::size_t range_ = 0;
    std::uint64_t block_ = 0;
    std::uint64_t scanned_ = 0;
    BestMatches kept_;
};

} // namespace rankindex
