#include "probes/DnsDelegation.h"

#include "probes/DnsAnswer.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace probes {
namespace {

// The largest reply a DNS message can be.
constexpr std::size_t kReplyLimit = 65535;

// A resolver state of one call, closed with it.
class ResolverState {
public:
    ResolverState() {
        std::memset(&state_, 0, sizeof state_);
        started_ = res_ninit(&state_) == 0;
    }
    ~ResolverState() {
        if (started_)
            res_nclose(&state_);
    }
    ResolverState(const ResolverState &) = delete;
    ResolverState &operator=(const ResolverState &) = delete;

    bool Started() const { return started_; }
    res_state Get() { return &state_; }

private:
    struct __res_state state_;
    bool started_ = false;
};

std::optional<sockaddr_in> ParseServer(const std::string &text) {
    std::string address = text;
    int port = NAMESERVER_PORT;
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
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1)
        return std::nullopt;
    return server;
}

DelegationResult Result(Delegation state, std::string detail) {
    return {state, std::move(detail), {}};
}

// The reply left in the buffer by a query that failed: its response code, if one came.
std::optional<int> ReplyCode(const std::vector<std::uint8_t> &reply) {
    try {
        const DnsAnswer answer = ReadDnsAnswer(reply.data(), reply.size());
        if (answer.isResponse)
            return answer.responseCode;
    } catch (const EDnsFormatError &) {
    }
    return std::nullopt;
}

DelegationResult FromFailure(int hostError, const std::vector<std::uint8_t> &reply,
                             const DnsSettings &settings) {
    switch (hostError) {
    case HOST_NOT_FOUND:
        return Result(Delegation::NotDelegated, "NXDOMAIN");
    case NO_DATA:
        return Result(Delegation::NotDelegated, "no NS records");
    default:
        break;
    }
    if (const auto code = ReplyCode(reply))
        return Result(Delegation::Failed, DnsResponseCodeName(*code));
    if (hostError == TRY_AGAIN)
        return Result(Delegation::Failed,
                      "no answer within " + std::to_string(settings.timeoutSeconds) + " s");
    return Result(Delegation::Failed, "the name cannot be asked for");
}

} // namespace

DelegationResult CheckDelegation(const std::string &name, const DnsSettings &settings) {
    ResolverState resolver;
    if (!resolver.Started())
        return Result(Delegation::Failed, "the resolver cannot start");
    res_state state = resolver.Get();
    state->retrans = std::max(1, settings.timeoutSeconds);
    state->retry = std::max(1, settings.attempts);
    if (!settings.server.empty()) {
        const auto server = ParseServer(settings.server);
        if (!server)
            return Result(Delegation::Failed, "bad resolver address " + settings.server);
        state->nscount = 1;
        state->nsaddr_list[0] = *server;
    }

    std::vector<std::uint8_t> reply(kReplyLimit, 0);
    const int length = res_nquery(state, name.c_str(), ns_c_in, ns_t_ns, reply.data(),
                                  static_cast<int>(reply.size()));
    if (length < 0)
        return FromFailure(state->res_h_errno, reply, settings);
    try {
        const DnsAnswer answer =
            ReadDnsAnswer(reply.data(), std::min(static_cast<std::size_t>(length), reply.size()));
        if (answer.responseCode != kDnsNoError)
            return Result(Delegation::Failed, DnsResponseCodeName(answer.responseCode));
        if (answer.nameServers.empty())
            return Result(Delegation::NotDelegated, "no NS records");
        DelegationResult result{Delegation::Delegated,
                                std::to_string(answer.nameServers.size()) + " NS records",
                                answer.nameServers};
        return result;
    } catch (const EDnsFormatError &error) {
        return Result(Delegation::Failed, error.what());
    }
}

} // namespace probes
