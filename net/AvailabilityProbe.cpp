#include "net/Probes.h"

#include "net/IdHTTP.h"

#include <exception>

namespace net {
namespace {

bool AnswersAsTaken(int statusCode) {
    return statusCode == 200 || statusCode == 302;
}

} // namespace

std::string CheckAvailability(const std::string &url, int port) {
    // Creating the client may fail when the socket layer cannot start; that failure is the
    // caller's to see.
    TIdHTTP client;
    client.Port = port;
    try {
        client.FetchText(url);
    } catch (const std::exception &) {
        // No answer, an error status or a redirect that is not followed: the status code read
        // (0 when none) decides below.
    }
    return AnswersAsTaken(client.StatusCode()) ? "No" : "Yes";
}

} // namespace net
