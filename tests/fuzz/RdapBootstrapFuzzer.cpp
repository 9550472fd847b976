// Feeds arbitrary bytes to the reader of whole RDAP bootstrap files (the registry data and what
// --update-registry-data fetches) and to the publication time reader. Every outcome must be a
// table or an exception of the program's own tree; a crash, a hang, a leak, undefined behaviour,
// a server that is not https or a publication day that does not read back is a finding.
#include "base/Exception.h"
#include "registry/RdapBootstrap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void CheckServer(const registry::RdapBootstrap &bootstrap, const std::string &name) {
    const auto server = bootstrap.ServerFor(name);
    if (server && (server->rfind("https://", 0) != 0 || server->back() != '/'))
        __builtin_trap();
}

// A time that reads gives a day that reads back as that day's midnight.
void CheckPublication(std::string_view text) {
    const auto time = registry::ReadPublicationTime(text);
    if (!time)
        return;
    const auto day = registry::ReadPublicationTime(registry::PublicationDay(*time));
    if (!day || *day != std::chrono::floor<std::chrono::days>(*time))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    CheckPublication(text.substr(0, 40));
    try {
        const auto bootstrap = registry::RdapBootstrap::Read(text, "fuzz");
        for (const char *name : {"fastcar.com", "fastcar.co.uk", "a.b.c.d.e", "x.", ".", ""})
            CheckServer(bootstrap, name);
        if (const auto publication = bootstrap.Publication())
            CheckPublication(registry::PublicationDay(*publication));
    } catch (const base::Exception &) {
    }
    return 0;
}
