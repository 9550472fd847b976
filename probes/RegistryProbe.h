#pragma once

#include "net/HostLimiter.h"
#include "net/IdSSLConnectionIntercept.h"
#include "probes/Probe.h"
#include "probes/ServiceAddresses.h"
#include "registry/AnswerCache.h"
#include "registry/CancellableWait.h"
#include "registry/DnsDelegation.h"
#include "registry/ParkingServices.h"
#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"
#include "registry/RegistryData.h"
#include "registry/WhoisPacer.h"
#include "registry/WhoisServers.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace probes {

// How a run asks the registries.
struct RegistrySettings {
    // Trusted certificates for the RDAP servers; empty: the system's trust store.
    net::TlsSettings tls;
    // Where the copies of IANA's bootstrap file are (none: the compiled-in copy alone); the
    // newest is the table.
    registry::RegistryDataSources dataSources;
    // The lists of parking services' name servers, in order (registry::DefaultParkingFiles);
    // none: no name is marked parked.
    std::vector<std::filesystem::path> parkingFiles;
    // Bootstrap files merged over that table in order, each replacing entries.
    std::vector<std::string> bootstrapFiles;
    // WHOIS servers files merged over the built-in table in order, each replacing entries.
    std::vector<std::string> whoisServersFiles;
    // Requests a second to one RDAP server at most (halved for a server that answers "too
    // many requests"); at most 4 at once besides.
    double rdapRate = 10;
    // The pause between two queries to one WHOIS server.
    std::chrono::milliseconds whoisPace{1000};
    registry::DnsSettings dns;
    // Answers kept between runs; none: every name asks the registries. Opened by whoever
    // makes the run's context (core::ChooseCheckSetup), shared by its threads.
    std::shared_ptr<registry::AnswerCache> cache;
    // How long the answers of a run are kept, when there is a cache.
    registry::CacheLifetimes cacheLifetimes;
    // Asks the registry about delegated names too, and takes no answer kept from DNS alone: a
    // check of watched names wants each one's status and expiry.
    bool askWhenDelegated = false;
};

// What the registry checks of one run share: the trust store, the bootstrap table, the WHOIS
// servers, the public suffixes, the per-host RDAP limits, the WHOIS pacing and the waits for
// Retry-After. The waits and the limits end
// when the run that waits stops or is abandoned (its socket layer's QueuedWaitsToken): the context
// outlives runs and keeps no cancellation of its own.
class RegistryContext {
public:
    // Raises EIdTLSError when the trusted certificates cannot be loaded, ERdapBootstrapError for
    // a bootstrap file that cannot be used, EWhoisServersError for such a WHOIS servers file,
    // EPublicSuffixError without a public suffix list.
    explicit RegistryContext(const RegistrySettings &settings);

    const registry::DnsSettings &Dns() const { return dns_; }
    const registry::RdapBootstrap &Bootstrap() const { return bootstrap_; }
    // A copy of the registry data or a parking list passed over because it could not be read,
    // one line each.
    const std::vector<std::string> &DataNotes() const { return dataNotes_; }
    const registry::PublicSuffixList &Suffixes() const { return suffixes_; }
    const std::shared_ptr<const net::TlsClientContext> &Tls() const { return tls_; }
    const registry::WhoisServers &WhoisServers() const { return whoisServers_; }
    net::HostLimiter &Limiter() { return limiter_; }
    // Nothing when the run keeps no answers.
    registry::AnswerCache *Cache() const { return cache_.get(); }
    registry::WhoisPacer &Pacer() { return pacer_; }
    const registry::ParkingServices &Parking() const { return parking_; }
    bool AskWhenDelegated() const { return askWhenDelegated_; }
    // False when stop was raised before the wait ended.
    bool Wait(std::chrono::milliseconds length, std::stop_token stop = {}) {
        return waits_.WaitFor(length, std::move(stop));
    }

private:
    registry::DnsSettings dns_;
    std::vector<std::string> dataNotes_;
    registry::RdapBootstrap bootstrap_;
    registry::PublicSuffixList suffixes_;
    std::shared_ptr<const net::TlsClientContext> tls_;
    registry::WhoisServers whoisServers_;
    net::HostLimiter limiter_;
    registry::WhoisPacer pacer_;
    registry::CancellableWait waits_;
    std::shared_ptr<registry::AnswerCache> cache_;
    registry::ParkingServices parking_;
    bool askWhenDelegated_ = false;
};

// Availability by the registries' records: an answer kept from an earlier run, else the name's
// delegation, then RDAP or WHOIS. Fills the availability, the evidence ("dns", "rdap", "whois",
// "cache (rdap)"), and for a registration the registry describes, the expiry (YYYY-MM-DD), the
// registrar and the status words; for an Unknown name the evidence says why ("rdap: no answer").
// A taken name, and only a taken one, is asked for its "_for-sale" sign ("for sale" and the
// offer) and, when its delegation named name servers, matched against the parking services
// ("parked" and the service in the evidence).
class RegistryProbe : public Probe {
public:
    explicit RegistryProbe(std::shared_ptr<RegistryContext> shared);

    std::vector<std::string> Fills() const override {
        return {std::string(base::field::kAvailable), std::string(base::field::kEvidence),
                std::string(base::field::kExpires),   std::string(base::field::kRegistrar),
                std::string(base::field::kStatus),    std::string(base::field::kOffer)};
    }
    bool OnlyForAvailable() const override { return false; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;

private:
    std::shared_ptr<RegistryContext> registry_;
};

// The user's own bootstrap file, ${XDG_DATA_HOME:-~/.local/share}/Nimbrel/rdap-bootstrap.json,
// when it exists.
std::optional<std::string> UserBootstrapFile();

// The probes of the registry check: availability by the registries, then link popularity and
// traffic rank for free names.
ProbeList RegistryProbes(std::shared_ptr<RegistryContext> shared,
                         const ServiceAddresses &services = {});

} // namespace probes
