// Feeds arbitrary bytes to the DNS reply reader. Every outcome must be an answer or an
// EDnsFormatError; a crash, a hang, a leak or undefined behaviour is a finding.
#include "registry/DnsAnswer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    try {
        const auto answer = registry::ReadDnsAnswer(data, size);
        for (const auto &name : answer.nameServers)
            if (name.size() > 255)
                __builtin_trap();
    } catch (const registry::EDnsFormatError &) {
    }
    return 0;
}
