#pragma once

#include "registry/RegistryDataUpdate.h"

#include <functional>
#include <thread>

class QObject;

namespace ui {

// One update of the registry data on a thread of its own, so that the window stays live while
// it fetches. The outcome comes back on the receiver's thread, queued to its event loop. The
// update is bounded by its request deadline; going away waits for it to end.
class RegistryUpdate {
public:
    using Work = std::function<registry::RegistryDataUpdate()>;
    using Done = std::function<void(const registry::RegistryDataUpdate &)>;

    RegistryUpdate(Work work, QObject *receiver, Done done);
    ~RegistryUpdate();
    RegistryUpdate(const RegistryUpdate &) = delete;
    RegistryUpdate &operator=(const RegistryUpdate &) = delete;

private:
    std::thread thread_;
};

// The update as nimbrel-cli --update-registry-data makes it: IANA's file, the system's trust
// store, the user's data folder, the time-outs of context.
registry::RegistryDataUpdate UpdateWithSystemTrust(const net::NetworkContext &context);

} // namespace ui
