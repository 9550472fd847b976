#pragma once

#include "net/NetworkContext.h"
#include "probes/Probe.h"

namespace results {
class ResultList;
}

namespace core {

// "Force details": asks the detail probes (those that ask only about free names) about the
// selected row's name again, on a thread of their own while the window's thread keeps the window
// live, draining the message queue before each probe as well. The answers replace the
// row's existing cells, in the row the command started with wherever a sort has moved it
// meanwhile; they are dropped when the list has been cleared since. A failure on the way leaves
// the row as it was, and so does interrupting the context's socket layer (closing the window).
// Without a selected row, or with an empty name, nothing happens. A source the probes name in the
// evidence is added to the row's evidence, not put in its place.
void ForceDetails(results::ResultList &list, const probes::ProbeList &probes,
                  const net::NetworkContext &context);

} // namespace core
