// Feeds arbitrary bytes to the keyword search through an index's n-gram section: the input is a
// names section's length (4 bytes), the names section, then the n-gram section. Opening checks
// both headers; searches for keywords of every length over whatever the lists and the rank map
// hold must stay inside the bytes and keep no more than their limit. A crash, a leak, undefined
// behaviour or an escaping exception is a finding.
#include "rankindex/GramSearch.h"
#include "rankindex/GramSection.h"
#include "rankindex/NameSection.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::uint32_t namesBytes = 0;
    if (size < sizeof namesBytes)
        return 0;
    std::memcpy(&namesBytes, data, sizeof namesBytes);
    data += sizeof namesBytes;
    size -= sizeof namesBytes;
    if (namesBytes > size)
        return 0;
    // Copies of the exact sizes, so that the sanitizer sees a read past either end.
    const std::vector<unsigned char> namesCopy(data, data + namesBytes);
    const std::vector<unsigned char> gramsCopy(data + namesBytes, data + size);
    const auto names = rankindex::NameSection::Open(namesCopy.data(), namesCopy.size());
    if (!names)
        return 0;
    const auto grams =
        rankindex::GramSection::Open(gramsCopy.data(), gramsCopy.size(), names->NameCount());
    if (!grams)
        return 0;
    const rankindex::NameQuery queries[] = {
        {{"car"}, {}, 0, 0, 10}, {{"ex", "amp"}, {"com", "co.uk"}, 1, 20, 5}, {{"e"}, {}, 0, 0, 3},
        {{}, {"de"}, 0, 0, 4},   {{"bookshop", "hop"}, {}, 0, 0, 2},
    };
    for (const rankindex::NameQuery &query : queries) {
        rankindex::GramSearch search(*names, *grams, query);
        for (int slice = 0; slice < 1000 && search.Step(16); ++slice) {
        }
        if (search.Matches().size() > query.limit)
            std::abort();
    }
    return 0;
}
