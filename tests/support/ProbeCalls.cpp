#include "tests/support/ProbeCalls.h"

#include "platform/Application.h"
#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/TrafficRankProbe.h"

namespace testsupport {
namespace {

class CalledProbe : public probes::Probe {
public:
    enum class Kind { Availability, Links, Rank };
    CalledProbe(ProbeCalls &calls, Kind kind) : calls_(calls), kind_(kind) {}

    std::vector<std::string> Fills() const override {
        switch (kind_) {
        case Kind::Availability:
            return {"available"};
        case Kind::Links:
            return {"links"};
        case Kind::Rank:
            return {"rank"};
        }
        return {};
    }
    bool OnlyForAvailable() const override { return kind_ != Kind::Availability; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        switch (kind_) {
        case Kind::Availability:
            record.available = calls_.CheckAvailability("http://www." + record.name, 80);
            return;
        case Kind::Links:
            record.links = calls_.GetLinkPopularity(record.name);
            return;
        case Kind::Rank:
            record.rank = calls_.GetTrafficRank(record.name);
            return;
        }
    }

private:
    ProbeCalls &calls_;
    Kind kind_;
};

} // namespace

probes::ProbeList ProbeListOf(ProbeCalls &calls) {
    using Kind = CalledProbe::Kind;
    return {std::make_shared<CalledProbe>(calls, Kind::Availability),
            std::make_shared<CalledProbe>(calls, Kind::Links),
            std::make_shared<CalledProbe>(calls, Kind::Rank)};
}

probes::Availability WebProbeCalls::CheckAvailability(const std::string &url, int port) {
    return probes::CheckAvailability(url, port, context_);
}

// The window's run lends the page probes a pause that drains the message queue.
std::string WebProbeCalls::GetLinkPopularity(const std::string &name) {
    return probes::GetLinkPopularity(name, context_, [] { platform::ProcessMessages(); });
}

std::string WebProbeCalls::GetTrafficRank(const std::string &name) {
    return probes::GetTrafficRank(name, context_, [] { platform::ProcessMessages(); });
}

} // namespace testsupport
