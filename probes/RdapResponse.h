#pragma once

#include "base/Exception.h"

#include <string>
#include <string_view>

// Reading an RDAP domain record (RFC 9083): its registration and expiry dates and the name of
// its registrar.
namespace probes {

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
};

// Raises ERdapFormatError for a body that is not an RDAP domain record.
RdapDomainRecord ReadRdapDomain(std::string_view body);

} // namespace probes
