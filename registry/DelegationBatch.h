#pragma once

#include "registry/DnsChannel.h"
#include "registry/DnsDelegation.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The delegation of many names from one DNS channel on one thread: up to a number of NS queries
// in flight at once, each verdict handed out as its reply comes, in whatever order the replies
// come. It trades the simplicity of one blocking query per name (CheckDelegation) for a rate
// bounded by the resolver rather than by round trips: a few hundred queries in flight keep a
// local resolver busy from one thread. Each query is bounded by its tries' time-outs and by its
// own deadline; a query whose deadline passed gets its verdict then, but keeps its place in
// flight until the channel ends it, so the bound holds for what the server sees.
namespace registry {

class DelegationBatch {
public:
    using Clock = std::chrono::steady_clock;
    using Verdict = std::pair<std::uint64_t, DelegationResult>;

    // Raises EDnsChannelError when the channel cannot be made or settings names a resolver
    // address that cannot be read. inflight is kept within 1 to 4096.
    DelegationBatch(const DnsSettings &settings, std::size_t inflight);

    // The most queries in flight at once.
    std::size_t Limit() const { return inflight_; }
    // Whether another query may start.
    bool Full() const { return channel_.Open() >= inflight_; }
    // The queries the server may still answer, those past their deadline included.
    std::size_t InFlight() const { return channel_.Open(); }
    // Queries whose verdict has not been handed out yet.
    std::size_t Waiting() const { return waiting_.size(); }
    // Starts the NS query of name; its verdict comes from Serve under tag, by deadline at the
    // latest. The caller keeps within the bound (Full).
    void Start(std::uint64_t tag, const std::string &name, Clock::time_point deadline);
    // Serves the channel once, waiting at most until until or the next deadline, and returns the
    // verdicts that are out. Returns at once when stop is raised.
    std::vector<Verdict> Serve(Clock::time_point until, std::stop_token stop);
    // Ends every query: the waiting ones get a Failed verdict ("cancelled").
    std::vector<Verdict> CancelAll();

    static constexpr std::size_t kMostInFlight = 4096;

private:
    // Hands out the verdicts of the queries whose deadline is past.
    void EndOverdue(Clock::time_point now);

    const DnsSettings settings_;
    const std::size_t inflight_;
    DnsChannel channel_;
    // Tag to deadline, for the queries whose verdict is not out.
    std::unordered_map<std::uint64_t, Clock::time_point> waiting_;
    // Tags in the order they started; with one time-out for all, also the order of deadlines.
    std::deque<std::pair<std::uint64_t, Clock::time_point>> byDeadline_;
    std::vector<Verdict> out_;
};

} // namespace registry
