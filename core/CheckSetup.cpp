#include "core/CheckSetup.h"

#include "probes/AvailabilityProbe.h"
#include "probes/KeptRegistryAnswer.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/RankIndexProbe.h"
#include "probes/TrafficRankProbe.h"
#include "rankindex/ImportError.h"
#include "rankindex/RankImport.h"

#include <memory>

namespace core {
namespace {

using rankindex::RankKind;

// The kind's index when the choice lets it and it can be used; nullptr for the web.
std::shared_ptr<const rankindex::RankIndex> OpenChosen(std::int32_t choice, RankKind kind,
                                                       const std::filesystem::path &folder,
                                                       std::vector<std::string> &notes) {
    if (choice == kFromWeb)
        return nullptr;
    const std::string kindName = rankindex::RankKindName(kind);
    const std::filesystem::path path =
        folder.empty() ? std::filesystem::path() : rankindex::IndexPath(folder, kind);
    std::error_code ignored;
    if (path.empty() || !std::filesystem::exists(path, ignored)) {
        if (choice == kFromIndex)
            throw ENoIndex("no " + kindName + " index" +
                           (path.empty() ? std::string() : " at " + path.string()) +
                           "; import one first");
        return nullptr;
    }
    try {
        auto index = std::make_shared<const rankindex::RankIndex>(path);
        if (index->Info().kind != kind)
            throw rankindex::EIndexError(path.string() + " holds no " + kindName);
        return index;
    } catch (const rankindex::EIndexError &error) {
        if (choice == kFromIndex)
            throw ENoIndex(error.Message());
        notes.push_back(error.Message() + "; asking the web instead");
        return nullptr;
    }
}

// The registry settings with the run's answer cache when options keep answers: the user's cache
// file, opened once for the run. A run that cannot have it runs without it and says so.
probes::RegistrySettings WithCache(const SearchOptions &options, probes::RegistrySettings registry,
                                   std::vector<std::string> &notes) {
    if (!options.cache || registry.cache)
        return registry;
    try {
        registry.cache = std::make_shared<registry::AnswerCache>(
            registry::AnswerCache::DefaultFile(), registry.cacheLifetimes);
        if (!registry.cache->Note().empty())
            notes.push_back(registry.cache->Note());
    } catch (const registry::ECacheError &error) {
        notes.push_back(error.Message() + "; every registry is asked");
    }
    return registry;
}

// The registry probe, and the delegation ahead of it that skips the names with a kept answer.
void AddRegistryCheck(CheckSetup &setup, const probes::RegistrySettings &registry) {
    auto context = std::make_shared<probes::RegistryContext>(registry);
    setup.registryDataPublished = context->Bootstrap().Publication();
    setup.notes.insert(setup.notes.end(), context->DataNotes().begin(), context->DataNotes().end());
    setup.probes.push_back(std::make_shared<probes::RegistryProbe>(context));
    const auto kept = [context](const std::string &name) {
        return probes::AnswerFromCache(context->Cache(), name, context->AskWhenDelegated())
            .has_value();
    };
    setup.delegationAhead = DelegationAhead{registry.dns, kept};
}

} // namespace

CheckSetup ChooseCheckSetup(const SearchOptions &options, const std::filesystem::path &indexFolder,
                            const probes::RegistrySettings &registry,
                            const probes::ServiceAddresses &services) {
    CheckSetup setup;
    const bool linked = options.searchmode() == kLinkedNames;
    const auto graph = OpenChosen(linked ? kFromIndex : options.linksFrom(), RankKind::WebGraph,
                                  indexFolder, setup.notes);
    if (linked && !graph->Names())
        throw ENoIndex(kHashOnlyIndexText);
    setup.webGraph = graph;
    const auto list = OpenChosen(options.rankFrom(), RankKind::RankList, indexFolder, setup.notes);
    if (options.check() == kCheckWeb)
        setup.probes.push_back(std::make_shared<probes::AvailabilityProbe>());
    else
        AddRegistryCheck(setup, WithCache(options, registry, setup.notes));
    if (graph) {
        setup.probes.push_back(std::make_shared<probes::RankIndexProbe>(
            graph,
            linked ? probes::RankIndexProbe::For::Every : probes::RankIndexProbe::For::Available));
        setup.columns = setup.columns.WithCaption(base::field::kLinks, kLinksFromIndexCaption);
    } else {
        setup.probes.push_back(
            std::make_shared<probes::LinkPopularityProbe>(services.searchEngine));
    }
    if (list) {
        setup.probes.push_back(std::make_shared<probes::RankIndexProbe>(list));
        setup.columns = setup.columns.WithCaption(base::field::kRank, kRankFromIndexCaption);
    } else {
        setup.probes.push_back(std::make_shared<probes::TrafficRankProbe>(services.rankingService));
    }
    return setup;
}

std::filesystem::path UserIndexFolder() {
    try {
        return rankindex::DefaultIndexFolder();
    } catch (const rankindex::EImportError &) {
        return {};
    }
}

} // namespace core
