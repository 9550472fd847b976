// Feeds arbitrary bytes to the RDAP client's reading and decision as a server's whole reply
// (status line, headers, body), cut into pieces as the first byte says, over a socket layer
// without sockets. Beyond the crashes, leaks and undefined behaviour every fuzzer catches, the
// verdict is held against the bytes: "free" only for an HTTP/1.x 404 that is empty or an RDAP
// "not found" error, "taken" only for an HTTP/1.x 200 holding the record of the name asked, and
// a redirect only to an https lookup of that name. Anything else is a finding.
#include "base/AsciiCase.h"
#include "base/Exception.h"
#include "net/IdHTTP.h"
#include "registry/RdapReply.h"
#include "registry/RdapResponse.h"
#include "tests/support/MemoryStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

const std::string kName = "fastcar.com";
const std::string kUrl = "https://rdap.fuzz.test/rdap/domain/" + kName;

// Whether the bytes open with "HTTP/1.0 " or "HTTP/1.1 ", then the code and a blank or a line end.
bool StartsWithStatus(const std::string &bytes, const char *code) {
    if (!(bytes.starts_with("HTTP/1.0 ") || bytes.starts_with("HTTP/1.1 ")))
        return false;
    if (bytes.compare(9, 3, code) != 0 || bytes.size() < 13)
        return false;
    return bytes[12] == ' ' || bytes[12] == '\r' || bytes[12] == '\n';
}

bool IsDomainRecord(const std::string &body) {
    try {
        registry::ReadRdapDomain(body);
        return true;
    } catch (const base::Exception &) {
        return false;
    }
}

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void CheckVerdict(const std::string &bytes, const registry::RdapReply &reply,
                  const registry::RdapVerdict &verdict) {
    switch (verdict.step) {
    case registry::RdapStep::NotFound:
        Check(reply.error.empty() && reply.location.empty());
        Check(StartsWithStatus(bytes, "404"));
        Check(reply.body.empty() || registry::IsRdapNotFoundError(reply.body));
        Check(!IsDomainRecord(reply.body));
        break;
    case registry::RdapStep::Registered: {
        // A name a registry keeps back: an error object of a client error that says so.
        if (!StartsWithStatus(bytes, "200")) {
            Check(reply.error.empty() && bytes.starts_with("HTTP/1.") && reply.status >= 400 &&
                  reply.status < 500 && reply.status != 429);
            Check(verdict.record.status.size() == 1 &&
                  verdict.record.status[0] == registry::RdapErrorReservation(reply.body));
            break;
        }
        Check(reply.error.empty());
        std::string name = base::AsciiLower(verdict.record.ldhName);
        if (!name.empty() && name.back() == '.')
            name.pop_back();
        Check(name == kName);
        break;
    }
    case registry::RdapStep::Redirect:
        Check(reply.error.empty() && bytes.starts_with("HTTP/1."));
        Check(base::AsciiLower(verdict.next.substr(0, 8)) == "https://");
        Check(base::AsciiLower(verdict.next).find("/domain/" + kName) != std::string::npos);
        break;
    case registry::RdapStep::Retry:
        Check(StartsWithStatus(bytes, "429") || StartsWithStatus(bytes, "503"));
        break;
    case registry::RdapStep::Unknown:
        Check(!verdict.detail.empty());
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t control = data[0];
    const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    auto network = std::make_shared<testsupport::MemoryNetwork>();
    network->Enqueue(testsupport::ShapedReply(bytes, control));
    net::TIdHTTP http(testsupport::MemoryNetworkContext(network));
    http.MaxBodySize = 1 << 20;
    http.ReadTimeout = 10;
    // Plain http over memory stands in for TLS: what the decision sees is the same.
    const registry::RdapReply reply =
        registry::FetchRdapReply(http, "http://rdap.fuzz.test/rdap/domain/" + kName);
    CheckVerdict(bytes, reply, registry::JudgeRdapReply(reply, kName, kUrl));
    return 0;
}
