// Feeds arbitrary bytes to the for-sale sign reader, once as one TXT record and once as a whole
// DNS reply whose TXT records are chosen from. Every outcome must be a verdict; a sign must hold
// a value no longer than its record, and a link only an http or https address.
#include "base/WebLink.h"
#include "registry/DnsAnswer.h"
#include "registry/ForSaleRecord.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(const registry::ForSaleSign &sign) {
    if (sign.value.size() > registry::kLongestForSaleRecord)
        __builtin_trap();
    if (sign.tag == registry::ForSaleTag::Link && !base::IsWebLink(sign.value))
        __builtin_trap();
    if (sign.tag == registry::ForSaleTag::None && !sign.value.empty())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view record(reinterpret_cast<const char *>(data), size);
    const registry::ForSaleReading reading = registry::ReadForSaleRecord(record);
    if (reading.verdict == registry::ForSaleVerdict::Sign)
        Check(reading.sign);
    try {
        const auto answer = registry::ReadDnsAnswer(data, size);
        if (const auto sign = registry::ChooseForSaleSign(answer.texts))
            Check(*sign);
    } catch (const registry::EDnsFormatError &) {
    }
    return 0;
}
