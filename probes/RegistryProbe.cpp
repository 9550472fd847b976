#include "probes/RegistryProbe.h"

#include "platform/UserDataFolder.h"
#include "probes/KeptRegistryAnswer.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/RegistryCheck.h"
#include "probes/SaleMarks.h"
#include "probes/TrafficRankProbe.h"
#include "registry/RdapClient.h"
#include "registry/WhoisClient.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace probes {
namespace {

std::shared_ptr<const net::TlsClientContext> MakeTls(const net::TlsSettings &settings) {
    return std::make_shared<const net::TlsClientContext>(settings);
}

registry::RdapBootstrap MakeBootstrap(const RegistrySettings &settings,
                                      std::vector<std::string> &notes) {
    registry::RegistryData data = registry::LoadRegistryData(settings.dataSources);
    notes = std::move(data.notes);
    for (const std::string &file : settings.bootstrapFiles)
        data.bootstrap.MergeFile(file);
    return std::move(data.bootstrap);
}

void SetIfKnown(DomainRecord &record, std::string_view key, std::string value) {
    if (!value.empty())
        record.SetField(key, std::move(value));
}

std::string Joined(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

registry::ParkingServices MakeParking(const std::vector<std::filesystem::path> &files,
                                      std::vector<std::string> &notes) {
    registry::ParkingServices parking;
    for (const std::filesystem::path &file : files)
        if (auto note = parking.AddFile(file))
            notes.push_back(std::move(*note));
    return parking;
}

registry::WhoisServers MakeWhoisServers(const std::vector<std::string> &files) {
    registry::WhoisServers servers = registry::WhoisServers::BuiltIn();
    for (const std::string &file : files)
        servers.MergeFile(file);
    return servers;
}

} // namespace

RegistryContext::RegistryContext(const RegistrySettings &settings)
    : dns_(settings.dns), bootstrap_(MakeBootstrap(settings, dataNotes_)),
      tls_(MakeTls(settings.tls)), whoisServers_(MakeWhoisServers(settings.whoisServersFiles)),
      limiter_({.atOnce = 4, .rate = settings.rdapRate}), pacer_(settings.whoisPace),
      cache_(settings.cache), parking_(MakeParking(settings.parkingFiles, dataNotes_)),
      askWhenDelegated_(settings.askWhenDelegated) {}

RegistryProbe::RegistryProbe(std::shared_ptr<RegistryContext> shared)
    : registry_(std::move(shared)) {}

void RegistryProbe::Run(DomainRecord &record, const net::NetworkContext &context,
                        const Pause &pause) const {
    registry::RdapSettings settings;
    settings.network = context;
    settings.connectTimeoutMs = context.ConnectTimeout;
    settings.readTimeoutMs = context.ReadTimeout;
    const std::shared_ptr<RegistryContext> shared = registry_;
    // A retry's wait ends early when the context's run stops or is abandoned; the registry
    // context itself outlives the run and serves the next one.
    const std::shared_ptr<net::SocketLayer> sockets = context.Sockets;
    registry::RdapClient rdap(settings, shared->Tls(), shared->Limiter(),
                              [shared, sockets](std::chrono::milliseconds length) {
                                  return shared->Wait(length, sockets->QueuedWaitsToken());
                              });
    // The delegation query is an exchange of its own: bounded like one, ended by the abandon.
    const registry::DnsBounds dnsBounds{
        std::chrono::steady_clock::now() +
            std::chrono::milliseconds(std::max(context.RequestTimeout, 0)),
        sockets->InterruptToken()};
    PauseIfAsked(pause);
    // The pacer's waits end when the run stops or is abandoned (the client's default token).
    const registry::WhoisClient whois(context, &shared->Pacer());
    const RegistrySources sources{shared->Dns(),      shared->Bootstrap(),     rdap,
                                  shared->Suffixes(), &shared->WhoisServers(), &whois,
                                  shared->AskWhenDelegated()};
    // A delegation kept from an earlier run says nothing of the status asked for then.
    std::optional<RegistryAnswer> kept =
        AnswerFromCache(shared->Cache(), record.name, shared->AskWhenDelegated());
    RegistryAnswer answer =
        kept ? std::move(*kept)
             : CheckRegistry(record.name, sources, dnsBounds,
                             record.delegationFound ? &*record.delegationFound : nullptr);
    if (!kept)
        KeepInCache(shared->Cache(), record.name, answer);
    if (answer.stopped)
        throw ECheckStopped("The check of " + record.name + " was stopped: " + answer.detail);
    PauseIfAsked(pause);
    record.available = answer.available;
    record.nothingAnswered = NothingAnswered(answer.reasons);
    if (answer.evidence.empty())
        answer.evidence = ReasonsText(answer.reasons);
    SetIfKnown(record, base::field::kEvidence, std::move(answer.evidence));
    if (answer.available == Availability::Taken) {
        // The sign's query is an exchange of its own, with the same bounds as the delegation's.
        const registry::DnsBounds signBounds{
            std::chrono::steady_clock::now() +
                std::chrono::milliseconds(std::max(context.RequestTimeout, 0)),
            sockets->InterruptToken()};
        ApplySaleMarks(FindSaleMarks(record.name, answer.nameServers, shared->Dns(),
                                     shared->Parking(), signBounds),
                       answer.status, record);
    }
    SetIfKnown(record, base::field::kStatus, Joined(answer.status));
    SetIfKnown(record, base::field::kExpires, std::move(answer.expires));
    SetIfKnown(record, base::field::kRegistrar, std::move(answer.registrar));
}

std::optional<std::string> UserBootstrapFile() {
    // Neither XDG_DATA_HOME nor HOME: no file of the user's.
    const auto folder = platform::UserDataFolder();
    if (!folder)
        return std::nullopt;
    const std::filesystem::path file = *folder / "rdap-bootstrap.json";
    std::error_code error;
    if (std::filesystem::exists(file, error))
        return file.string();
    return std::nullopt;
}

ProbeList RegistryProbes(std::shared_ptr<RegistryContext> shared,
                         const ServiceAddresses &services) {
    return {std::make_shared<RegistryProbe>(std::move(shared)),
            std::make_shared<LinkPopularityProbe>(services.searchEngine),
            std::make_shared<TrafficRankProbe>(services.rankingService)};
}

} // namespace probes
