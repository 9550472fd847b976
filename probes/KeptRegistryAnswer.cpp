#include "probes/KeptRegistryAnswer.h"

#include "registry/AnswerCache.h"

namespace probes {

std::optional<RegistryAnswer> AnswerFromCache(registry::AnswerCache *cache,
                                              const std::string &name) {
    if (!cache)
        return std::nullopt;
    const std::optional<registry::KeptAnswer> kept = cache->Lookup(name);
    if (!kept)
        return std::nullopt;
    RegistryAnswer answer;
    answer.available =
        kept->verdict == registry::KeptVerdict::Taken ? Availability::Taken : Availability::Free;
    answer.evidence = "cache (" + std::string(registry::AnswerSourceWord(kept->source)) + ")";
    answer.expires = kept->expires;
    answer.registrar = kept->registrar;
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
    kept.decided = cache->Now();
    cache->Keep(name, kept);
}

} // namespace probes
