#include "core/ExpectedRelease.h"

#include <cstdio>

namespace core {
namespace {

using std::chrono::days;

// The registry lifecycle of the generic top-level domains, facts only (ICANN's published
// policies, public documents):
// - ICANN's Expired Domain Deletion Policy (EDDP) and the Redemption Grace Period (RGP) of the
//   gTLD registry agreements: a deleted name is held 30 days in "redemptionPeriod", where its
//   holder may restore it, then 5 days in "pendingDelete", after which the registry releases it;
// - the same agreements' auto-renew grace period: up to 45 days after the expiry, in
//   "autoRenewPeriod", during which the registrar may still delete or renew the name.
// Country-code registries set their own cycles; the same status words are read the same way.
constexpr days kRedemptionDays{30};
constexpr days kPendingDeleteDays{5};
constexpr days kAutoRenewDays{45};

// "Pending delete", "pendingDelete" and "pending_delete" are one word here.
std::string Folded(std::string_view word) {
    std::string folded;
    for (char c : word) {
        if (c == ' ' || c == '_' || c == '-')
            continue;
        folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

bool Has(const std::vector<std::string> &status, std::string_view folded) {
    for (const std::string &word : status)
        if (Folded(word) == folded)
            return true;
    return false;
}

} // namespace

LifecyclePhase PhaseOf(const std::vector<std::string> &status) {
    // A registry shows "pending delete" together with "redemption period" while the name can
    // still be restored; the redemption decides then.
    if (Has(status, "redemptionperiod"))
        return LifecyclePhase::Redemption;
    if (Has(status, "pendingdelete"))
        return LifecyclePhase::PendingDelete;
    if (Has(status, "autorenewperiod"))
        return LifecyclePhase::AutoRenew;
    return LifecyclePhase::Registered;
}

std::optional<ExpectedRelease> ExpectRelease(const ReleaseFacts &facts,
                                             std::chrono::sys_days today) {
    switch (PhaseOf(facts.status)) {
    case LifecyclePhase::Redemption:
        if (!facts.phaseSince)
            return std::nullopt;
        return ExpectedRelease{*facts.phaseSince + kRedemptionDays + kPendingDeleteDays,
                               ReleaseRule::RedemptionThenPendingDelete};
    case LifecyclePhase::PendingDelete:
        if (!facts.phaseSince)
            return std::nullopt;
        return ExpectedRelease{*facts.phaseSince + kPendingDeleteDays, ReleaseRule::PendingDelete};
    case LifecyclePhase::AutoRenew:
        // Before the expiry the grace has not begun; the registrar may also renew for good.
        if (!facts.expires || *facts.expires >= today)
            return std::nullopt;
        return ExpectedRelease{*facts.expires + kAutoRenewDays, ReleaseRule::AutoRenewGrace, true};
    case LifecyclePhase::Registered:
        break;
    }
    return std::nullopt;
}

std::string_view ReleaseRuleText(ReleaseRule rule) {
    switch (rule) {
    case ReleaseRule::RedemptionThenPendingDelete:
        return "redemption period + 30 days + pending delete 5 days";
    case ReleaseRule::PendingDelete:
        return "pending delete 5 days";
    case ReleaseRule::AutoRenewGrace:
        return "expiry + 45 days of auto-renew grace";
    }
    return "";
}

std::string ReleaseText(const ExpectedRelease &release) {
    return DayText(release.date) + (release.earliest ? " at the earliest (" : " (") +
           std::string(ReleaseRuleText(release.rule)) + ")";
}

std::string DayText(std::chrono::sys_days day) {
    const std::chrono::year_month_day date(day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

std::optional<std::chrono::sys_days> DayFromText(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        for (std::size_t k = 0; k < lengths[i]; ++k) {
            const char c = text[starts[i] + k];
            if (c < '0' || c > '9')
                return std::nullopt;
            parts[i] = parts[i] * 10 + (c - '0');
        }
    }
    const std::chrono::year_month_day date{std::chrono::year(parts[0]),
                                           std::chrono::month(static_cast<unsigned>(parts[1])),
                                           std::chrono::day(static_cast<unsigned>(parts[2]))};
    if (!date.ok())
        return std::nullopt;
    return std::chrono::sys_days(date);
}

} // namespace core
