#pragma once

#include "base/MemoryStream.h"

#include <string>

// The web probes that a check run applies to a candidate name. Each probe creates its own HTTP
// client for one GET and destroys it before returning; no state survives a call.
namespace net {

// What the check run and the result list ask of the web. Tests substitute a scripted
// implementation so that a run needs no network.
class Probes {
public:
    virtual ~Probes() = default;

    // "No" when the server at url answers 200 or 302, "Yes" in every other case. A socket layer
    // that cannot start raises its EIdException from here; every other failure is absorbed.
    virtual std::string CheckAvailability(const std::string &url, int port) = 0;
    // The search engine's hit count for links to www.<name>, "0" when none is found, "" after
    // an unexpected failure. Never raises.
    virtual std::string GetLinkPopularity(const std::string &name) = 0;
    // The ranking service's rank for www.<name>: a run of digits, possibly empty. Never raises.
    virtual std::string GetTrafficRank(const std::string &name) = 0;
};

// The probes over the real HTTP client, at the current service addresses.
class WebProbes : public Probes {
public:
    std::string CheckAvailability(const std::string &url, int port) override;
    std::string GetLinkPopularity(const std::string &name) override;
    std::string GetTrafficRank(const std::string &name) override;
};

// The free functions behind WebProbes. The check run passes "http://www." + name and 80.
std::string CheckAvailability(const std::string &url, int port);
std::string GetLinkPopularity(const std::string &name);
std::string GetTrafficRank(const std::string &name);

// Up to 10 characters after the first "." of name; "" when there is no dot or nothing after it.
std::string ExtractSuffix(const std::string &name);
std::string ReverseText(const std::string &text);

// GETs url into stream (at its position); every failure of the GET is absorbed, so the stream
// holds whatever body arrived, an error page's included.
void FetchPage(const std::string &url, base::TStringStream &stream, int port);

// Every occurrence of pattern (ASCII case ignored) replaced; an empty pattern changes nothing.
std::string ReplaceAllText(const std::string &text, const std::string &pattern,
                           const std::string &replacement);
// text without any ",", "." or " ".
std::string StripSeparators(const std::string &text);

// The two services the probes read, as "http://" + host. One process-wide setting; tests and
// the headless front end replace it.
struct ServiceAddresses {
    std::string SearchEngine = "http://search.yahoo.com";
    std::string RankingService = "http://www.alexa.com";
};

const ServiceAddresses &CurrentServiceAddresses();
// Installs addresses and returns the ones they replace.
ServiceAddresses SetServiceAddresses(const ServiceAddresses &addresses);

// Replaces the service addresses for the lifetime of a scope.
class ScopedServiceAddresses {
public:
    explicit ScopedServiceAddresses(const ServiceAddresses &addresses)
        : previous_(SetServiceAddresses(addresses)) {}
    ~ScopedServiceAddresses() { SetServiceAddresses(previous_); }
    ScopedServiceAddresses(const ScopedServiceAddresses &) = delete;
    ScopedServiceAddresses &operator=(const ScopedServiceAddresses &) = delete;

private:
    ServiceAddresses previous_;
};

} // namespace net
