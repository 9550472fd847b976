#include "probes/KeptRegistryAnswer.h"

#include "registry/AnswerCache.h"

#include <string_view>

namespace probes {
namespace {

// The status words are kept as the Status cell shows them: joined by ", ".
constexpr std::string_view kStatusSeparator = ", ";

std::string JoinedStatus(const std::vector<std::string> &words) {
    std::string joined;
    for (const std::string &word : words) {
        if (!joined.empty())
            joined.append(kStatusSeparator);
        joined.append(word);
    }
    return joined;
}

std::vector<std::string> SplitStatus(std::string_view joined) {
    std::vector<std::string> words;
    while (!joined.empty()) {
        const std::size_t end = joined.find(kStatusSeparator);
        words.emplace_back(joined.substr(0, end));
        if (end == std::string_view::npos)
            break;
        joined.remove_prefix(end + kStatusSeparator.size());
    }
    return words;
}

} // namespace

std::optional<RegistryAnswer> AnswerFromCache(registry::AnswerCache *cache,
                                              const std::string &name, bool registryOnly) {
    if (!cache)
        return std::nullopt;
    const std::optional<registry::KeptAnswer> kept = cache->Lookup(name);
    if (!kept || (registryOnly && kept->source == registry::AnswerSource::Dns))
        return std::nullopt;
    RegistryAnswer answer;
    answer.available =
        kept->verdict == registry::KeptVerdict::Taken ? Availability::Taken : Availability::Free;
    answer.evidence = "cache (" + std::string(registry::AnswerSourceWord(kept->source)) + ")";
    answer.expires = kept->expires;
    answer.registrar = kept->registrar;
    answer.status = SplitStatus(kept->status);
    answer.detail = "kept from an earlier answer";
    return answer;
}

void KeepInCache(registry::AnswerCache *cache, const std::string &name,
                 const RegistryAnswer &answer) {
    if (!cache || answer.stopped || answer.available == Availability::Unknown)
        return;
    const std::optional<registry::AnswerSource> source =
        registry::AnswerSourceFromWord(answer.evidence);
    if (!source)
        return;
    registry::KeptAnswer kept;
    kept.verdict = answer.available == Availability::Taken ? registry::KeptVerdict::Taken
                                                           : registry::KeptVerdict::Free;
    kept.source = *source;
    kept.expires = answer.expires;
    kept.registrar = answer.registrar;
    kept.status = JoinedStatus(answer.status);
    kept.decided = cache->Now();
    cache->Keep(name, kept);
}

} // namespace probes
