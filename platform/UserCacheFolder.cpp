#include "platform/UserCacheFolder.h"

#include <cstdlib>

namespace platform {

std::optional<std::filesystem::path> UserCacheFolder() {
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return std::filesystem::path(cache) / "Nimbrel";
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".cache" / "Nimbrel";
    return std::nullopt;
}

} // namespace platform
