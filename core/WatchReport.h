#pragma once

#include "core/ExpectedRelease.h"
#include "core/WatchList.h"

#include <chrono>
#include <optional>
#include <string>

// What the watch list tells a person: a name's state in a few words, the line of a change, its
// expected release and the desktop notice of a name that became free or entered its last days.
// Shared by nimbrel-cli and the window so that both say the same.
namespace core {

// "No (redemption period)", "Yes", "No".
std::string StateText(const WatchState &state);
// "example.com: No (active) -> No (redemption period)"; "not checked" before the first check.
std::string ChangeLine(const WatchChange &change);

// The expected release of a watched name by its last check; nothing when the rules give none
// or the name is free.
std::optional<ExpectedRelease> ReleaseOf(const WatchedName &name, std::chrono::sys_days today);
std::optional<ExpectedRelease> ReleaseOf(const WatchState &state,
                                         std::optional<std::chrono::system_clock::time_point> since,
                                         std::chrono::sys_days today);

struct WatchNotice {
    std::string summary;
    std::string body;
};

// A notice for a change that made a name free, or put it in "pending delete" (its last days
// before release), since a check that saw it otherwise; nothing for any other change and for a
// name's first check, which has nothing to compare with.
std::optional<WatchNotice> NoticeFor(const WatchChange &change, std::chrono::sys_days today);

// "2026-12-08 09:30" in UTC.
std::string TimeText(std::chrono::system_clock::time_point time);

} // namespace core
