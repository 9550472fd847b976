#include "platform/UserDataFolder.h"

#include <cstdlib>

namespace platform {

std::optional<std::filesystem::path> UserDataFolder() {
    if (const char *data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::filesystem::path(data) / "Nimbrel";
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local" / "share" / "Nimbrel";
    return std::nullopt;
}

} // namespace platform
