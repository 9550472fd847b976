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
};

// GETs url as an RDAP query with http, which the caller has set up (waits, limits, TLS). Takes
// only an HTTP/1.x status line. Never raises: a failure is the reply's error.
RdapReply FetchRdapReply(net::TIdHTTP &http, const std::string &url);

enum class RdapStep { Registered, NotFound, Retry, Redirect, Unknown };

struct RdapVerdict {
    RdapStep step = RdapStep::Unknown;
    // The record of a Registered reply.
    RdapDomainRecord record;
    // The absolute address a Redirect leads to.
    std::string next;
    // Why the reply is Unknown, for a person.
    std::string detail;
};

// What reply, the answer to a lookup of name at url, says. Retry for "too many requests" and
// "unavailable"; Redirect only to an https lookup of the same name.
RdapVerdict JudgeRdapReply(const RdapReply &reply, const std::string &name, const std::string &url);

} // namespace registry
