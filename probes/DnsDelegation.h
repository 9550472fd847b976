#pragma once

#include <string>
#include <vector>

// Whether a name is delegated: an NS query through the system's resolver library (glibc's
// res_nquery on a resolver state of the call's own, so calls on many threads are safe),
// bounded in time.
namespace probes {

struct DnsSettings {
    // The resolver as "address" or "address:port" (IPv4); empty: the name servers of
    // /etc/resolv.conf.
    std::string server;
    // The wait for each try, in whole seconds (the resolver library's unit), and the tries.
    int timeoutSeconds = 3;
    int attempts = 2;
};

enum class Delegation {
    Delegated,    // NOERROR with NS records in the answer
    NotDelegated, // NXDOMAIN, or NOERROR without NS records
    Failed        // SERVFAIL, no answer in time, any other failure
};

struct DelegationResult {
    Delegation state = Delegation::Failed;
    // What the resolver said, for a person: "2 NS records", "NXDOMAIN", "no answer within 3 s".
    std::string detail;
    std::vector<std::string> nameServers;
};

// Never raises: every failure is a Failed result with its reason in detail.
DelegationResult CheckDelegation(const std::string &name, const DnsSettings &settings = {});

} // namespace probes
