#pragma once

#include "core/CandidateGenerator.h"
#include "core/CheckSetup.h"
#include "core/KeywordsPrompt.h"
#include "core/NameSource.h"
#include "core/RunProgress.h"
#include "core/SearchOptions.h"
#include "net/NetworkContext.h"
#include "probes/Probe.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace results {
class ResultList;
}

namespace core {

class CheckPool;
class StepRelay;
struct CheckOutcome;

// From the Start button to a filled result list: asks for the keywords, builds the candidates
// and checks them, one after the other or many at once. The checks' exchanges run on worker
// threads; the window's thread fills the rows and drains the message queue, at fixed points
// and whenever it waits, so that the window stays usable. Commands that arrive while the queue
// drains run nested inside the run.
class CheckRun {
public:
    // What a run or a "Force details" asks, and the captions of the list it fills, chosen as it
    // starts from the settings and the indexes as they stand then.
    using SetupChooser = std::function<CheckSetup()>;

    CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
             results::ResultList &list, SetupChooser choose, net::NetworkContext context,
             KeywordsPrompt &prompt, ProgressView &progress);
    // Every run asks probes, and the list keeps its captions.
    CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
             results::ResultList &list, probes::ProbeList probes, net::NetworkContext context,
             KeywordsPrompt &prompt, ProgressView &progress);

    // Stops a run in progress (abandoning one that checks many names at once), asks for the
    // keywords and runs the search when the user searched.
    void Start();
    // StopRunning, then drains the message queue (the Stop command).
    void Stop();
    // Stops the runs in progress, and "Force details" under way: their waits for a turn end, a
    // run of one name at a time ends after its name, a run of many at once starts no new name
    // and the ones under way finish and are filled in. A run started later is not affected.
    void StopRunning();
    // Ends the runs in progress and a "Force details" now: their exchanges end, their results are
    // dropped.
    void Abandon();
    // Ends the run in progress now as Abandon does, but the names that had finished still get
    // their rows (in a run of many at once, those after a name still under way too).
    void Interrupt();

    // "Force details" on the selected row, over a socket layer of its own that Abandon ends.
    void ForceDetails();

    // The run ends once this many names were found free (0: no limit).
    void SetAvailableLimit(std::size_t limit) { availableLimit_ = limit; }

    // Checks names as given, with no keywords dialog and no generated names. The names are
    // taken from the source as the run gets to them; it keeps only the rows.
    void CheckNames(NameSource &names);
    void CheckNames(const StringList &names);

    // Builds the candidates and checks them, or for a search of linked names
    // (options.searchmode()) checks the web graph's names that hold the keywords.
    void RunSearch();
    // Chooses the run's probes, then checks the candidates with them; a run keeps its probes to
    // the end, whatever the settings or the indexes become meanwhile.
    void CheckCandidates();

    const net::NetworkContext &Context() const { return context_; }

private:
    class ActiveSockets;

    // Checks one name; false when the run must end (the rows were replaced meanwhile, or the run
    // was abandoned).
    bool CheckCandidate(const std::string &name, std::uint64_t generation,
                        const probes::ProbeList &probes, const net::NetworkContext &context,
                        StepRelay &relay);
    // Checks the names one after the other on the window's behalf.
    void CheckOneAtATime(NameSource &names, const CheckSetup &setup);
    // Checks options.jobs() names at once on worker threads; this thread only drains the
    // message queue, shows the progress and fills the rows in candidate order.
    void CheckConcurrently(NameSource &names, const CheckSetup &setup);
    void CheckConcurrently(NameSource &names, const CheckSetup &setup,
                           const net::NetworkContext &context);
    // Searches the web graph's names for the keywords and checks what it finds, best link
    // position first, many at once; ENoIndex without a web graph that keeps its names.
    void CheckLinkedNames();
    // Appends the row of a finished check when the show filter lets it; true when the name was
    // free.
    bool PlaceRow(const probes::DomainRecord &record);
    // Places the outcome's row; false when the run must end (a failure raises).
    bool PlaceOutcome(CheckPool &pool, const CheckOutcome &outcome);
    bool AvailableLimitReached() const;
    // Whether a one-at-a-time run over sockets ends here: Escape held, or the run was stopped.
    static bool StopTest(const net::SocketLayer &sockets);
    // Counts a checked name for the run's end.
    void Tally(const probes::DomainRecord &record);
    RunEnd End() const;

    SearchOptions &options_;
    StringList &candidates_;
    StringList &scratch_;
    results::ResultList &list_;
    const SetupChooser choose_;
    const net::NetworkContext context_;
    KeywordsPrompt &prompt_;
    ProgressView &progress_;
    CheckPool *activePool_ = nullptr;
    // The socket layers of the one-at-a-time runs (a nested one included) and of "Force
    // details" under way.
    std::vector<net::SocketLayer *> activeSockets_;
    // Set by Interrupt: the abandoned run keeps what had finished.
    bool keepFinished_ = false;
    std::size_t availableLimit_ = 0;
    std::size_t availableFound_ = 0;
    // Names checked this run, and how many of them nothing answered for.
    std::size_t namesChecked_ = 0;
    std::size_t nothingAnswered_ = 0;
};

} // namespace core
