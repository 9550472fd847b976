#include "probes/RdapClient.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "base/MemoryStream.h"
#include "net/IdException.h"
#include "net/IdHTTP.h"
#include "net/IdSSLConnectionIntercept.h"
#include "net/IdURI.h"
#include "probes/RdapResponse.h"

#include <ctime>
#include <thread>
#include <utility>

namespace probes {
namespace {

constexpr int kTooManyRequests = 429;
constexpr int kServiceUnavailable = 503;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsSecure(const std::string &url) {
    return base::AsciiLower(url.substr(0, 8)) == "https://";
}

std::string Origin(const std::string &url) {
    const auto hostStart = url.find("://");
    const auto pathStart = url.find('/', hostStart == std::string::npos ? 0 : hostStart + 3);
    return url.substr(0, pathStart);
}

// A Location header's address made absolute against the address that sent it.
std::string Resolve(const std::string &from, const std::string &location) {
    if (location.find("://") != std::string::npos)
        return location;
    if (location.starts_with('/'))
        return Origin(from) + location;
    return from.substr(0, from.rfind('/') + 1) + location;
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

struct RdapClient::Reply {
    int status = 0;
    std::string body;
    std::string location;
    std::string retryAfter;
    std::string error;
};

RdapClient::RdapClient(RdapSettings settings, std::shared_ptr<const net::TlsClientContext> tls,
                       RdapHostLimiter &limiter, RdapWait wait)
    : settings_(std::move(settings)), tls_(std::move(tls)), limiter_(limiter),
      wait_(std::move(wait)) {
    if (!wait_)
        wait_ = [](std::chrono::milliseconds length) {
            std::this_thread::sleep_for(length);
            return true;
        };
}

RdapResult RdapClient::Unknown(std::string detail, const std::string &url) const {
    RdapResult result;
    result.detail = std::move(detail);
    result.url = url;
    return result;
}

RdapResult RdapClient::Stopped(const std::string &url) const {
    RdapResult result = Unknown("stopped before it was asked", url);
    result.outcome = RdapOutcome::Stopped;
    return result;
}

RdapClient::Reply RdapClient::Fetch(const std::string &url) {
    Reply reply;
    try {
        net::TIdSSLConnectionIntercept tls(tls_);
        net::TIdHTTP http(settings_.network);
        http.ConnectTimeout = settings_.connectTimeoutMs;
        http.ReadTimeout = settings_.readTimeoutMs;
        http.MaxBodySize = settings_.maxBodyBytes;
        http.Request().Accept = "application/rdap+json, application/json";
        http.SetIntercept(&tls);
        base::TStringStream body;
        try {
            http.FetchToStream(url, body);
        } catch (const net::EIdProtocolReplyError &) {
            // Not a 2xx: the status and the body read so far tell the rest.
        }
        reply.status = http.StatusCode();
        reply.body = body.DataString();
        reply.location = http.Reply().Location;
        reply.retryAfter = http.Reply().ExtraHeaders.Values("Retry-After");
    } catch (const std::exception &error) {
        reply.error = error.what();
    }
    return reply;
}

RdapResult RdapClient::LookupDomain(const std::string &baseUrl, const std::string &name) {
    std::string url = baseUrl + "domain/" + name;
    int retries = 0;
    int redirects = 0;
    for (;;) {
        if (!IsSecure(url))
            return Unknown("refused an address that is not https: " + url, url);
        const std::string host = net::TIdURI::SplitUrl(url).Host;
        Reply reply;
        {
            const auto permit =
                limiter_.Acquire(host, settings_.network.Sockets->QueuedWaitsToken());
            if (!permit)
                return Stopped(url);
            reply = Fetch(url);
        }
        if (!reply.error.empty())
            return Unknown(reply.error, url);
        if (reply.status == 200) {
            try {
                const RdapDomainRecord record = ReadRdapDomain(reply.body);
                return {RdapOutcome::Registered,
                        record.registered,
                        record.expires,
                        record.registrar,
                        {},
                        url};
            } catch (const ERdapFormatError &error) {
                return Unknown(error.what(), url);
            }
        }
        if (reply.status == 404)
            return {RdapOutcome::NotFound, {}, {}, {}, {}, url};
        if (reply.status == kTooManyRequests || reply.status == kServiceUnavailable) {
            if (reply.status == kTooManyRequests)
                limiter_.SlowDown(host);
            if (retries >= settings_.retries)
                return Unknown("HTTP " + std::to_string(reply.status) + " after " +
                                   std::to_string(retries + 1) + " requests",
                               url);
            ++retries;
            const auto wait = RetryAfterWait(reply.retryAfter, settings_.longestRetryWait,
                                             settings_.defaultRetryWait);
            if (!wait_(wait))
                return Stopped(url);
            continue;
        }
        if (IsRedirect(reply.status) && !reply.location.empty()) {
            if (redirects >= settings_.redirects)
                return Unknown("too many redirects", url);
            ++redirects;
            url = Resolve(url, reply.location);
            continue;
        }
        return Unknown("HTTP " + std::to_string(reply.status), url);
    }
}

} // namespace probes
