#include "probes/AvailabilityProbe.h"

#include "net/IdHTTP.h"

#include <exception>

namespace probes {
namespace {

bool AnswersAsTaken(int statusCode) {
    return statusCode == 200 || statusCode == 302;
}

std::string SiteHost(const std::string &name) {
    return "www." + name;
}

} // namespace

Availability CheckAvailability(const std::string &url, int port,
                               const net::NetworkContext &context) {
    // Creating the client may fail when the socket layer cannot start; that failure is the
    // caller's to see.
    net::TIdHTTP client(context);
    client.Port = port;
    // One request per client: waiting for the server's close would only cost time.
    client.KeepConnection = false;
    try {
        client.FetchText(url);
    } catch (const std::exception &) {
        // No answer, an error status or a redirect that is not followed: the status code read
        // (0 when none) decides below.
    }
    return AnswersAsTaken(client.StatusCode()) ? Availability::Taken : Availability::Free;
}

void AvailabilityProbe::Run(DomainRecord &record, const net::NetworkContext &context,
                            const Pause &) const {
    record.available = CheckAvailability("http://" + SiteHost(record.name), 80, context);
    record.SetField(base::field::kEvidence, "web");
}

void AvailabilityProbe::Prepare(const std::string &name, const net::NetworkContext &context) const {
    context.Sockets->ResolveAhead(SiteHost(name));
}

} // namespace probes
