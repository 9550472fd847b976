#pragma once

#include "core/DelegationStage.h"
#include "core/NameSource.h"
#include "net/NetworkContext.h"
#include "probes/Probe.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace core {

// What the check of one name came to.
struct CheckOutcome {
    std::size_t index = 0; // the name's place in the list given to the pool
    std::string name;
    probes::DomainRecord record;
    // Set when the check failed (a socket layer that cannot start); record is then empty.
    std::exception_ptr failure;
    // Set when the run stopped the check before it had an answer: the name gets no row.
    bool stopped = false;
};

// Checks a list of names on worker threads, up to a number at once, and hands the outcomes
// over in the order of the list: a name that finishes early waits for the names before it.
// The workers touch nothing but their own names and the run's network context; the thread
// that owns the pool takes the outcomes. Its destructor abandons what is left and joins.
// Names are taken from their source as workers get free, a round of workers ahead, so the pool
// holds the names under way and the outcomes not handed over yet, never the whole list.
class CheckPool {
public:
    // Whether the details of a name found free are wanted (the show filter).
    using WantsDetails = std::function<bool(const probes::DomainRecord &)>;

    // context is the run's own (ContextForRun): abandoning the pool interrupts its socket layer.
    // names outlives the pool and is read only under the pool's lock. With ahead, a stage
    // resolves the names' delegation before the workers come to them (DelegationStage), and each
    // check takes its name's verdict from it.
    CheckPool(NameSource &names, probes::ProbeList probes, net::NetworkContext context, int jobs,
              WantsDetails wantsDetails, std::optional<DelegationAhead> ahead = std::nullopt);
    CheckPool(std::vector<std::string> names, probes::ProbeList probes, net::NetworkContext context,
              int jobs, WantsDetails wantsDetails,
              std::optional<DelegationAhead> ahead = std::nullopt);
    ~CheckPool();
    CheckPool(const CheckPool &) = delete;
    CheckPool &operator=(const CheckPool &) = delete;

    // The next outcome in list order, when it is there within wait.
    std::optional<CheckOutcome> Next(std::chrono::milliseconds wait);
    // Every name that started has been handed over, and no other will start.
    bool Done() const;
    // Names not started yet never start; the ones waiting for their turn with a host or for a
    // retry end without an answer (CheckOutcome::stopped); the exchanges under way finish.
    void StopStarting();
    // Whether StopStarting was called.
    bool Stopping() const;
    // Ends every exchange now and starts nothing more; Next hands nothing over from then on. One
    // call: it raises the run's abandon (its socket layer's InterruptToken), which every wait of
    // the run watches.
    void Abandon();
    bool Abandoned() const;
    // After Abandon: the outcomes that had finished before it and were not handed over (names
    // after one still under way), in list order.
    std::vector<CheckOutcome> TakeFinished();

    // The first name not handed over yet (empty when none), with its place in the list.
    std::optional<std::pair<std::size_t, std::string>> Oldest() const;
    std::size_t Count() const { return names_.Count(); }

private:
    // names when given, else the names owned.
    CheckPool(std::unique_ptr<NameVector> owned, NameSource *names, probes::ProbeList probes,
              net::NetworkContext context, int jobs, WantsDetails wantsDetails,
              std::optional<DelegationAhead> ahead);

    // A name given to a worker, until its outcome is handed over.
    struct Started {
        std::string name;
        std::optional<CheckOutcome> outcome;
    };
    // A name a worker takes, and the name a round of workers after it, to prepare.
    struct Taken {
        std::size_t index = 0;
        std::string name;
        std::optional<std::string> ahead;
    };

    void Work();
    std::optional<Taken> TakeName();
    // Reads names from the source until a round of workers and one more wait ahead.
    void FillAhead();
    // Lets the probes start what the check of name will wait on.
    void PrepareName(const std::string &name) const;
    void Finish(CheckOutcome outcome);

    std::unique_ptr<NameVector> ownNames_;
    // Stands between the list and the pool when the run resolves delegation ahead.
    std::unique_ptr<DelegationStage> stage_;
    NameSource &names_;
    const probes::ProbeList probes_;
    const net::NetworkContext context_;
    const WantsDetails wantsDetails_;
    const std::size_t workerCount_;
    // The run's layer stays up between exchanges, with the names it resolved.
    const net::SocketLayer::KeepRunning keepRunning_;

    mutable std::mutex mutex_;
    std::condition_variable_any finished_;
    std::deque<std::string> ahead_;
    bool listEnded_ = false;
    std::size_t started_ = 0;
    std::size_t handedOver_ = 0;
    bool stopStarting_ = false;
    // The names from handedOver_ to started_ - 1, in list order.
    std::deque<Started> underWay_;
    std::vector<std::thread> workers_;
};

// The context of one run: the same settings, a socket layer, host limits and a pool of idle
// connections of its own, so that abandoning the run ends only its exchanges.
net::NetworkContext ContextForRun(const net::NetworkContext &base, int perHost);

} // namespace core
