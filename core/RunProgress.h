#pragma once

#include <cstddef>
#include <string>

namespace core {

// Where a run stands, as numbers for whoever shows it: the window words it as its status text,
// the terminal adds a rate and the time left.
struct RunProgress {
    // 1-based position of the name being checked (with many at once, the oldest still under
    // way) among count names.
    std::size_t position = 0;
    std::size_t count = 0;
    std::string name;
    // The run was stopped: no new name starts, the ones under way finish.
    bool stopping = false;
    // Many names are checked at once; the window then shows the position too.
    bool manyAtOnce = false;
    // The web graph's names are being searched; no name is checked yet.
    bool searching = false;

    bool operator==(const RunProgress &) const = default;
};

// What the window shows for it: "Checking... NAME", "Checking... NAME (k/N)" with many at once,
// "Searching the web graph..." or "Stopping...".
std::string StatusText(const RunProgress &progress);
inline constexpr const char *kSearchingText = "Searching the web graph...";
// What it shows once a run has ended.
inline constexpr const char *kRunDoneText = "Done!";
// What it shows instead when no registry and no resolver answered for any name of the run.
inline constexpr const char *kNoRegistryReachedText =
    "No registry could be reached; check the network.";

// How a run ended, as facts for whoever shows it.
struct RunEnd {
    // Every name checked was Unknown because nothing answered (and at least one was checked).
    bool noRegistryReached = false;
};

// Whoever shows a run's progress: the window's status line, the terminal's progress line.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void ShowProgress(const RunProgress &progress) = 0;
    // The run ended, however it ended.
    virtual void ShowDone(const RunEnd &end) = 0;
};

} // namespace core
