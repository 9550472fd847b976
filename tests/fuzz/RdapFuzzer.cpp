// Feeds arbitrary bytes to the RDAP record reader and the bootstrap table reader. Every outcome
// must be a result or an exception of the program's own tree; a crash, a hang, a leak or
// undefined behaviour is a finding.
#include "base/Exception.h"
#include "registry/RdapBootstrap.h"
#include "registry/RdapResponse.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        const auto record = registry::ReadRdapDomain(text);
        if ((!record.expires.empty() && record.expires.size() != 10) ||
            (!record.registered.empty() && record.registered.size() != 10))
            __builtin_trap();
    } catch (const base::Exception &) {
    }
    // A "not found" error is never a domain record as well.
    if (registry::IsRdapNotFoundError(text)) {
        try {
            registry::ReadRdapDomain(text);
            __builtin_trap();
        } catch (const base::Exception &) {
        }
    }
    try {
        registry::RdapBootstrap bootstrap;
        bootstrap.Merge(text, "fuzz");
        if (const auto server = bootstrap.ServerFor("fastcar.com"))
            if (server->rfind("https://", 0) != 0 || server->back() != '/')
                __builtin_trap();
    } catch (const base::Exception &) {
    }
    return 0;
}
