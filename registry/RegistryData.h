#pragma once

#include "registry/RdapBootstrap.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Which copy of IANA's RDAP bootstrap file for DNS a run uses: the newest of the copy compiled
// into the program, the one installed with it (share/nimbrel/rdap-dns.json) and the user's own
// (${XDG_DATA_HOME:-~/.local/share}/Nimbrel/rdap-dns.json, which the update writes). A copy that
// cannot be read is passed over with a note, so a damaged file never leaves a run without data.
namespace registry {

inline constexpr const char *kRegistryDataFileName = "rdap-dns.json";
// Data older than this is said to be old: registries move their RDAP servers now and then.
inline constexpr std::chrono::days kOldRegistryData{180};

enum class RegistryDataOrigin { CompiledIn, Installed, User };

struct RegistryDataSources {
    // Folders that may hold the copy installed with the program, nearest first; the first that
    // holds one is asked.
    std::vector<std::filesystem::path> installedFolders;
    // The user's copy; nothing when there is no user data folder.
    std::optional<std::filesystem::path> userFile;
};

struct RegistryData {
    RdapBootstrap bootstrap;
    RegistryDataOrigin origin = RegistryDataOrigin::CompiledIn;
    // The file read; empty for the compiled-in copy.
    std::filesystem::path file;
    // Copies passed over because they could not be read, one sentence each.
    std::vector<std::string> notes;
};

// The installed folders beside the executable and the user's file in the user data folder.
RegistryDataSources DefaultRegistryDataSources();

// The newest readable copy; on equal publication times the installed copy wins over the
// compiled-in one and the user's over both. A copy that does not say when it was published
// never replaces one that does.
RegistryData LoadRegistryData(const RegistryDataSources &sources);

// Whether data published at publication is more than kOldRegistryData old on today. Data that
// does not say when it was published is not called old.
bool IsRegistryDataOld(std::optional<std::chrono::sys_seconds> publication,
                       std::chrono::sys_days today);

// Today by the system clock, in UTC.
std::chrono::sys_days Today();

} // namespace registry
