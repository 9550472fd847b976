#pragma once

#include "probes/Probe.h"

#include <optional>
#include <string>

namespace core {

// What the caller of a check wants before the next probe runs.
enum class NextStep {
    Go,       // run it
    SkipRest, // run no further probe; the record is complete as it stands
    Abandon,  // drop the check; the caller's run ends
};

// The caller's part in one name's check: told before each probe with the record so far, and
// lent to the probes as their pause (see probes::Pause).
class CheckSteps {
public:
    virtual ~CheckSteps() = default;
    virtual NextStep BeforeProbe(const probes::DomainRecord &record, const probes::Probe &next) = 0;
    virtual void Pause() {}
};

// How the details of a free name are asked: one probe after another, or the neighbouring probes
// that each fill fields of their own at the same time, each on a thread of its own and without
// the pause. Both give the same record.
enum class Details { OneAfterAnother, AtOnce };

// Checks one name: its suffix, then every probe of the list in order, the ones that ask only
// about free names only when the name was found free. Nothing when steps abandoned the check.
// A probe's failure (a socket layer that cannot start) is the caller's to see. delegationFound,
// the name's delegation when the run resolved it ahead, goes to the probes on the record.
std::optional<probes::DomainRecord>
CheckDomain(const std::string &name, const probes::ProbeList &probes,
            const net::NetworkContext &context, CheckSteps &steps,
            Details details = Details::OneAfterAnother,
            std::optional<registry::DelegationResult> delegationFound = std::nullopt);

// Whether a record's name was found free.
bool IsAvailable(const probes::DomainRecord &record);

} // namespace core
