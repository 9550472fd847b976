#include "net/Probes.h"

#include "base/AsciiCase.h"
#include "net/IdHTTP.h"
#include "platform/Application.h"

#include <exception>

namespace net {
namespace {

constexpr const char *kSearchPath = "/search?p=";
constexpr const char *kRankingPath = "/data/details/?url=www.";
constexpr const char *kHitsMarker = "of about";
constexpr std::size_t kHitsWindow = 300;
constexpr const char *kRankMarker = "traffic rank for ";
constexpr const char *kRankEnd = "<br>";

std::string FetchPageText(const std::string &url) {
    base::TStringStream stream;
    FetchPage(url, stream, 80);
    return base::AsciiLower(stream.DataString());
}

// The text between the first ">" and the first "</" of the window that starts at the marker;
// with no ">" the text runs from the start of the window.
std::string HitsIn(const std::string &page) {
    const auto marker = page.find(kHitsMarker);
    if (marker == std::string::npos)
        return {};
    const std::string window = page.substr(marker, kHitsWindow);
    const auto close = window.find("</");
    if (close == std::string::npos)
        return {};
    const auto open = window.find('>');
    const std::size_t start = open == std::string::npos ? 0 : open + 1;
    if (close <= start)
        return {};
    return window.substr(start, close - start);
}

// Every digit that directly follows a ">", up to the first "<br>" after the marker (or after the
// page's start when there is no marker).
std::string RankIn(const std::string &page) {
    const auto marker = page.find(kRankMarker);
    std::string tail = marker == std::string::npos ? page : page.substr(marker);
    const auto end = tail.find(kRankEnd);
    tail = end == std::string::npos ? std::string() : tail.substr(0, end + 1);
    std::string digits;
    for (std::size_t i = 1; i < tail.size(); ++i)
        if (tail[i] >= '0' && tail[i] <= '9' && tail[i - 1] == '>')
            digits += tail[i];
    return digits;
}

} // namespace

void FetchPage(const std::string &url, base::TStringStream &stream, int port) {
    TIdHTTP client;
    client.Port = port;
    try {
        client.FetchToStream(url, stream);
    } catch (const std::exception &) {
        // The page text is whatever arrived: an error page's body, or nothing.
    }
}

std::string GetLinkPopularity(const std::string &name) {
    try {
        platform::ProcessMessages();
        std::string query = "link:http://www." + name;
        query = ReplaceAllText(query, " ", "-");
        query = ReplaceAllText(query, ":", "%3A");
        query = ReplaceAllText(query, "/", "%2F");
        const std::string page =
            FetchPageText(CurrentServiceAddresses().SearchEngine + kSearchPath + query);
        platform::ProcessMessages();
        const std::string hits = HitsIn(page);
        platform::ProcessMessages();
        // Nothing found reads as no links at all.
        return hits.empty() ? std::string(1, '0') : StripSeparators(hits);
    } catch (const std::exception &) {
        return {};
    }
}

std::string GetTrafficRank(const std::string &name) {
    try {
        const std::string page =
            FetchPageText(CurrentServiceAddresses().RankingService + kRankingPath + name);
        platform::ProcessMessages();
        return StripSeparators(RankIn(page));
    } catch (const std::exception &) {
        return {};
    }
}

std::string ReplaceAllText(const std::string &text, const std::string &pattern,
                           const std::string &replacement) {
    if (pattern.empty())
        return text;
    const std::string lowerText = base::AsciiLower(text);
    const std::string lowerPattern = base::AsciiLower(pattern);
    std::string result;
    std::size_t from = 0;
    // Searching on after each inserted replacement ends for every input, even a replacement
    // that contains the pattern.
    for (auto found = lowerText.find(lowerPattern); found != std::string::npos;
         found = lowerText.find(lowerPattern, from)) {
        result.append(text, from, found - from);
        result += replacement;
        from = found + pattern.size();
    }
    result.append(text, from);
    return result;
}

std::string StripSeparators(const std::string &text) {
    std::string kept;
    for (char c : text)
        if (c != ',' && c != '.' && c != ' ')
            kept += c;
    return kept;
}

} // namespace net
