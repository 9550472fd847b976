#include "registry/DnsDelegation.h"

#include "registry/DnsAnswer.h"
#include "registry/DnsChannel.h"

#include <arpa/inet.h>

#include <algorithm>
#include <optional>

namespace registry {
namespace {

constexpr int kDnsPort = 53;

std::optional<DnsChannelSettings::Server> ParseServer(const std::string &text) {
    std::string address = text;
    int port = kDnsPort;
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
        address = text.substr(0, colon);
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        port = std::stoi(digits);
        if (port < 1 || port > 65535)
            return std::nullopt;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return std::nullopt;
    return DnsChannelSettings::Server{parsed.s_addr, port};
}

DelegationResult Result(Delegation state, std::string detail) {
    return {state, std::move(detail), {}, DnsFailure::None};
}

DelegationResult Failed(DnsFailure failure, std::string detail) {
    return {Delegation::Failed, std::move(detail), {}, failure};
}

DelegationResult FromReply(const std::vector<std::uint8_t> &reply) {
    try {
        const DnsAnswer answer = ReadDnsAnswer(reply.data(), reply.size());
        if (answer.responseCode == kDnsNameError)
            return Result(Delegation::NotDelegated, "NXDOMAIN");
        if (answer.responseCode != kDnsNoError)
            return Failed(DnsFailure::ServerFailed, DnsResponseCodeName(answer.responseCode));
        if (answer.nameServers.empty())
            return Result(Delegation::NotDelegated, "no NS records");
        return {Delegation::Delegated, std::to_string(answer.nameServers.size()) + " NS records",
                answer.nameServers, DnsFailure::None};
    } catch (const EDnsFormatError &error) {
        return Failed(DnsFailure::Other, error.what());
    }
}

} // namespace

DelegationResult DelegationFrom(const DnsQueryResult &query, const DnsSettings &settings) {
    switch (query.status) {
    case DnsQueryStatus::Answered:
        return FromReply(query.message);
    case DnsQueryStatus::ServerFailed:
        return Failed(DnsFailure::ServerFailed, query.serverSaid);
    case DnsQueryStatus::TimedOut:
        return Failed(DnsFailure::NoAnswer,
                      "no answer within " + std::to_string(settings.timeoutSeconds) + " s");
    case DnsQueryStatus::NoDeadline:
        return Failed(DnsFailure::NoAnswer, "no answer before the request time-out");
    case DnsQueryStatus::Cancelled:
        return Failed(DnsFailure::Cancelled, "cancelled");
    case DnsQueryStatus::Failed:
        break;
    }
    // A server that refuses the connection is no answer either; the library says which.
    return Failed(DnsFailure::NoAnswer, "the name cannot be asked for: " + query.reason);
}

std::optional<DnsChannelSettings> ChannelSettingsFor(const DnsSettings &settings) {
    DnsChannelSettings channelSettings;
    channelSettings.tryTimeout = std::chrono::seconds(std::max(1, settings.timeoutSeconds));
    channelSettings.tries = std::max(1, settings.attempts);
    if (!settings.server.empty()) {
        channelSettings.server = ParseServer(settings.server);
        if (!channelSettings.server)
            return std::nullopt;
    }
    return channelSettings;
}

DelegationResult CheckDelegation(const std::string &name, const DnsSettings &settings,
                                 const DnsBounds &bounds) {
    const std::optional<DnsChannelSettings> channelSettings = ChannelSettingsFor(settings);
    if (!channelSettings)
        return Failed(DnsFailure::Other, "bad resolver address " + settings.server);
    // Declared before the channel: a query the channel ends as it goes still finds it.
    DelegationResult result = Failed(DnsFailure::Cancelled, "cancelled");
    try {
        DnsChannel channel(*channelSettings);
        channel.Query(name, kDnsTypeNs,
                      [&](DnsQueryResult query) { result = DelegationFrom(query, settings); });
        channel.Run(bounds.deadline, bounds.stop);
    } catch (const EDnsChannelError &error) {
        return Failed(DnsFailure::Other, error.what());
    }
    return result;
}

} // namespace registry
