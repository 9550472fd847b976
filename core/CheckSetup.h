#pragma once

#include "base/Exception.h"
#include "core/DelegationStage.h"
#include "core/SearchOptions.h"
#include "probes/Probe.h"
#include "probes/RegistryProbe.h"
#include "probes/ServiceAddresses.h"
#include "rankindex/RankIndex.h"
#include "results/Columns.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {

// The options ask for an index that is not there or cannot be read.
class ENoIndex : public base::Exception {
public:
    using Exception::Exception;
};

// What a run asks and how its list shows the answers.
struct CheckSetup {
    probes::ProbeList probes;
    // The standard columns; a detail answered from an index says in its caption that a smaller
    // position is better ("Links (rank)", "Traffic rank"). The keys stay those of the web check.
    results::Columns columns = results::Columns::Standard();
    // An index that was there but could not be read, so the web answers instead; a copy of the
    // registry data that could not be read.
    std::vector<std::string> notes;
    // For a registry check: when the RDAP registry data in use was published, where it says.
    std::optional<std::chrono::sys_seconds> registryDataPublished;
    // The registry check's runs of many names resolve delegation ahead of the checks.
    std::optional<DelegationAhead> delegationAhead;
    // The web-graph index the run reads, when it reads one; a search of linked names takes its
    // names from it.
    std::shared_ptr<const rankindex::RankIndex> webGraph;
};

inline constexpr const char *kLinksFromIndexCaption = "Links (rank)";
inline constexpr const char *kRankFromIndexCaption = "Traffic rank";

// What a search of linked names says when the web-graph index holds no names.
inline constexpr const char *kHashOnlyIndexText =
    "the web graph index holds hashes only: re-import to search by keyword";

// Availability by options.check(): the registry check (its registry context made here, for
// this run alone, from registry, with the user's answer cache opened here when options.cache
// and registry brings none; a cache that cannot be had is a note) or the web site's answer; link
// popularity and traffic rank each from its index in indexFolder (none when empty) where
// options.linksFrom() / rankFrom() let it and the index is there, else from the web. Each index is
// mapped here, once for the run, and shared read-only by the run's probes on every thread. ENoIndex
// when a choice of kFromIndex cannot be met. A search of linked names (options.searchmode())
// needs the web-graph index whatever linksFrom() says, and one with its names: ENoIndex
// otherwise; its probe then answers for every name, taken ones too. What RegistryContext raises for
// a trust store or bootstrap file that cannot be used passes. The web's details come from services.
CheckSetup ChooseCheckSetup(const SearchOptions &options, const std::filesystem::path &indexFolder,
                            const probes::RegistrySettings &registry = {},
                            const probes::ServiceAddresses &services = {});

// The per-user index folder; empty when there is none (no XDG_DATA_HOME and no HOME).
std::filesystem::path UserIndexFolder();

} // namespace core
