#pragma once

#include "core/SearchOptions.h"

// Loading and storing the search options in the per-user store. None of these reports anything:
// a missing key or value leaves the default, a failed write is ignored.
namespace core {

inline constexpr const char *kSetupKey = "\\Software\\Pellwick\\Brindlemark\\Setup";

// Fills `searchfor` (1 when nothing readable is stored) and `searchmode` (0 likewise).
void LoadSearchMode(SearchOptions &options);
// Fills COM, NET, ORG, hyphens, acronyms, BIZ, US, INFO, COUK, show, reg, jobs, check, suffixes,
// linksfrom, rankfrom, cache, before, after, commonaffixes, suffixhacks and maxlength. The first
// unreadable flag of the first nine ends the load.
void LoadSettings(SearchOptions &options);
// Writes "searchfor" and "searchmode", creating the key when needed.
void StoreSearchMode(const SearchOptions &options);
// Writes the settings in order; the first failed write ends the store.
void StoreSettings(const SearchOptions &options);

} // namespace core
