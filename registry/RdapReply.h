#pragma once

#include "registry/RdapResponse.h"

#include <string>

namespace net {
class TIdHTTP;
}

// What one reply of an RDAP server says about the name asked, apart from the exchange that
// brought it, so that every byte of a reply can be put to the decision in tests and fuzzing.
// Only an answer that cannot mean anything else frees a name: an HTTP/1.x 404 of a lookup of
// that very name, empty or holding an RDAP "not found" error object. A record is the name's
// only when it is of that name. Everything else is unknown, with its reason.
namespace registry {

// One reply as the decision needs it.
struct RdapReply {
    // 0 when no status line was read.
    int status = 0;
    std::string contentType;
    std::string body;
    std::string location;
    std::string retryAfter;
    // Why the exchange failed; the fields above are then no answer.
    std::string error;
    // Whether the failure was the server's certificate being refused.
    bool certificateRefused = false;
};

// GETs url as an RDAP query with http, which the caller has set up (waits, limits, TLS). Takes
// only an HTTP/1.x status line. Never raises: a failure is the reply's error.
RdapReply FetchRdapReply(net::TIdHTTP &http, const std::string &url);

// Registered also for a name the registry keeps back (reserved or blocked): never free.
enum class RdapStep { Registered, NotFound, Retry, Redirect, Unknown };

// Why a reply is no answer, as a type: the words for a person are made from it in one place.
enum class RdapFailure {
    None,
    // "too many requests" (429) and "unavailable" (503), each after its retries.
    RateLimited,
    Unavailable,
    Certificate,
    // No connection, no reply in time, a reset.
    NoAnswer,
    // A reply that is no RDAP answer about the name (a broken record, another name's record).
    NotUnderstood,
    // Another HTTP status; the verdict's status says which.
    HttpStatus,
    // A redirect this client does not follow (not https, another name, too many).
    Redirect,
};

struct RdapVerdict {
    RdapStep step = RdapStep::Unknown;
    // The record of a Registered reply.
    RdapDomainRecord record;
    // The absolute address a Redirect leads to.
    std::string next;
    // Why the reply is Unknown, for a person, and as a type.
    std::string detail;
    RdapFailure failure = RdapFailure::None;
};

// What reply, the answer to a lookup of name at url, says. Retry for "too many requests" and
// "unavailable"; Redirect only to an https lookup of the same name. A client error whose RDAP
// error object says the name is reserved or blocked is Registered, the record's status saying
// which.
RdapVerdict JudgeRdapReply(const RdapReply &reply, const std::string &name, const std::string &url);

} // namespace registry
