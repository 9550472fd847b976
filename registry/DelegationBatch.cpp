#include "registry/DelegationBatch.h"

#include "registry/DnsAnswer.h"

#include <algorithm>

namespace registry {
namespace {

DnsChannelSettings ChannelOrRaise(const DnsSettings &settings) {
    const auto channel = ChannelSettingsFor(settings);
    if (!channel)
        throw EDnsChannelError("bad resolver address " + settings.server);
    return *channel;
}

} // namespace

DelegationBatch::DelegationBatch(const DnsSettings &settings, std::size_t inflight)
    : settings_(settings), inflight_(std::clamp<std::size_t>(inflight, 1, kMostInFlight)),
      channel_(ChannelOrRaise(settings)) {}

void DelegationBatch::Start(std::uint64_t tag, const std::string &name,
                            Clock::time_point deadline) {
    waiting_[tag] = deadline;
    byDeadline_.emplace_back(tag, deadline);
    // The reply may come after the deadline handed out a verdict: it is dropped then.
    channel_.Query(name, kDnsTypeNs, [this, tag](DnsQueryResult query) {
        if (waiting_.erase(tag) == 1)
            out_.emplace_back(tag, DelegationFrom(query, settings_));
    });
}

std::vector<DelegationBatch::Verdict> DelegationBatch::Serve(Clock::time_point until,
                                                             std::stop_token stop) {
    // Deadlines of verdicts already out no longer bound the wait.
    while (!byDeadline_.empty() && !waiting_.contains(byDeadline_.front().first))
        byDeadline_.pop_front();
    if (!byDeadline_.empty())
        until = std::min(until, byDeadline_.front().second);
    if (out_.empty() && channel_.Open() > 0)
        channel_.Serve(until, stop);
    EndOverdue(Clock::now());
    return std::exchange(out_, {});
}

void DelegationBatch::EndOverdue(Clock::time_point now) {
    while (!byDeadline_.empty() && byDeadline_.front().second <= now) {
        const std::uint64_t tag = byDeadline_.front().first;
        byDeadline_.pop_front();
        if (waiting_.erase(tag) == 1)
            out_.emplace_back(
                tag,
                DelegationResult{Delegation::Failed, "no answer before the request time-out", {},
                                 DnsFailure::NoAnswer});
    }
}

std::vector<DelegationBatch::Verdict> DelegationBatch::CancelAll() {
    channel_.EndAll(DnsQueryStatus::Cancelled);
    byDeadline_.clear();
    return std::exchange(out_, {});
}

} // namespace registry
