#pragma once

#include "net/IdSSLConnectionIntercept.h"
#include "net/NetworkContext.h"
#include "registry/RegistryData.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Fetches IANA's current RDAP bootstrap file for DNS over verified TLS into the user's copy of
// the registry data. The fetched file is kept only when it is a bootstrap file, says when it was
// published and is newer than the data in use; it replaces the user's copy atomically, so a run
// reading it sees the old copy or the new one. Bounded: at most kLargestRegistryData bytes, and
// the network context's deadline for the whole exchange.
namespace registry {

inline constexpr const char *kIanaRdapDnsUrl = "https://data.iana.org/rdap/dns.json";
// IANA's file is some 40 KB; a hundred times that is no bootstrap file.
inline constexpr std::int64_t kLargestRegistryData = 4 * 1024 * 1024;

enum class UpdateOutcome { Replaced, AlreadyCurrent, Refused };

struct RegistryDataUpdate {
    UpdateOutcome outcome = UpdateOutcome::Refused;
    // Why it was refused, in a few words; or the file written.
    std::string detail;
    // When the fetched file and the data in use before were published, where known.
    std::optional<std::chrono::sys_seconds> fetched;
    std::optional<std::chrono::sys_seconds> inUse;
};

struct UpdateSettings {
    // Only an https address is fetched.
    std::string url = kIanaRdapDnsUrl;
    // The time-outs, the routes and the interruption of the exchange.
    net::NetworkContext network;
    std::shared_ptr<const net::TlsClientContext> tls;
    // The data in use now, and where the user's copy is written.
    RegistryDataSources sources;
};

RegistryDataUpdate UpdateRegistryData(const UpdateSettings &settings);

// What an update did, in a sentence for people.
std::string UpdateReport(const RegistryDataUpdate &update);

} // namespace registry
