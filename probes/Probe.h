#pragma once

#include "base/Exception.h"
#include "net/NetworkContext.h"
#include "probes/DomainRecord.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace probes {

// Raised by a probe that the run stopped before it asked anything (it waited for its turn with
// a host, or for a retry): the name has no answer, and its check ends without a row.
class ECheckStopped : public base::Exception {
public:
    using base::Exception::Exception;
};

// Called by a probe where its caller's loop may run: before and after a wait on the network.
// The one-at-a-time run drains the window's message queue there; elsewhere it does nothing.
using Pause = std::function<void()>;

// One question asked about a name. A probe keeps no state between calls, so one list serves
// every name and every thread of a run.
class Probe {
public:
    virtual ~Probe() = default;

    // The column keys of the fields it fills.
    virtual std::vector<std::string> Fills() const = 0;
    // Whether it asks only about names found free (the details of a row).
    virtual bool OnlyForAvailable() const = 0;
    virtual void Run(DomainRecord &record, const net::NetworkContext &context,
                     const Pause &pause) const = 0;
    // Starts, without waiting, what a later Run for name will wait on (a name lookup), so that
    // a run checking many names can have it ready when it gets there. Never fails.
    virtual void Prepare(const std::string & /*name*/, const net::NetworkContext &) const {}
};

// The probes of a check, in the order they run.
using ProbeList = std::vector<std::shared_ptr<const Probe>>;

// Runs pause when it is set.
inline void PauseIfAsked(const Pause &pause) {
    if (pause)
        pause();
}

} // namespace probes
