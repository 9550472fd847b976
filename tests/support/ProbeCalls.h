#pragma once

#include "net/NetworkContext.h"
#include "probes/Probe.h"

#include <string>

// The three probes of the web check as three calls that a test scripts, so that a run needs no
// network and a test can act in the middle of a probe.
namespace testsupport {

class ProbeCalls {
public:
    virtual ~ProbeCalls() = default;
    virtual probes::Availability CheckAvailability(const std::string &url, int port) = 0;
    virtual std::string GetLinkPopularity(const std::string &name) = 0;
    virtual std::string GetTrafficRank(const std::string &name) = 0;
};

// The probes of the web check, each answering through calls (which must outlive the list).
probes::ProbeList ProbeListOf(ProbeCalls &calls);

// The real probes of the web check over context, as calls, pausing as in the window's run.
class WebProbeCalls : public ProbeCalls {
public:
    explicit WebProbeCalls(net::NetworkContext context) : context_(std::move(context)) {}
    probes::Availability CheckAvailability(const std::string &url, int port) override;
    std::string GetLinkPopularity(const std::string &name) override;
    std::string GetTrafficRank(const std::string &name) override;

private:
    net::NetworkContext context_;
};

} // namespace testsupport
