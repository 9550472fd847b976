#include "registry/RdapClient.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "net/IdHTTP.h"
#include "net/IdSSLConnectionIntercept.h"
#include "net/IdURI.h"
#include "registry/CancellableWait.h"
#include "registry/RdapReply.h"

#include <ctime>
#include <utility>

namespace registry {
namespace {

constexpr int kTooManyRequests = 429;

bool IsSecure(const std::string &url) {
    return base::AsciiLower(url.substr(0, 8)) == "https://";
}

} // namespace

std::chrono::seconds RetryAfterWait(const std::string &value, std::chrono::seconds longest,
                                    std::chrono::seconds fallback) {
    std::chrono::seconds wait = fallback;
    if (const auto seconds = base::TryReadInteger(value, base::IntegerForm::Decimal)) {
        wait = std::chrono::seconds(std::max<long long>(*seconds, 0));
    } else {
        std::tm date{};
        const char *end = strptime(value.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &date);
        if (end != nullptr && *end == '\0')
            wait = std::chrono::seconds(std::max<long long>(timegm(&date) - std::time(nullptr), 0));
    }
    return std::min(wait, longest);
}

RdapClient::RdapClient(RdapSettings settings, std::shared_ptr<const net::TlsClientContext> tls,
                       net::HostLimiter &limiter, RdapWait wait)
    : settings_(std::move(settings)), tls_(std::move(tls)), limiter_(limiter),
      wait_(std::move(wait)) {
    // Without a wait of the caller's, a retry's pause still ends when the run stops.
    if (!wait_)
        wait_ = [pauses = std::make_shared<CancellableWait>(),
                 stop = settings_.network.Sockets->QueuedWaitsToken()](
                    std::chrono::milliseconds length) { return pauses->WaitFor(length, stop); };
}

RdapResult RdapClient::Unknown(std::string detail, RdapFailure failure,
                               const std::string &url) const {
    RdapResult result;
    result.detail = std::move(detail);
    result.failure = failure;
    result.url = url;
    return result;
}

RdapResult RdapClient::Stopped(const std::string &url) const {
    RdapResult result = Unknown("stopped before it was asked", RdapFailure::None, url);
    result.outcome = RdapOutcome::Stopped;
    return result;
}

RdapReply RdapClient::Fetch(const std::string &url) {
    try {
        net::TIdSSLConnectionIntercept tls(tls_);
        net::TIdHTTP http(settings_.network);
        http.ConnectTimeout = settings_.connectTimeoutMs;
        http.ReadTimeout = settings_.readTimeoutMs;
        http.MaxBodySize = settings_.maxBodyBytes;
        // A run asks few RDAP hosts many times: each lookup takes a kept connection (and its
        // TLS session) from the run's pool when one is idle and gives it back after its reply.
        http.ShareConnections = true;
        http.KeepConnection = false;
        http.SetIntercept(&tls);
        return FetchRdapReply(http, url);
    } catch (const std::exception &error) {
        RdapReply reply;
        reply.error = error.what();
        return reply;
    }
}

RdapResult RdapClient::LookupDomain(const std::string &baseUrl, const std::string &name) {
    std::string url = baseUrl + "domain/" + name;
    int retries = 0;
    int redirects = 0;
    for (;;) {
        if (!IsSecure(url))
            return Unknown("refused an address that is not https: " + url, RdapFailure::Redirect,
                           url);
        const std::string host = net::TIdURI::SplitUrl(url).Host;
        RdapReply reply;
        {
            const auto permit =
                limiter_.Acquire(host, settings_.network.Sockets->QueuedWaitsToken());
            if (!permit)
                return Stopped(url);
            reply = Fetch(url);
        }
        RdapVerdict verdict = JudgeRdapReply(reply, name, url);
        switch (verdict.step) {
        case RdapStep::Registered: {
            RdapResult result;
            result.outcome = RdapOutcome::Registered;
            result.registered = std::move(verdict.record.registered);
            result.expires = std::move(verdict.record.expires);
            result.registrar = std::move(verdict.record.registrar);
            result.status = std::move(verdict.record.status);
            result.url = url;
            result.httpStatus = reply.status;
            return result;
        }
        case RdapStep::NotFound: {
            RdapResult result;
            result.outcome = RdapOutcome::NotFound;
            result.url = url;
            result.httpStatus = reply.status;
            return result;
        }
        case RdapStep::Retry: {
            const bool tooMany = reply.status == kTooManyRequests;
            if (retries >= settings_.retries) {
                if (tooMany)
                    limiter_.SlowDown(host);
                RdapResult result =
                    Unknown("HTTP " + std::to_string(reply.status) + " after " +
                                std::to_string(retries + 1) + " requests",
                            reply.status == kTooManyRequests ? RdapFailure::RateLimited
                                                             : RdapFailure::Unavailable,
                            url);
                result.httpStatus = reply.status;
                return result;
            }
            ++retries;
            const auto wait = RetryAfterWait(reply.retryAfter, settings_.longestRetryWait,
                                             settings_.defaultRetryWait);
            // "Too many requests" is about the host: no lookup of the run asks it while this
            // one waits out the Retry-After, and it goes at half its rate from then on.
            net::HostLimiter::Hold hold;
            if (tooMany)
                hold = limiter_.TooManyRequests(host);
            if (!wait_(wait))
                return Stopped(url);
            continue;
        }
        case RdapStep::Redirect:
            if (redirects >= settings_.redirects)
                return Unknown("too many redirects", RdapFailure::Redirect, url);
            ++redirects;
            url = std::move(verdict.next);
            continue;
        case RdapStep::Unknown:
            break;
        }
        RdapResult result = Unknown(std::move(verdict.detail), verdict.failure, url);
        result.httpStatus = reply.status;
        return result;
    }
}

} // namespace registry
