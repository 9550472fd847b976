#pragma once

#include "rankindex/RankImport.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ui {

// One import of a rank file into its index, on a thread of its own. The thread touches nothing
// but this object's progress record and flags; the window reads them from its own thread. Going
// away cancels the import and waits for the thread, which notices at its next progress report;
// the previous index is kept then.
class IndexImport {
public:
    IndexImport(rankindex::RankKind kind, std::filesystem::path source,
                std::filesystem::path indexFolder);
    ~IndexImport();
    IndexImport(const IndexImport &) = delete;
    IndexImport &operator=(const IndexImport &) = delete;

    void Cancel() { cancel_ = true; }
    bool Finished() const { return finished_; }
    rankindex::ImportProgress Progress() const;
    // Once finished: what a message to the user says about the import.
    std::string Outcome() const;

private:
    void Work(rankindex::RankKind kind, const std::filesystem::path &source,
              const std::filesystem::path &indexFolder);
    bool Report(const rankindex::ImportProgress &progress);

    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    rankindex::ImportProgress progress_;
    std::string outcome_;
    std::thread thread_;
};

// The report of a finished import for people: lines, names, what was skipped.
std::string ImportReportText(const rankindex::ImportReport &report);

} // namespace ui
