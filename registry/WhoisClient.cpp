#include "registry/WhoisClient.h"

#include "base/DomainNameLimits.h"
#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdTCPClient.h"
#include "registry/WhoisPacer.h"
#include "registry/WhoisReply.h"

#include <algorithm>
#include <vector>

namespace registry {
namespace {

using Millis = std::chrono::milliseconds;

constexpr int kWhoisPort = 43;

bool IsAsciiName(std::string_view name) {
    return !name.empty() && name.size() <= base::kLongestDomainName &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.';
           });
}

WhoisExchange Failed(WhoisFailure failure, std::string detail) {
    WhoisExchange exchange;
    exchange.failure = failure;
    exchange.detail = std::move(detail);
    return exchange;
}

WhoisFailure FailureOf(int socketError) {
    switch (socketError) {
    case net::Id_WSAECONNREFUSED:
        return WhoisFailure::ConnectRefused;
    case net::Id_WSAETIMEDOUT:
        return WhoisFailure::TimedOut;
    case net::Id_WSAEINTR:
        return WhoisFailure::Interrupted;
    case net::Id_WSAHOST_NOT_FOUND:
        return WhoisFailure::ServerNotFound;
    default:
        return WhoisFailure::ConnectionFailed;
    }
}

// Everything the server sends until it closes, stopping one byte past the limit.
std::string ReadUntilClose(net::TIdTCPClient &connection) {
    std::string reply;
    std::vector<char> piece;
    while (connection.IsConnected() && reply.size() <= kLargestWhoisReply) {
        piece.resize(std::min<std::size_t>(static_cast<std::size_t>(connection.RecvBufferSize),
                                           kLargestWhoisReply + 1 - reply.size()));
        const int got = connection.ReadFromSocket(false, net::IdTimeoutInfinite, false, &piece);
        reply.append(piece.data(), static_cast<std::size_t>(std::max(got, 0)));
    }
    return reply;
}

} // namespace

WhoisClient::WhoisClient(net::NetworkContext context, WhoisPacer *pacer, std::stop_token stop)
    : context_(std::move(context)), pacer_(pacer),
      stop_(stop.stop_possible() ? std::move(stop) : context_.Sockets->QueuedWaitsToken()) {}

WhoisExchange WhoisClient::Ask(const WhoisServer &server, std::string_view name) const {
    if (!IsAsciiName(name))
        return Failed(WhoisFailure::NotAName, "not a domain name in ASCII form");
    if (context_.Sockets->Interrupted() || stop_.stop_requested())
        return Failed(WhoisFailure::Interrupted, "the run was interrupted");
    const auto start = std::chrono::steady_clock::now();
    const Millis budget(std::max(context_.RequestTimeout, 0));
    WhoisPacer::Turn turn;
    if (pacer_ != nullptr) {
        turn = pacer_->Acquire(server.host, budget, stop_);
        if (!turn && turn.Result() == WhoisPacer::Outcome::TimedOut)
            return Failed(WhoisFailure::TimedOut, "no turn with " + server.host + " in time");
        if (!turn)
            return Failed(WhoisFailure::Interrupted, "the run was interrupted");
    }
    const auto left =
        budget - std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - start);
    if (left <= Millis(0))
        return Failed(WhoisFailure::TimedOut, "no time left for " + server.host);
    return Exchange(server, name, left);
}

WhoisExchange WhoisClient::Exchange(const WhoisServer &server, std::string_view name,
                                    Millis left) const {
    try {
        net::TIdTCPClient connection(context_);
        connection.Host = server.host;
        connection.Port = kWhoisPort;
        connection.RequestTimeout = static_cast<int>(left.count());
        connection.BeginExchange();
        connection.OpenConnection();
        connection.WriteText(server.form.Query(name));
        WhoisExchange exchange;
        exchange.reply = ReadUntilClose(connection);
        exchange.cut = exchange.reply.size() > kLargestWhoisReply;
        if (exchange.cut)
            exchange.reply.resize(kLargestWhoisReply);
        return exchange;
    } catch (const net::EIdSocketError &error) {
        return Failed(FailureOf(error.SocketErrorCode()), error.what());
    } catch (const std::exception &error) {
        return Failed(WhoisFailure::ConnectionFailed, error.what());
    }
}

std::string_view WhoisFailureText(WhoisFailure failure) {
    switch (failure) {
    case WhoisFailure::None:
        return {};
    case WhoisFailure::NotAName:
        return "whois: not a domain name";
    case WhoisFailure::ServerNotFound:
        return "whois: server not found";
    case WhoisFailure::ConnectRefused:
        return "whois: connection refused";
    case WhoisFailure::TimedOut:
        return "whois: no answer in time";
    case WhoisFailure::Interrupted:
        return "whois: interrupted";
    case WhoisFailure::ConnectionFailed:
        return "whois: connection failed";
    }
    return "whois: connection failed";
}

} // namespace registry
