#pragma once

#include <string>

namespace net {

// The parts of a URL as the HTTP client needs them. Nothing is escaped or decoded; a query
// stays in the document (or in the path when a "/" follows it).
struct TIdURIParts {
    std::string Protocol;
    std::string Host;
    std::string Port;
    std::string Path;
    std::string Document;
    std::string Bookmark;
};

class TIdURI {
public:
    // "http://host:8080/a/b?x#y" gives http, host, 8080, /a/, b?x, y. Backslashes count as
    // slashes; the path always begins with "/".
    static TIdURIParts SplitUrl(const std::string &url);
};

// Text before the first delimiter, removing it and the delimiter from text; all of text (leaving
// it empty) when the delimiter is absent.
std::string Fetch(std::string &text, const std::string &delimiter);

} // namespace net
