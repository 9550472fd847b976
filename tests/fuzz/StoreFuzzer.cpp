// Feeds arbitrary bytes to the per-user store as the settings key's file. The parser's values
// written out and parsed again must be the same values; and the search options loaded from the
// file, stored and loaded again must be the same options. A crash, a leak, undefined behaviour,
// an escaping exception or a difference is a finding.
#include "core/OptionsStore.h"
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

std::filesystem::path setupFile;

auto Fields(const core::SearchOptions &options) {
    return std::tuple(options.searchfor(), options.show(), options.COM, options.NET, options.ORG,
                      options.hyphens, options.acronyms, options.reg);
}

core::SearchOptions Load() {
    core::SearchOptions options;
    core::LoadSearchMode(options);
    core::LoadSettings(options);
    return options;
}

bool SameValues(const platform::RegValues &a, const platform::RegValues &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].first != b[i].first || a[i].second.type != b[i].second.type ||
            a[i].second.data != b[i].second.data)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // A store of its own in memory: every run writes the key's file several times.
    std::string folder = "/dev/shm/nimbrel-store-fuzz-XXXXXX";
    if (!::mkdtemp(folder.data()))
        std::abort();
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    setupFile = platform::KeyFile(core::kSetupKey);
    std::filesystem::create_directories(setupFile.parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const platform::RegValues values = platform::ParseKeyFile(text);
    const platform::RegValues again =
        platform::ParseKeyFile(platform::FormatKeyFile(core::kSetupKey, values));
    if (!SameValues(values, again))
        __builtin_trap();

    std::ofstream(setupFile, std::ios::binary | std::ios::trunc) << text;
    const core::SearchOptions loaded = Load();
    core::StoreSearchMode(loaded);
    core::StoreSettings(loaded);
    if (Fields(Load()) != Fields(loaded))
        __builtin_trap();
    return 0;
}
