#pragma once

#include "base/Exception.h"

#include <string>
#include <string_view>
#include <vector>

// Reading an RDAP domain record (RFC 9083): the name it is of, its registration and expiry dates
// and the name of its registrar; and telling a "not found" error object.
namespace registry {

// A body that is not an RDAP domain record: not JSON, nested too deep, or not a domain object.
class ERdapFormatError : public base::Exception {
public:
    using base::Exception::Exception;
};

struct RdapDomainRecord {
    // YYYY-MM-DD, empty when the record has no such event.
    std::string registered;
    std::string expires;
    // The vCard full name of the entity with the role "registrar", empty when there is none.
    std::string registrar;
    // The name the record is of, as the server wrote it; empty when it names none.
    std::string ldhName;
    // The record's status values in the registry's words and order ("client hold", "redemption
    // period"), printable ASCII only, at most a few.
    std::vector<std::string> status;
};

// Raises ERdapFormatError for a body that is not an RDAP domain record.
RdapDomainRecord ReadRdapDomain(std::string_view body);

// Whether body is an RDAP error object that says "not found" (RFC 9083, section 6): a JSON object
// whose "errorCode" is 404, with no object class and no name of its own. Anything else, a domain
// record above all, is no such answer.
bool IsRdapNotFoundError(std::string_view body);

// "reserved" or "blocked" when body is an RDAP error object whose title or description says the
// name is reserved, blocked or not available for registration; empty otherwise. Some registries
// answer so, with a 404, for names they keep back.
std::string RdapErrorReservation(std::string_view body);

} // namespace registry
