#pragma once

#include <filesystem>
#include <optional>

// The per-user cache folder of the program: ${XDG_CACHE_HOME:-$HOME/.cache}/Nimbrel. What lives
// there can be thrown away at any time (the registry answers kept between runs).
namespace platform {

// Nothing when neither XDG_CACHE_HOME nor HOME is set.
std::optional<std::filesystem::path> UserCacheFolder();

} // namespace platform
