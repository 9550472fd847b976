#include "rankindex/NameSearch.h"

#include "rankindex/GramSearch.h"
#include "rankindex/NameScan.h"
#include "rankindex/RankIndex.h"

namespace rankindex {

std::unique_ptr<NameSearch> SearchNames(const RankIndex &index, NameQuery query,
                                        std::optional<NameCursor> after) {
    if (!index.Names())
        return nullptr;
    if (index.Grams())
        return std::make_unique<GramSearch>(*index.Names(), *index.Grams(), std::move(query),
                                            std::move(after));
    return std::make_unique<NameScan>(*index.Names(), std::move(query), std::move(after));
}

} // namespace rankindex
