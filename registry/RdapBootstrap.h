#pragma once

#include "base/Exception.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Which RDAP server answers for a name: a table in the IANA bootstrap format (RFC 9224,
// "dns.json"): a whole file of IANA's (the copy compiled in, the one installed with the program or
// the user's newer one) plus files that add or replace entries. The longest matching suffix wins.
// Servers named only by http:// addresses are left out: RDAP is asked over verified TLS only.
namespace registry {

// A bootstrap file that cannot be read or is not in the bootstrap format.
class ERdapBootstrapError : public base::Exception {
public:
    using base::Exception::Exception;
};

class RdapBootstrap {
public:
    // The copy of IANA's file compiled into the program.
    static RdapBootstrap BuiltIn();
    // That copy as dns.json text (made from data/rdap-dns.json by the build).
    static std::string_view BuiltInText();
    // A whole bootstrap file, with its publication time. origin names the text in error
    // messages.
    static RdapBootstrap Read(std::string_view json, const std::string &origin);
    static RdapBootstrap ReadFile(const std::string &path);

    // Adds the entries of a dns.json text, each replacing an entry for the same suffix. origin
    // names the text in error messages.
    void Merge(std::string_view json, const std::string &origin);
    void MergeFile(const std::string &path);

    // The base URL (ending in "/") of the server for name, nothing when no suffix of it has
    // one.
    std::optional<std::string> ServerFor(const std::string &name) const;
    std::size_t Size() const { return servers_.size(); }
    // When the whole file this table was read from was published (its "publication" member);
    // nothing when it does not say or the table was only merged into.
    std::optional<std::chrono::sys_seconds> Publication() const { return publication_; }

private:
    std::map<std::string, std::string> servers_;
    std::optional<std::chrono::sys_seconds> publication_;
};

// An RFC 3339 time in UTC as the bootstrap files write it ("2026-09-16T19:00:03Z", fractions of
// a second allowed and dropped) or a bare date; nothing for anything else.
std::optional<std::chrono::sys_seconds> ReadPublicationTime(std::string_view text);
// The day of a time, "YYYY-MM-DD".
std::string PublicationDay(std::chrono::sys_seconds time);

} // namespace registry
