#pragma once

#include "probes/RegistryCheck.h"

#include <optional>
#include <string>

// The registry check's side of the answer cache: a kept answer read back as the check's own,
// and a decided answer handed to the cache. Both do nothing without a cache.
namespace registry {
class AnswerCache;
} // namespace registry

namespace probes {

// The kept answer for name, its evidence "cache (SOURCE)": it says both that no registry was
// asked now and which one decided first, and sorts apart from the answers asked this run.
// registryOnly passes over an answer that DNS alone gave.
std::optional<RegistryAnswer> AnswerFromCache(registry::AnswerCache *cache, const std::string &name,
                                              bool registryOnly = false);

// Keeps a free or taken answer whose evidence names its source; Unknown, a stopped check and
// an answer that itself came from the cache are never kept.
void KeepInCache(registry::AnswerCache *cache, const std::string &name,
                 const RegistryAnswer &answer);

} // namespace probes
