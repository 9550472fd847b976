#include "platform/ProgramDataFolder.h"

#include <system_error>

namespace platform {

std::vector<std::filesystem::path> ProgramDataFolders() {
    std::error_code error;
    // The link resolves to the executable itself, not to a link to it in bin/.
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty())
        return {};
    const std::filesystem::path folder = executable.parent_path();
    return {(folder / ".." / "share" / "nimbrel").lexically_normal(),
            (folder / ".." / ".." / "share" / "nimbrel").lexically_normal()};
}

} // namespace platform
