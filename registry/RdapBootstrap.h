#pragma once

#include "base/Exception.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Which RDAP server answers for a name: a table in the IANA bootstrap format (RFC 9224,
// "dns.json"): built-in entries for the suffixes the program offers, plus files that add or
// replace entries. The longest matching suffix wins.
namespace registry {

// A bootstrap file that cannot be read or is not in the bootstrap format.
class ERdapBootstrapError : public base::Exception {
public:
    using base::Exception::Exception;
};

class RdapBootstrap {
public:
    // The built-in entries only.
    static RdapBootstrap BuiltIn();
    // The built-in table, as dns.json text.
    static std::string_view BuiltInText();

    // Adds the entries of a dns.json text, each replacing an entry for the same suffix. origin
    // names the text in error messages.
    void Merge(std::string_view json, const std::string &origin);
    void MergeFile(const std::string &path);

    // The base URL (ending in "/") of the server for name, nothing when no suffix of it has
    // one.
    std::optional<std::string> ServerFor(const std::string &name) const;
    std::size_t Size() const { return servers_.size(); }

private:
    std::map<std::string, std::string> servers_;
};

} // namespace registry
