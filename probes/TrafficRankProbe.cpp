#include "probes/TrafficRankProbe.h"

#include "probes/PageFetch.h"

#include <exception>

namespace probes {
namespace {

constexpr const char *kRankingPath = "/data/details/?url=www.";
constexpr const char *kRankMarker = "traffic rank for ";
constexpr const char *kRankEnd = "<br>";

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

std::string GetTrafficRank(const std::string &name, const net::NetworkContext &context,
                           const Pause &pause, const std::string &rankingService) {
    try {
        const std::string page = FetchPageText(rankingService + kRankingPath + name, context);
        PauseIfAsked(pause);
        return StripSeparators(RankIn(page));
    } catch (const std::exception &) {
        return {};
    }
}

void TrafficRankProbe::Run(DomainRecord &record, const net::NetworkContext &context,
                           const Pause &pause) const {
    record.rank = GetTrafficRank(record.name, context, pause, rankingService_);
}

} // namespace probes
