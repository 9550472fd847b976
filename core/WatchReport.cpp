#include "core/WatchReport.h"

#include <cstdio>

namespace core {
namespace {

using namespace std::chrono;

bool IsPendingDelete(const WatchState &state) {
    return state.available == probes::Availability::Taken &&
           PhaseOf(state.StatusWords()) == LifecyclePhase::PendingDelete;
}

} // namespace

std::string StateText(const WatchState &state) {
    const std::string word(probes::AvailabilityWord(state.available));
    return state.status.empty() ? word : word + " (" + state.status + ")";
}

std::string ChangeLine(const WatchChange &change) {
    return change.name + ": " + (change.before ? StateText(*change.before) : "not checked") +
           " -> " + StateText(change.after);
}

std::optional<ExpectedRelease>
ReleaseOf(const WatchState &state, std::optional<system_clock::time_point> since, sys_days today) {
    if (state.available != probes::Availability::Taken)
        return std::nullopt;
    ReleaseFacts facts;
    facts.status = state.StatusWords();
    facts.expires = DayFromText(state.expires);
    if (since)
        facts.phaseSince = floor<days>(*since);
    return ExpectRelease(facts, today);
}

std::optional<ExpectedRelease> ReleaseOf(const WatchedName &name, sys_days today) {
    if (!name.state)
        return std::nullopt;
    return ReleaseOf(*name.state, name.phaseSince, today);
}

std::optional<WatchNotice> NoticeFor(const WatchChange &change, sys_days today) {
    if (!change.before)
        return std::nullopt;
    const WatchState &before = *change.before;
    if (change.after.available == probes::Availability::Free &&
        before.available != probes::Availability::Free)
        return WatchNotice{change.name + " is free",
                           change.name + " can be registered now; it was " + StateText(before) +
                               " at the check before."};
    if (IsPendingDelete(change.after) && !IsPendingDelete(before)) {
        std::string body = change.name + " is in its last days before the registry releases it";
        if (const auto release = ReleaseOf(change.after, change.phaseSince, today))
            body += "; expected free on " + ReleaseText(*release);
        return WatchNotice{change.name + " is pending delete", body + "."};
    }
    return std::nullopt;
}

std::string TimeText(system_clock::time_point time) {
    const auto day = floor<days>(time);
    const hh_mm_ss clock(floor<minutes>(time - day));
    char text[32];
    std::snprintf(text, sizeof text, " %02d:%02d", static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()));
    return DayText(day) + text;
}

} // namespace core
