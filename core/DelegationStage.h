#pragma once

#include "core/NameSource.h"
#include "registry/DnsDelegation.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The first stage of a run of many names: the delegation of the names ahead of the checks, from
// one thread with many NS queries in flight (registry/DelegationBatch), so that a delegated
// name is decided at the resolver's speed and only the others wait for a registry. It stands
// between the run's names and its check pool: the pool takes the names from it in list order,
// and each worker asks it for its name's verdict. It holds a window of names, those handed out
// and not yet answered for and those read ahead to be queried, never the whole list: its cost is
// some thousands of names whatever the list's length.
namespace registry {
class DelegationBatch;
}

namespace core {

// How a run resolves delegation ahead: the resolver, its bound of queries in flight, and the
// names it need not ask about (an answer kept from an earlier run decides them).
struct DelegationAhead {
    registry::DnsSettings dns;
    std::function<bool(const std::string &)> known;
};

class DelegationStage : public NameSource {
public:
    // Names read ahead beyond the queries in flight.
    static constexpr std::size_t kReadAhead = 4096;

    // names outlives the stage. Each query may take queryTimeout; abandon (the run's interrupt)
    // ends every query and every wait for a verdict. The stage's thread starts here; the
    // destructor ends and joins it.
    DelegationStage(NameSource &names, DelegationAhead ahead,
                    std::chrono::milliseconds queryTimeout, std::stop_token abandon);
    ~DelegationStage() override;
    DelegationStage(const DelegationStage &) = delete;
    DelegationStage &operator=(const DelegationStage &) = delete;

    // The names of the list in order, for the pool (under its lock).
    std::optional<std::string> Next() override;
    std::size_t Count() const override { return names_.Count(); }
    // The verdict of the index-th name handed out (from 0), once it is there; nothing when the
    // stage has none to give (abandoned, or no resolver to ask: the check then asks itself) or
    // stop was raised. Each index is asked for once.
    std::optional<registry::DelegationResult> Await(std::size_t index, std::stop_token stop);

private:
    struct Entry {
        std::string name;
        std::optional<registry::DelegationResult> verdict;
        // The verdict is there, or the name is known and gets none.
        bool ready = false;
        bool awaited = false;
    };

    void Resolve(std::stop_token stop);
    // Keeps the batch full until every name is answered or stop; takes the lock itself.
    void Serve(registry::DelegationBatch &batch, std::stop_token stop);
    // The names to ask next, as many as the batch takes; under the lock.
    std::vector<std::pair<std::size_t, std::string>>
    NextToAsk(const registry::DelegationBatch &batch);
    // Reads names from the list until the window is full; under the lock.
    void ReadAhead();
    std::size_t WindowEnd() const { return first_ + window_.size(); }

    NameSource &names_;
    const DelegationAhead ahead_;
    const std::chrono::milliseconds queryTimeout_;
    const std::size_t windowLimit_;

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    // The names from first_ on, in list order.
    std::deque<Entry> window_;
    std::size_t first_ = 0;
    std::size_t handedOut_ = 0;
    std::size_t nextQuery_ = 0;
    bool listEnded_ = false;
    // The thread has given its last verdict.
    bool ended_ = false;
    std::jthread thread_;
    // The run's abandon stops the thread (declared last: gone before the thread is joined).
    std::stop_callback<std::function<void()>> abandoned_;
};

} // namespace core
