// Feeds arbitrary bytes to the WHOIS reply reader and the WHOIS servers file reader. The reply
// reader must give a result for any bytes without raising; the servers reader a table or an
// error of its own. A crash, a hang, a leak or undefined behaviour is a finding, and so is a
// free verdict on a reply without the server's own "not found" words.
#include "registry/WhoisReply.h"
#include "registry/WhoisServers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    static const registry::WhoisServers builtIn = registry::WhoisServers::BuiltIn();
    for (const char *name : {"fastcar.de", "fastcar.io", "fastcar.jp"}) {
        const registry::WhoisServer server = *builtIn.ServerFor(name);
        const bool cut = size % 2 == 1;
        const auto answer = registry::ReadWhoisReply(text, cut, name, server.notFound);
        if (answer.verdict == registry::WhoisVerdict::Free) {
            bool said = false;
            for (const auto &phrase : server.notFound)
                said = said || registry::HoldsPhrase(text, phrase);
            if (!said || cut)
                __builtin_trap();
        }
        if (!answer.expires.empty() && answer.expires.size() != 10)
            __builtin_trap();
        if (answer.registrar.size() > 128 || answer.status.size() > 8)
            __builtin_trap();
    }
    try {
        registry::WhoisServers servers;
        servers.Merge(text, "fuzz");
        if (const auto server = servers.ServerFor("fastcar.ch"))
            if (server->host.empty() || server->form.Query("x").find('\n') + 1 !=
                                            server->form.Query("x").size())
                __builtin_trap();
    } catch (const registry::EWhoisServersError &) {
    }
    return 0;
}
