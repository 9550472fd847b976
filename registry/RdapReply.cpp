#include "registry/RdapReply.h"

#include "base/AsciiCase.h"
#include "base/MemoryStream.h"
#include "base/Trim.h"
#include "net/IdException.h"
#include "net/IdHTTP.h"
#include "net/IdSSLConnectionIntercept.h"
#include "net/IdURI.h"

#include <algorithm>
#include <optional>

namespace registry {
namespace {

constexpr int kOk = 200;
constexpr int kNotFound = 404;
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

// Whether url asks for the domain name (RFC 9082: ".../domain/<name>"), a query aside.
bool LooksUp(const std::string &url, const std::string &name) {
    const net::TIdURIParts parts = net::TIdURI::SplitUrl(url);
    const std::string document = parts.Document.substr(0, parts.Document.find('?'));
    return parts.Path.find('?') == std::string::npos &&
           base::AsciiLower(parts.Path).ends_with("/domain/") &&
           base::SameTextAscii(document, name);
}

// The media type without its parameters, lower-cased.
std::string MediaType(const std::string &contentType) {
    return base::AsciiLower(base::TrimBlanks(contentType.substr(0, contentType.find(';'))));
}

bool IsRdapJson(const std::string &contentType) {
    const std::string type = MediaType(contentType);
    return type == "application/rdap+json" || type == "application/json";
}

// The name a record is of, as the name asked is written: lower case, no final dot.
std::string RecordName(std::string ldhName) {
    if (!ldhName.empty() && ldhName.back() == '.')
        ldhName.pop_back();
    return base::AsciiLower(ldhName);
}

RdapVerdict Unknown(std::string detail, RdapFailure failure = RdapFailure::NotUnderstood) {
    RdapVerdict verdict;
    verdict.detail = std::move(detail);
    verdict.failure = failure;
    return verdict;
}

bool IsClientError(int status) {
    return status >= 400 && status < 500 && status != kTooManyRequests;
}

// A registry that keeps a name back may answer with an error; its words make it no free name.
std::optional<RdapVerdict> JudgeReservation(const RdapReply &reply) {
    if (!IsClientError(reply.status) || !IsRdapJson(reply.contentType))
        return std::nullopt;
    std::string word = RdapErrorReservation(reply.body);
    if (word.empty())
        return std::nullopt;
    RdapVerdict verdict;
    verdict.step = RdapStep::Registered;
    verdict.record.status.push_back(std::move(word));
    return verdict;
}

RdapVerdict JudgeRecord(const RdapReply &reply, const std::string &name) {
    RdapVerdict verdict;
    try {
        verdict.record = ReadRdapDomain(reply.body);
    } catch (const ERdapFormatError &error) {
        return Unknown(error.what());
    }
    if (verdict.record.ldhName.empty())
        return Unknown("the record does not say which name it is of");
    if (RecordName(verdict.record.ldhName) != base::AsciiLower(name))
        return Unknown("the record is of another name");
    verdict.step = RdapStep::Registered;
    return verdict;
}

RdapVerdict JudgeNotFound(const RdapReply &reply) {
    // A not-found reply that points elsewhere is no answer about this server's records.
    if (!reply.location.empty())
        return Unknown("HTTP 404 with a Location");
    if (!reply.body.empty()) {
        if (!IsRdapJson(reply.contentType))
            return Unknown("HTTP 404 with a body that is not RDAP JSON");
        if (!IsRdapNotFoundError(reply.body))
            return Unknown("HTTP 404 with a body that is no RDAP \"not found\" error");
    }
    RdapVerdict verdict;
    verdict.step = RdapStep::NotFound;
    return verdict;
}

// Whether an address holds only the visible ASCII a URL is written in. A backslash, which some
// readers of URLs take for a slash and others do not, counts as not: the address the lookup
// would ask must be the one that was checked to be a lookup of the name.
bool IsUrlText(const std::string &address) {
    return std::all_of(address.begin(), address.end(),
                       [](char c) { return c > ' ' && c < '\x7F' && c != '\\'; });
}

RdapVerdict JudgeRedirect(const RdapReply &reply, const std::string &name, const std::string &url) {
    if (!IsUrlText(reply.location))
        return Unknown("refused a redirect to an address with bytes no URL holds",
                       RdapFailure::Redirect);
    const std::string next = Resolve(url, reply.location);
    if (!IsSecure(next))
        return Unknown("refused an address that is not https: " + next, RdapFailure::Redirect);
    // Only a lookup of the same name may answer for it: another name's "not found" says
    // nothing about this one.
    if (!LooksUp(next, name))
        return Unknown("redirected to a lookup of another name", RdapFailure::Redirect);
    RdapVerdict verdict;
    verdict.step = RdapStep::Redirect;
    verdict.next = next;
    return verdict;
}

} // namespace

RdapReply FetchRdapReply(net::TIdHTTP &http, const std::string &url) {
    RdapReply reply;
    try {
        http.Request().Accept = "application/rdap+json, application/json";
        http.StrictStatusLine = true;
        base::TStringStream body;
        try {
            http.FetchToStream(url, body);
        } catch (const net::EIdProtocolReplyError &) {
            // Not a 2xx: the status and the body read so far tell the rest.
        }
        reply.status = http.StatusCode();
        reply.contentType = http.Reply().ContentType;
        reply.body = body.DataString();
        reply.location = http.Reply().Location;
        reply.retryAfter = http.Reply().ExtraHeaders.Values("Retry-After");
    } catch (const net::EIdTLSVerifyError &error) {
        reply.error = error.what();
        reply.certificateRefused = true;
    } catch (const std::exception &error) {
        reply.error = error.what();
    }
    return reply;
}

RdapVerdict JudgeRdapReply(const RdapReply &reply, const std::string &name,
                           const std::string &url) {
    if (!reply.error.empty())
        return Unknown(reply.error,
                       reply.certificateRefused ? RdapFailure::Certificate : RdapFailure::NoAnswer);
    if (auto reserved = JudgeReservation(reply))
        return std::move(*reserved);
    if (reply.status == kOk)
        return JudgeRecord(reply, name);
    if (reply.status == kNotFound)
        return JudgeNotFound(reply);
    if (reply.status == kTooManyRequests || reply.status == kServiceUnavailable) {
        RdapVerdict verdict;
        verdict.step = RdapStep::Retry;
        return verdict;
    }
    if (IsRedirect(reply.status) && !reply.location.empty())
        return JudgeRedirect(reply, name, url);
    return Unknown("HTTP " + std::to_string(reply.status), RdapFailure::HttpStatus);
}

} // namespace registry
