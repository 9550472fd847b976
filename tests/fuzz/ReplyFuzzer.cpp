// Feeds arbitrary bytes to the HTTP client as a server's reply, cut into pieces as the first
// byte says, over a socket layer without sockets. Every outcome must be a normal return or an
// exception of the program's own tree; anything else (a crash, a leak, undefined behaviour, an
// escaping foreign exception) is a finding.
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "net/IdHTTP.h"
#include "tests/support/MemoryStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t control = data[0];
    const std::string reply(reinterpret_cast<const char *>(data + 1), size - 1);
    auto network = std::make_shared<testsupport::MemoryNetwork>();
    const net::NetworkContext stack = testsupport::MemoryNetworkContext(network);
    network->Enqueue(testsupport::ShapedReply(reply, control));
    network->Enqueue(testsupport::ShapedReply(reply, control));
    try {
        net::TIdHTTP client(stack);
        client.MaxBodySize = 1 << 20;
        client.HandleRedirects = (control & 0x80) != 0;
        client.RedirectMaximum = 3;
        base::TMemoryStream stream;
        client.FetchToStream("http://www.fuzz.com/", stream);
        if (stream.Size() != stream.Position())
            __builtin_trap();
    } catch (const base::Exception &) {
    }
    return 0;
}
