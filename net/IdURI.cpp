#include "net/IdURI.h"

#include <algorithm>
#include <utility>

namespace net {

// Text before the first delimiter, removing it and the delimiter from text; all of text (leaving
// it empty) when the delimiter is absent.
std::string Fetch(std::string &text, const std::string &delimiter) {
    const auto found = text.find(delimiter);
    if (found == std::string::npos)
        return std::exchange(text, {});
    std::string head = text.substr(0, found);
    text.erase(0, found + delimiter.size());
    return head;
}

TIdURIParts TIdURI::SplitUrl(const std::string &url) {
    TIdURIParts parts;
    // Texts are single-byte here, so there are no lead bytes to step over.
    std::string rest = url;
    std::replace(rest.begin(), rest.end(), '\\', '/');
    if (rest.find("://") != std::string::npos) {
        parts.Protocol = Fetch(rest, "://");
        std::string hostPart = Fetch(rest, "/");
        parts.Host = Fetch(hostPart, ":");
        parts.Port = hostPart;
    }
    const auto lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
        parts.Path = rest.substr(0, lastSlash + 1);
        parts.Document = rest.substr(lastSlash + 1);
    } else {
        parts.Document = rest;
    }
    if (!parts.Path.starts_with('/'))
        parts.Path = std::string(1, '/').append(parts.Path);
    const auto hash = parts.Document.find('#');
    if (hash != std::string::npos) {
        parts.Bookmark = parts.Document.substr(hash + 1);
        parts.Document.resize(hash);
    }
    return parts;
}

} // namespace net
