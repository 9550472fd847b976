// Feeds arbitrary bytes to the reader of an index's names section as the section itself. Opening
// checks the header; every lookup and a keyword scan over whatever the blocks hold must stay
// inside the bytes. A crash, a leak, undefined behaviour or an escaping exception is a finding;
// so is a lookup that finds a name the blocks do not hold at the place it says.
#include "rankindex/NameScan.h"
#include "rankindex/NameSection.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // A copy of the exact size, so that the sanitizer sees a read past the end.
    const std::vector<unsigned char> bytes(data, data + size);
    const auto section = rankindex::NameSection::Open(bytes.data(), bytes.size());
    if (!section)
        return 0;
    std::uint64_t names = 0;
    for (std::uint64_t block = 0; block < section->BlockCount() && names < 100000; ++block) {
        rankindex::NameBlockReader reader = section->Block(block);
        std::string_view name;
        rankindex::NameFacts facts;
        while (reader.Next(name, facts) && ++names < 100000) {
            if (names % 7 == 0)
                section->FindStored(std::string(name));
        }
    }
    for (const char *name : {"example.com", "", "a", "xn--bcher-kva.de", "zzzzzzzzzzzz.zz"})
        section->Find(name);
    rankindex::NameScan scan(*section, {{"a", "e"}, {"com", "co.uk", "de"}, 1, 20, 10});
    for (int slice = 0; slice < 1000 && scan.Step(16); ++slice) {
    }
    rankindex::NameScan all(*section, {{}, {}, 0, 0, 5});
    for (int slice = 0; slice < 1000 && all.Step(16); ++slice) {
    }
    if (all.Matches().size() > 5)
        std::abort();
    return 0;
}
