#include "probes/LinkPopularityProbe.h"

#include "base/AsciiCase.h"
#include "probes/PageFetch.h"

#include <exception>

namespace probes {
namespace {

constexpr const char *kSearchPath = "/search?p=";
constexpr const char *kHitsMarker = "of about";
constexpr std::size_t kHitsWindow = 300;

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

} // namespace

std::string GetLinkPopularity(const std::string &name, const net::NetworkContext &context,
                              const Pause &pause, const std::string &searchEngine) {
    try {
        PauseIfAsked(pause);
        std::string query = "link:http://www." + name;
        query = ReplaceAllText(query, " ", "-");
        query = ReplaceAllText(query, ":", "%3A");
        query = ReplaceAllText(query, "/", "%2F");
        const std::string page = FetchPageText(searchEngine + kSearchPath + query, context);
        PauseIfAsked(pause);
        const std::string hits = HitsIn(page);
        PauseIfAsked(pause);
        // Nothing found reads as no links at all.
        return hits.empty() ? std::string(1, '0') : StripSeparators(hits);
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

void LinkPopularityProbe::Run(DomainRecord &record, const net::NetworkContext &context,
                              const Pause &pause) const {
    record.links = GetLinkPopularity(record.name, context, pause, searchEngine_);
}

} // namespace probes
