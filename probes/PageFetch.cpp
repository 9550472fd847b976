#include "probes/PageFetch.h"

#include "base/AsciiCase.h"
#include "net/IdHTTP.h"

#include <exception>

namespace probes {

void FetchPage(const std::string &url, base::TStringStream &stream, int port,
               const net::NetworkContext &context) {
    net::TIdHTTP client(context);
    client.Port = port;
    // One request per client: waiting for the server's close would only cost time. Every free
    // name asks the same two services, so their connections go back to the run's pool.
    client.KeepConnection = false;
    client.ShareConnections = true;
    try {
        client.FetchToStream(url, stream);
    } catch (const std::exception &) {
        // The page text is whatever arrived: an error page's body, or nothing.
    }
}

std::string FetchPageText(const std::string &url, const net::NetworkContext &context) {
    base::TStringStream stream;
    FetchPage(url, stream, 80, context);
    return base::AsciiLower(stream.DataString());
}

std::string StripSeparators(const std::string &text) {
    std::string kept;
    for (char c : text)
        if (c != ',' && c != '.' && c != ' ')
            kept += c;
    return kept;
}

} // namespace probes
