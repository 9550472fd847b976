#pragma once

#include "registry/DnsChannel.h"

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// Whether a name is delegated: an NS query on a DNS channel of the call's own (probes/DnsChannel),
// so calls on many threads are safe. Every wait, the TCP retry of a truncated reply included, is
// bounded by the tries' time-outs and by the caller's deadline, and ends at once when the caller
// stops it.
namespace registry {

struct DnsSettings {
    // The resolver as "address" or "address:port" (IPv4); empty: the name servers of
    // /etc/resolv.conf.
    std::string server;
    // The wait for a first try, in whole seconds (later tries wait longer), and the tries.
    int timeoutSeconds = 3;
    int attempts = 2;
    // The NS queries in flight at once when a run resolves its names ahead of the checks
    // (1 to 4096).
    int inflight = 256;
};

enum class Delegation {
    Delegated,    // NOERROR with NS records in the answer
    NotDelegated, // NXDOMAIN, or NOERROR without NS records
    Failed        // SERVFAIL, no answer in time, any other failure
};

// Why a delegation query failed, as a type.
enum class DnsFailure {
    None,
    // No reply in time, or none could be had (no server reachable).
    NoAnswer,
    // The server answered with an error code (SERVFAIL, REFUSED, ...); detail names it.
    ServerFailed,
    // A reply that cannot be read, a name that cannot be asked, a bad resolver address.
    Other,
    Cancelled,
};

struct DelegationResult {
    Delegation state = Delegation::Failed;
    // What the resolver said, for a person: "2 NS records", "NXDOMAIN", "no answer within 3 s".
    std::string detail;
    std::vector<std::string> nameServers;
    DnsFailure failure = DnsFailure::None;
};

// What ends a check early: the exchange's deadline, and the run being abandoned.
struct DnsBounds {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    std::stop_token stop;
};

// The channel settings for settings; nothing when its server address cannot be read.
std::optional<DnsChannelSettings> ChannelSettingsFor(const DnsSettings &settings);
// The verdict of an NS query's end.
DelegationResult DelegationFrom(const DnsQueryResult &query, const DnsSettings &settings);

// Never raises: every failure is a Failed result with its reason in detail.
DelegationResult CheckDelegation(const std::string &name, const DnsSettings &settings = {},
                                 const DnsBounds &bounds = {});

} // namespace registry
