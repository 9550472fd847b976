#include "rankindex/NameScan.h"

#include <algorithm>

namespace rankindex {

NameScan::NameScan(const NameSection &section, NameQuery query, std::optional<NameCursor> after)
    : section_(section), filter_(query), kept_(query.limit, std::move(after)) {
    std::vector<std::string> prefixes = filter_.SuffixPrefixes();
    std::sort(prefixes.begin(), prefixes.end());
    // A suffix under another one (co.com under com) lies in its range already.
    for (const std::string &prefix : prefixes) {
        if (!ranges_.empty() && prefix.starts_with(ranges_.back().prefix))
            continue;
        ranges_.push_back({prefix, section_.BlockFor(prefix)});
    }
    if (filter_.AnySuffix())
        ranges_.push_back({"", 0});
    if (section_.BlockCount() == 0)
        range_ = ranges_.size();
    if (!Done())
        block_ = ranges_[range_].firstBlock;
}

bool NameScan::Step(std::uint64_t maxBlocks) {
    for (std::uint64_t done = 0; done < maxBlocks && !Done(); ++done) {
        const std::string &prefix = ranges_[range_].prefix;
        NameBlockReader reader = section_.Block(block_);
        std::string_view name;
        NameFacts facts;
        bool past = false;
        while (!past && reader.Next(name, facts)) {
            if (name.starts_with(prefix)) {
                if (filter_.Accepts(name, facts))
                    kept_.Offer(name, facts);
            } else {
                past = name > prefix;
            }
        }
        ++scanned_;
        if (past || block_ + 1 >= section_.BlockCount()) {
            ++range_;
            if (!Done())
                block_ = std::max(block_, ranges_[range_].firstBlock);
        } else {
            ++block_;
        }
    }
    return !Done();
}

std::vector<NameMatch> NameScan::Matches() const {
    return kept_.Sorted();
}

} // namespace rankindex
