#pragma once

#include "core/NameSource.h"
#include "core/SearchOptions.h"
#include "rankindex/RankIndex.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace core {

// What a search of linked names asks of the web graph's names.
struct LinkedNamesQuery {
    // Lower case; each must be in the name before its suffix.
    std::vector<std::string> keywords;
    // ASCII forms, in reading order (com, co.uk).
    std::vector<std::string> suffixes;
    std::uint32_t minHosts = 1;
    std::size_t maxNameLength = 0; // 0: any
};

// The query of a search of linked names from the search settings: the keywords in their ASCII
// forms, the chosen suffixes, the host and length limits.
LinkedNamesQuery LinkedNamesQueryFor(const SearchOptions &options);

// The names of the web graph that a query matches, best link position first, as a run's source
// of names: a thread of its own searches the names (n-gram lookup, else a scan) in pages of matches
// (each page a pass that keeps only the next pageSize matches, so memory stays a page or two
// whatever the index holds) while the run checks the pages before. The scan goes in slices and ends
// at stop (the run's stop or abandon) or with the source; once stopped, Next gives no more names.
// Next waits for the search only when the checks have caught up with it.
class LinkedNames : public NameSource {
public:
    static constexpr std::size_t kPageNames = 8192;

    // The source holds index. stop ends the scan and every wait.
    LinkedNames(std::shared_ptr<const rankindex::RankIndex> index, LinkedNamesQuery query,
                std::stop_token stop, std::size_t pageNames = kPageNames);
    ~LinkedNames() override;
    LinkedNames(const LinkedNames &) = delete;
    LinkedNames &operator=(const LinkedNames &) = delete;

    std::optional<std::string> Next() override;
    // The names found so far; the whole count once the scan has ended.
    std::size_t Count() const override;
    // Whether Next would answer at once (a name is there, the scan has ended or was stopped),
    // waiting at most wait for it.
    bool WaitReady(std::chrono::milliseconds wait);

private:
    // The last name handed to the queue: the next page starts after it.
    struct Cursor {
        std::uint32_t position = 0;
        std::string name;
    };

    void Scan(std::stop_token stop);
    // The page after cursor, in order; none when stopped.
    std::optional<std::vector<std::pair<std::string, std::uint32_t>>>
    ScanPage(const std::optional<Cursor> &cursor, std::stop_token stop);

    const std::shared_ptr<const rankindex::RankIndex> index_;
    const LinkedNamesQuery query_;
    const std::size_t pageNames_;

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::string> ready_;
    std::size_t handedOut_ = 0;
    bool ended_ = false;
    std::stop_token stop_;
    std::jthread thread_;
    std::stop_callback<std::function<void()>> stopped_;
};

} // namespace core
