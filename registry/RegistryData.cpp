#include "registry/RegistryData.h"

#include "platform/ProgramDataFolder.h"
#include "platform/UserDataFolder.h"

#include <system_error>
#include <utility>

namespace registry {
namespace {

// Whether a copy published at candidate may replace one published at current.
bool NotOlder(const std::optional<std::chrono::sys_seconds> &candidate,
              const std::optional<std::chrono::sys_seconds> &current) {
    if (!candidate)
        return !current;
    return !current || *candidate >= *current;
}

bool IsFile(const std::filesystem::path &path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Replaces data with the copy at path when that copy can be read and is not older.
void Consider(RegistryData &data, const std::filesystem::path &path, RegistryDataOrigin origin) {
    try {
        RdapBootstrap candidate = RdapBootstrap::ReadFile(path.string());
        if (!NotOlder(candidate.Publication(), data.bootstrap.Publication()))
            return;
        data.bootstrap = std::move(candidate);
        data.origin = origin;
        data.file = path;
    } catch (const ERdapBootstrapError &failure) {
        data.notes.push_back(failure.Message() + " It is passed over.");
    }
}

} // namespace

RegistryDataSources DefaultRegistryDataSources() {
    RegistryDataSources sources;
    sources.installedFolders = platform::ProgramDataFolders();
    if (const auto folder = platform::UserDataFolder())
        sources.userFile = *folder / kRegistryDataFileName;
    return sources;
}

RegistryData LoadRegistryData(const RegistryDataSources &sources) {
    RegistryData data{RdapBootstrap::BuiltIn(), RegistryDataOrigin::CompiledIn, {}, {}};
    for (const std::filesystem::path &folder : sources.installedFolders) {
        const std::filesystem::path file = folder / kRegistryDataFileName;
        if (!IsFile(file))
            continue;
        Consider(data, file, RegistryDataOrigin::Installed);
        break;
    }
    if (sources.userFile && IsFile(*sources.userFile))
        Consider(data, *sources.userFile, RegistryDataOrigin::User);
    return data;
}

bool IsRegistryDataOld(std::optional<std::chrono::sys_seconds> publication,
                       std::chrono::sys_days today) {
    if (!publication)
        return false;
    return today - std::chrono::floor<std::chrono::days>(*publication) > kOldRegistryData;
}

std::chrono::sys_days Today() {
    return std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
}

} // namespace registry
