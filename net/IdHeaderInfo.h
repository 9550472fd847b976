#pragma once

#include "net/IdHeaderList.h"

#include <cstdint>
#include <string>

namespace net {

// Date-times as days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

class TIdHTTP;

// The header fields of one direction of an exchange: what the client sends (Request) or what
// the last reply carried (Reply).
class TIdHeaderInfo {
public:
    explicit TIdHeaderInfo(TIdHTTP *owner = nullptr) : owner_(owner) {}

    TIdHTTP *Owner() const { return owner_; }

    std::string Accept = "text/html, */*";
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string Connection;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    std::string ContentVersion;
    std::int32_t ContentLength = 0;
    std::uint32_t ContentRangeStart = 0;
    std::uint32_t ContentRangeEnd = 0;
    TDateTime Date = 0;
    TDateTime Expires = 0;
    TDateTime LastModified = 0;
    TIdHeaderList ExtraHeaders;
    std::string From;
    std::string Referer;
    std::string Location;
    std::string Server;
    std::string Username;
    std::string Password;
    std::string ProxyServer;
    std::string ProxyUsername;
    std::string ProxyPassword;
    std::string ProxyAuthenticate;
    std::int32_t ProxyPort = 0;
    std::string UserAgent = "Mozilla/3.0 (compatible; Nimbrel)";
    std::string WWWAuthenticate;

private:
    TIdHTTP *owner_;
};

} // namespace net
