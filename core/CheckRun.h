#pragma once

#include "core/CandidateGenerator.h"
#include "core/SearchOptions.h"

#include <cstdint>
#include <string>

namespace net {
class Probes;
}
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
             results::ResultList &list, net::Probes &probes, KeywordsPrompt &prompt,
             StatusLine &status);

    // Start: stops a run in progress, asks for the keywords and runs the search.
    void BitBtn2Click();
    // Stop: raises the stop request; a run ends at its next stop test.
    void StopBtnClick();

    void RunSearch();
    void CheckCandidates();

private:
    // Checks one name; false when the rows were replaced meanwhile and the run must end.
    bool CheckCandidate(const std::string &name, std::uint64_t generation);
    bool RowsReplaced(std::uint64_t generation) const;
    bool StopTest(std::size_t index, std::size_t count) const;

    SearchOptions &options_;
    StringList &candidates_;
    StringList &scratch_;
    results::ResultList &list_;
    net::Probes &probes_;
    KeywordsPrompt &prompt_;
    StatusLine &status_;
};

} // namespace core
