#pragma once

#include "core/CandidateGenerator.h"
#include "core/SearchOptions.h"
#include "net/NetworkContext.h"
#include "probes/Probe.h"

#include <cstdint>
#include <string>

namespace results {
class ResultList;
}

namespace core {

// The keywords dialog as the Start command sees it: shown modally, it edits the keywords and the
// search mode in place; Search clears the stop request, Cancel and the close box leave it raised.
class KeywordsPrompt {
public:
    virtual ~KeywordsPrompt() = default;
    virtual void ShowKeywordsModal() = 0;
};

// The main window's one-panel status text.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void SetStatusText(const std::string &text) = 0;
};

// From the Start button to a filled result list: asks for the keywords, builds the candidates
// and checks them one after the other, draining the message queue at fixed points so that the
// window stays usable. Commands that arrive while the queue drains run nested inside the run.
class CheckRun {
public:
    CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
             results::ResultList &list, probes::ProbeList probes, net::NetworkContext context,
             KeywordsPrompt &prompt, StatusLine &status);

    // Stops a run in progress, asks for the keywords and runs the search.
    void Start();
    // Raises the stop request; a run ends at its next stop test.
    void Stop();

    void RunSearch();
    void CheckCandidates();

    const probes::ProbeList &Probes() const { return probes_; }
    const net::NetworkContext &Context() const { return context_; }

private:
    // Checks one name; false when the run must end (the rows were replaced meanwhile).
    bool CheckCandidate(const std::string &name, std::uint64_t generation);
    bool StopTest(std::size_t index, std::size_t count) const;

    SearchOptions &options_;
    StringList &candidates_;
    StringList &scratch_;
    results::ResultList &list_;
    const probes::ProbeList probes_;
    const net::NetworkContext context_;
    KeywordsPrompt &prompt_;
    StatusLine &status_;
};

} // namespace core
