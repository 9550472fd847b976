#pragma once

#include "net/HostLimiter.h"
#include "net/IdSSLConnectionIntercept.h"
#include "registry/CancellableWait.h"
#include "registry/DnsDelegation.h"
#include "probes/Probe.h"
#include "probes/ServiceAddresses.h"
#include "registry/PublicSuffixList.h"
#include "registry/RdapBootstrap.h"

#include <chrono>
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
    // Bootstrap files merged over the built-in table in order, each replacing entries.
    std::vector<std::string> bootstrapFiles;
    registry::DnsSettings dns;
};

// What the registry checks of one run share: the trust store, the bootstrap table, the public
// suffixes, the per-host RDAP limits and the waits for Retry-After. The waits and the limits end
// when the run that waits stops or is abandoned (its socket layer's QueuedWaitsToken): the context
// outlives runs and keeps no cancellation of its own.
class RegistryContext {
public:
    // Raises EIdTLSError when the trusted certificates cannot be loaded, ERdapBootstrapError for
    // a bootstrap file that cannot be used, EPublicSuffixError without a public suffix list.
    explicit RegistryContext(const RegistrySettings &settings);

    const registry::DnsSettings &Dns() const { return dns_; }
    const registry::RdapBootstrap &Bootstrap() const { return bootstrap_; }
    const registry::PublicSuffixList &Suffixes() const { return suffixes_; }
    const std::shared_ptr<const net::TlsClientContext> &Tls() const { return tls_; }
    net::HostLimiter &Limiter() { return limiter_; }
    // False when stop was raised before the wait ended.
    bool Wait(std::chrono::milliseconds length, std::stop_token stop = {}) {
        return waits_.WaitFor(length, std::move(stop));
    }

private:
    registry::DnsSettings dns_;
    registry::RdapBootstrap bootstrap_;
    registry::PublicSuffixList suffixes_;
    std::shared_ptr<const net::TlsClientContext> tls_;
    net::HostLimiter limiter_;
    registry::CancellableWait waits_;
};

// Availability by the registries' records: the name's delegation, then RDAP. Fills the
// availability, the evidence ("dns" or "rdap"), and for a registration RDAP knows, the expiry
// (YYYY-MM-DD) and the registrar.
class RegistryProbe : public Probe {
public:
    explicit RegistryProbe(std::shared_ptr<RegistryContext> shared);

    std::vector<std::string> Fills() const override {
        return {std::string(base::field::kAvailable), std::string(base::field::kEvidence),
                std::string(base::field::kExpires), std::string(base::field::kRegistrar)};
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
