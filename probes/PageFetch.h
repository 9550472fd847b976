#pragma once

#include "base/MemoryStream.h"
#include "net/NetworkContext.h"

#include <string>

namespace probes {

// GETs url into stream (at its position); every failure of the GET is absorbed, so the stream
// holds whatever body arrived, an error page's included.
void FetchPage(const std::string &url, base::TStringStream &stream, int port,
               const net::NetworkContext &context);
// The page at url (port 80), lower-cased.
std::string FetchPageText(const std::string &url, const net::NetworkContext &context);

// text without any ",", "." or " ".
std::string StripSeparators(const std::string &text);

} // namespace probes
