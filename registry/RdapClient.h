#pragma once

#include "registry/RdapReply.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/HostLimiter.h"
#include "net/NetworkContext.h"

namespace net {
class TlsClientContext;
}

// Asking an RDAP server about a domain (RFC 9082): GET {base}domain/{name} over TLS. A record of
// the name is a registration, a plain 404 a free name (see RdapReply.h); "too many requests" and
// "unavailable" are waited out and asked again a few times; a redirect to a lookup of the same
// name, on any server, is followed; anything else is unknown.
namespace registry {

struct RdapSettings {
    // The run's network; its waits are replaced by the ones below.
    net::NetworkContext network;
    int connectTimeoutMs = 10000;
    int readTimeoutMs = 20000;
    std::int64_t maxBodyBytes = 16 * 1024 * 1024;
    // Asks after a 429 or 503, each after the wait its Retry-After gives (capped; a default
    // when absent or unreadable).
    int retries = 2;
    std::chrono::seconds longestRetryWait{30};
    std::chrono::seconds defaultRetryWait{2};
    int redirects = 3;
};

// Waits the given time; false when the run stopped the wait (it stops or is abandoned).
using RdapWait = std::function<bool(std::chrono::milliseconds)>;

enum class RdapOutcome {
    Registered,
    NotFound,
    Unknown,
    // The run stopped the lookup while it waited for its host or a retry: it asked nothing more.
    Stopped
};

struct RdapResult {
    RdapOutcome outcome = RdapOutcome::Unknown;
    std::string registered;
    std::string expires;
    std::string registrar;
    // The registry's status words for a registration ("active", "client hold"); "reserved" or
    // "blocked" for a name it keeps back.
    std::vector<std::string> status;
    // Why the outcome is unknown, for a person ("HTTP 500", a TLS error, ...), and as a type;
    // httpStatus is the last status read.
    std::string detail;
    RdapFailure failure = RdapFailure::None;
    int httpStatus = 0;
    // The address asked last.
    std::string url;
};

class RdapClient {
public:
    // wait pauses before a retry (empty: a plain sleep); limiter is the run's.
    RdapClient(RdapSettings settings, std::shared_ptr<const net::TlsClientContext> tls,
               net::HostLimiter &limiter, RdapWait wait);

    // Never raises: every failure is an Unknown result with its reason.
    RdapResult LookupDomain(const std::string &baseUrl, const std::string &name);

private:
    RdapReply Fetch(const std::string &url);
    RdapResult Unknown(std::string detail, RdapFailure failure, const std::string &url) const;
    RdapResult Stopped(const std::string &url) const;

    RdapSettings settings_;
    std::shared_ptr<const net::TlsClientContext> tls_;
    net::HostLimiter &limiter_;
    RdapWait wait_;
};

// The wait a Retry-After value asks for: delta-seconds or an HTTP date, capped at longest;
// fallback when the value is empty or unreadable.
std::chrono::seconds RetryAfterWait(const std::string &value, std::chrono::seconds longest,
                                    std::chrono::seconds fallback);

} // namespace registry
