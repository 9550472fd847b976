#pragma once

#include "net/NetworkContext.h"
#include "registry/WhoisServers.h"

#include <stop_token>
#include <string>
#include <string_view>

// Asking a WHOIS server about a name (RFC 3912): connect to the server's name on port 43
// through the run's network context, so its connection routes, its whole-exchange deadline and
// its interruption apply; send the query line in the server's form; read until the server
// closes, stopping at 64 KiB. A pacer, when given, spaces the queries to each server. Never
// raises: every failure is a typed result.
namespace registry {

class WhoisPacer;

enum class WhoisFailure {
    None,
    // The name holds more than letters, digits, hyphens and dots; it is never sent.
    NotAName,
    ServerNotFound,
    ConnectRefused,
    TimedOut,
    Interrupted,
    // A reset or another network failure; the detail says which.
    ConnectionFailed,
};

struct WhoisExchange {
    WhoisFailure failure = WhoisFailure::None;
    std::string reply;
    // Whether the server sent more than 64 KiB; reply then holds the first 64 KiB.
    bool cut = false;
    // The failure's own message, for a person.
    std::string detail;
};

class WhoisClient {
public:
    // pacer, when not null, is the run's and outlives the client; stop ends a pacer's wait (by
    // default the context's run stopping or being abandoned: its QueuedWaitsToken).
    explicit WhoisClient(net::NetworkContext context, WhoisPacer *pacer = nullptr,
                         std::stop_token stop = {});

    // The whole exchange, the pacer's wait included, ends within the context's RequestTimeout.
    WhoisExchange Ask(const WhoisServer &server, std::string_view name) const;

private:
    WhoisExchange Exchange(const WhoisServer &server, std::string_view name,
                           std::chrono::milliseconds left) const;

    net::NetworkContext context_;
    WhoisPacer *pacer_;
    std::stop_token stop_;
};

// The failure in a few words: "whois: connection refused"; empty for None.
std::string_view WhoisFailureText(WhoisFailure failure);

} // namespace registry
