#pragma once

#include "base/Exception.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which WHOIS server (port 43) answers for a suffix that has no RDAP server, the form in which
// it wants a name asked, and its own words for "no such name". Built-in entries for the suffixes
// people pick most; a user's file adds or replaces entries. The longest matching suffix wins.
//
// The user's file is JSON, at most 1 MiB and 8 levels deep:
//
//     {"servers": [
//         {"suffixes": ["de"], "host": "whois.denic.de", "query": "-T dn,ace {name}",
//          "notFound": ["Status: free"]}
//     ]}
//
// "query" (default "{name}") holds "{name}" once; CR LF follows it. "notFound" may be left out
// for a host the built-in table knows, whose phrases are then kept; without any phrase the server
// can tell a taken name but never a free one.
namespace registry {

// A servers file that cannot be read or is not in the format above.
class EWhoisServersError : public base::Exception {
public:
    using base::Exception::Exception;
};

// How a server wants a name asked: the text before and after it on the query line.
struct WhoisQueryForm {
    std::string before;
    std::string after;

    // The query line for name, CR LF included.
    std::string Query(std::string_view name) const;
    // The form a template such as "-T dn,ace {name}" describes; nothing when the template does
    // not hold "{name}" exactly once, is too long or holds control characters.
    static std::optional<WhoisQueryForm> FromTemplate(std::string_view text);

    bool operator==(const WhoisQueryForm &) const = default;
};

struct WhoisServer {
    std::string host;
    WhoisQueryForm form;
    // The server's own words for "no such name", matched as whole phrases without case.
    std::vector<std::string> notFound;
};

class WhoisServers {
public:
    // The built-in entries only.
    static WhoisServers BuiltIn();

    // Adds the entries of a servers file's text, each replacing an entry for the same suffix;
    // nothing changes when the text is refused. origin names the text in error messages.
    void Merge(std::string_view json, const std::string &origin);
    // The same for a regular file at path.
    void MergeFile(const std::string &path);

    // The server for name by its longest listed suffix; nothing when no suffix has one.
    std::optional<WhoisServer> ServerFor(std::string_view name) const;
    std::size_t Size() const { return servers_.size(); }

private:
    std::map<std::string, WhoisServer, std::less<>> servers_;
};

// The user's own servers file, ${XDG_DATA_HOME:-~/.local/share}/Nimbrel/whois-servers.json,
// when it exists.
std::optional<std::string> UserWhoisServersFile();

} // namespace registry
