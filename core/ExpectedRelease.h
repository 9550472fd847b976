#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// When a taken name is expected to become free, from the registry's lifecycle status and dates.
// The gTLD registries follow one deletion cycle (the figures and their sources are in the .cpp):
// a deleted name spends 30 days in "redemption period", then 5 days in "pending delete", and is
// then released; a name past its expiry may sit up to 45 days in "auto renew period" first.
// Only those fixed stretches are predictable. Whether a registrar deletes an expired name at
// all, or when in its auto-renew grace, whether the holder restores it during redemption, and
// the hour of the release are not: a date here is the registry cycle's, never a promise.
namespace core {

// Where a registration stands in the deletion cycle, from its status words.
enum class LifecyclePhase {
    Registered,    // none of the phases below
    AutoRenew,     // "auto renew period": past expiry, renewed by the registry for now
    Redemption,    // "redemption period": deleted, the holder may still restore it
    PendingDelete, // "pending delete" without redemption: the last days before release
};

// Which rule gave an expected date.
enum class ReleaseRule {
    RedemptionThenPendingDelete, // phase start + 30 + 5 days
    PendingDelete,               // phase start + 5 days
    AutoRenewGrace,              // expiry + 45 days, the earliest the name can be free
};

struct ExpectedRelease {
    std::chrono::sys_days date;
    ReleaseRule rule;
    // The date is the earliest possible one rather than the expected one.
    bool earliest = false;
};

// What the rules read about one registration.
struct ReleaseFacts {
    // The registry's status words, in any case and spacing ("pending delete", "pendingDelete").
    std::vector<std::string> status;
    // The registration's expiry, when the registry gave one.
    std::optional<std::chrono::sys_days> expires;
    // The day the registration was first seen in its present phase; the phase's own start is
    // no later, so a date from it is at worst a little late.
    std::optional<std::chrono::sys_days> phaseSince;
};

LifecyclePhase PhaseOf(const std::vector<std::string> &status);

// The expected release by the first rule that applies; nothing when the facts allow none (an
// active name, a phase without a start, an expiry still to come).
std::optional<ExpectedRelease> ExpectRelease(const ReleaseFacts &facts,
                                             std::chrono::sys_days today);

// "redemption period + 30 days + pending delete 5 days", for a person.
std::string_view ReleaseRuleText(ReleaseRule rule);
// "2027-01-12 (pending delete 5 days)", "2027-01-12 at the earliest (...)".
std::string ReleaseText(const ExpectedRelease &release);

// YYYY-MM-DD and back; nothing for text that is not such a date.
std::string DayText(std::chrono::sys_days day);
std::optional<std::chrono::sys_days> DayFromText(std::string_view text);

} // namespace core
