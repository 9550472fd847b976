#pragma once

#include <filesystem>
#include <optional>

// The per-user data folder of the program: ${XDG_DATA_HOME:-$HOME/.local/share}/Nimbrel. The
// indexes, the user's RDAP bootstrap file and WHOIS servers file live there.
namespace platform {

// Nothing when neither XDG_DATA_HOME nor HOME is set.
std::optional<std::filesystem::path> UserDataFolder();

} // namespace platform
