#pragma once

#include "core/CheckSetup.h"
#include "core/RunProgress.h"
#include "core/SearchOptions.h"
#include "core/WatchList.h"
#include "net/NetworkContext.h"
#include "probes/RegistryProbe.h"

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The check of the watched names, shared by nimbrel-cli's --watch-check and the window's
// "Check now": the registry check with every name a row, the registry asked about delegated
// names too (a watch wants each one's status and expiry, and watched names are few), no details
// of a free name. WatchCheck runs it on a thread of its own for a window; nimbrel-cli runs the
// same setup through its usual run.
namespace core {

// The options of a watch check made from the user's: the registry check, every name shown.
void UseForWatch(SearchOptions &options);

// The setup of a watch check: ChooseCheckSetup over UseForWatch's options and registry with
// askWhenDelegated set, without the probes that only ask about free names.
CheckSetup ChooseWatchSetup(SearchOptions options, const std::filesystem::path &indexFolder,
                            probes::RegistrySettings registry,
                            const probes::ServiceAddresses &services = {});

// How a check of the watch list ended.
struct WatchCheckEnd {
    // Every change recorded, in the order of the list.
    std::vector<WatchChange> changes;
    int checked = 0;
    // Names whose answer was Unknown, and names the list could not record with the first reason.
    int undecided = 0;
    int failed = 0;
    std::string failure;
    // Stop() ended the check part-way; what it recorded stays.
    bool stopped = false;
    // Why the check could not run at all (a list or a trust store that cannot be had); empty
    // when it ran.
    std::string problem;
};

// One check of every watched name on a thread of its own: it opens the list (its own
// connection, so the caller's thread keeps its own), chooses the setup there, checks the names
// one after another and records each as it is decided. It reports on its own thread: whoever
// shows the reports passes them to the thread that shows them.
class WatchCheck {
public:
    using SetupChooser = std::function<CheckSetup()>;
    struct Reports {
        std::function<void(const RunProgress &)> progress;
        std::function<void(const WatchChange &)> change;
        // Always the last report, once.
        std::function<void(const WatchCheckEnd &)> end;
    };

    // Starts at once. context's socket layer is the check's own (make it Fresh): Stop ends it.
    WatchCheck(std::filesystem::path file, WatchList::Clock clock, SetupChooser choose,
               net::NetworkContext context, Reports reports);
    // Stops the check and waits for its thread, which its socket layer's interruption ends
    // within one exchange's wake-up.
    ~WatchCheck();
    WatchCheck(const WatchCheck &) = delete;
    WatchCheck &operator=(const WatchCheck &) = delete;

    // The check's one cancellation: its exchanges end, the names after go unchecked.
    void Stop();

private:
    void Run();
    void CheckAll(WatchCheckEnd &end);

    const std::filesystem::path file_;
    const WatchList::Clock clock_;
    const SetupChooser choose_;
    const net::NetworkContext context_;
    const Reports reports_;
    std::thread thread_;
};

} // namespace core
