#include "core/CheckRun.h"

#include "core/CheckPool.h"
#include "core/DomainCheck.h"
#include "core/ForceDetails.h"
#include "core/LinkedNames.h"
#include "core/RowCells.h"
#include "core/StepRelay.h"
#include "platform/Application.h"
#include "results/ResultList.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace core {
namespace {

// How long the window's thread waits for the next finished name before it drains the queue.
constexpr std::chrono::milliseconds kWaitSlice(10);
// Exchanges at once with any one host in a run of many names at once.
constexpr int kPerHost = 4;

bool IsShown(std::int32_t show, const probes::DomainRecord &record) {
    return show == kShowAll || (show == kShowAvailableOnly && IsAvailable(record));
}

// Pairs the busy cursor with its restore, whatever way the run ends.
class BusyCursor {
public:
    BusyCursor() {
        if (auto *app = platform::CurrentApplication())
            app->ShowBusyCursor();
    }
    ~BusyCursor() {
        if (auto *app = platform::CurrentApplication())
            app->RestoreCursor();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// One name's check on the window's own thread: the message queue drains before every probe and
// wherever a probe pauses, and a shown name gets its row as soon as its availability is known,
// so the user sees it while its details are fetched. Commands that run during a drain may
// replace the rows; from then on the check fills nothing.
class WindowSchedule : public CheckSteps {
public:
    WindowSchedule(results::ResultList &list, const SearchOptions &options,
                   std::uint64_t generation)
        : list_(list), options_(options), generation_(generation) {}

    NextStep BeforeProbe(const probes::DomainRecord &record, const probes::Probe &next) override {
        if (!next.OnlyForAvailable()) {
            platform::ProcessMessages();
            return NextStep::Go;
        }
        if (!row_) {
            if (!IsShown(options_.show(), record))
                return NextStep::SkipRest;
            if (!AppendRow(record))
                return NextStep::Abandon;
        }
        platform::ProcessMessages();
        return RowsReplaced() ? NextStep::Abandon : NextStep::Go;
    }

    void Pause() override { platform::ProcessMessages(); }

    // Fills the rest of the row of a finished check; false when the run must end.
    bool Finish(const probes::DomainRecord &record) {
        if (IsShown(options_.show(), record)) {
            if (!row_ && !AppendRow(record))
                return false;
            if (RowsReplaced() || !row_->Listed())
                return false;
            AppendCells(*row_, record, list_.GetColumns(), Missing::ShowPlaceholder);
            row_->SetChecked(IsAvailable(record));
            platform::ProcessMessages();
        }
        platform::ProcessMessages();
        return !RowsReplaced();
    }

    bool RowsReplaced() const { return list_.Generation() != generation_; }

private:
    bool AppendRow(const probes::DomainRecord &record) {
        platform::ProcessMessages();
        if (RowsReplaced())
            return false;
        // The check keeps its row, not its position: a sort in between does not matter.
        row_ = list_.Append();
        AppendCells(*row_, record, list_.GetColumns(), Missing::StopThere);
        return true;
    }

    results::ResultList &list_;
    const SearchOptions &options_;
    const std::uint64_t generation_;
    std::shared_ptr<results::ResultRow> row_;
};

} // namespace

CheckRun::CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
                   results::ResultList &list, SetupChooser choose, net::NetworkContext context,
                   KeywordsPrompt &prompt, ProgressView &progress)
    : options_(options), candidates_(candidates), scratch_(scratch), list_(list),
      choose_(std::move(choose)), context_(std::move(context)), prompt_(prompt),
      progress_(progress) {}

CheckRun::CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
                   results::ResultList &list, probes::ProbeList probes, net::NetworkContext context,
                   KeywordsPrompt &prompt, ProgressView &progress)
    : CheckRun(
          options, candidates, scratch, list,
          [probes = std::move(probes), columns = list.GetColumns()] {
              CheckSetup setup;
              setup.probes = probes;
              setup.columns = columns;
              return setup;
          },
          std::move(context), prompt, progress) {}

void CheckRun::Abandon() {
    if (activePool_)
        activePool_->Abandon();
    for (net::SocketLayer *sockets : activeSockets_)
        sockets->Interrupt();
}

void CheckRun::Interrupt() {
    keepFinished_ = true;
    Abandon();
}

// Keeps the socket layer of a check that runs on the window's behalf where Abandon finds it.
class CheckRun::ActiveSockets {
public:
    ActiveSockets(CheckRun &run, net::SocketLayer &sockets) : run_(run), sockets_(sockets) {
        run_.activeSockets_.push_back(&sockets_);
    }
    ~ActiveSockets() {
        auto &active = run_.activeSockets_;
        active.erase(std::find(active.begin(), active.end(), &sockets_));
    }
    ActiveSockets(const ActiveSockets &) = delete;
    ActiveSockets &operator=(const ActiveSockets &) = delete;

private:
    CheckRun &run_;
    net::SocketLayer &sockets_;
};

void CheckRun::ForceDetails() {
    const net::NetworkContext context = ContextForRun(context_, kPerHost);
    ActiveSockets active(*this, *context.Sockets);
    // The indexes there are now answer, as they would for a run started now.
    core::ForceDetails(list_, choose_().probes, context);
}

void CheckRun::Stop() {
    StopRunning();
    platform::ProcessMessages();
}

void CheckRun::StopRunning() {
    if (activePool_)
        activePool_->StopStarting();
    for (net::SocketLayer *sockets : activeSockets_)
        sockets->EndQueuedWaits();
}

void CheckRun::Start() {
    // A run of one name at a time finishes its name, as a cancelled keywords dialog allows.
    if (activePool_)
        activePool_->Abandon();
    Stop();
    const KeywordsAnswer answer = prompt_.ShowKeywordsModal();
    platform::ProcessMessages();
    if (answer != KeywordsAnswer::Search)
        return;
    {
        BusyCursor busy;
        try {
            RunSearch();
        } catch (const ENoIndex &missing) {
            // A search of linked names cannot start without the web graph's names: say why.
            platform::ShowMessage(missing.Message());
        } catch (...) {
            // A failure ends the run without a message; the rows so far stay.
        }
    }
    progress_.ShowDone(End());
    platform::ProcessMessages();
}

void CheckRun::CheckNames(NameSource &names) {
    Abandon();
    availableFound_ = 0;
    {
        BusyCursor busy;
        try {
            const CheckSetup setup = choose_();
            if (options_.jobs() > 1)
                CheckConcurrently(names, setup);
            else
                CheckOneAtATime(names, setup);
        } catch (...) {
            // As in a search: a failure ends the run without a message; the rows so far stay.
        }
    }
    progress_.ShowDone(End());
    platform::ProcessMessages();
}

void CheckRun::CheckNames(const StringList &names) {
    NameVector source(names);
    CheckNames(source);
}

void CheckRun::RunSearch() {
    if (options_.searchmode() == kLinkedNames) {
        CheckLinkedNames();
        return;
    }
    std::exception_ptr failure;
    try {
        CandidateGenerator(options_, candidates_, scratch_).BuildCandidates();
    } catch (...) {
        failure = std::current_exception();
    }
    platform::ProcessMessages();
    try {
        CheckCandidates();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    platform::ProcessMessages();
    if (failure)
        std::rethrow_exception(failure);
}

namespace {

// The candidates of a one-at-a-time run, read where they stand at each step: a nested run may
// rebuild them, and then owns them, so the older run finds its list ended.
class LiveCandidates : public NameSource {
public:
    explicit LiveCandidates(const StringList &candidates) : candidates_(candidates) {}
    std::optional<std::string> Next() override {
        if (next_ >= candidates_.size())
            return std::nullopt;
        return candidates_[next_++];
    }
    std::size_t Count() const override { return candidates_.size(); }

private:
    const StringList &candidates_;
    std::size_t next_ = 0;
};

} // namespace

void CheckRun::CheckCandidates() {
    availableFound_ = 0;
    const CheckSetup setup = choose_();
    if (options_.jobs() > 1) {
        // The workers read a copy: the window's list may be rebuilt while they run.
        NameVector names(candidates_);
        CheckConcurrently(names, setup);
        return;
    }
    LiveCandidates names(candidates_);
    CheckOneAtATime(names, setup);
}

void CheckRun::CheckOneAtATime(NameSource &names, const CheckSetup &setup) {
    list_.Clear(setup.columns);
    namesChecked_ = nothingAnswered_ = 0;
    const std::uint64_t generation = list_.Generation();
    const net::NetworkContext context = ContextForRun(context_, kPerHost);
    ActiveSockets active(*this, *context.Sockets);
    // The service hosts are looked up once a run, not once a name.
    const net::SocketLayer::KeepRunning keepRunning(context.Sockets);
    // One thread checks every name of the run.
    StepRelay relay(*context.Sockets);
    for (std::size_t position = 1; const std::optional<std::string> name = names.Next();
         ++position) {
        // A nested run owns the list now.
        if (list_.Generation() != generation)
            return;
        progress_.ShowProgress({.position = position, .count = names.Count(), .name = *name});
        if (!CheckCandidate(*name, generation, setup.probes, context, relay))
            return;
        if (StopTest(*context.Sockets) || AvailableLimitReached())
            return;
    }
}

bool CheckRun::CheckCandidate(const std::string &candidate, std::uint64_t generation,
                              const probes::ProbeList &probes, const net::NetworkContext &context,
                              StepRelay &relay) {
    const std::string name = candidate; // the list may change while the queue drains
    WindowSchedule schedule(list_, options_, generation);
    std::optional<probes::DomainRecord> record;
    try {
        relay.Run(schedule,
                  [&](CheckSteps &steps) { record = CheckDomain(name, probes, context, steps); });
    } catch (const probes::ECheckStopped &) {
        // The run stopped while the name waited for its turn: no answer, and no name follows.
        return false;
    }
    // An abandoned run fills nothing more: its last exchange ended early, not with an answer.
    if (context.Sockets->Interrupted())
        return false;
    if (record)
        Tally(*record);
    if (record && IsAvailable(*record) && IsShown(options_.show(), *record))
        ++availableFound_;
    return record && schedule.Finish(*record);
}

void CheckRun::Tally(const probes::DomainRecord &record) {
    ++namesChecked_;
    if (record.nothingAnswered)
        ++nothingAnswered_;
}

RunEnd CheckRun::End() const {
    return {.noRegistryReached = namesChecked_ > 0 && nothingAnswered_ == namesChecked_};
}

bool CheckRun::AvailableLimitReached() const {
    return availableLimit_ != 0 && availableFound_ >= availableLimit_;
}

bool CheckRun::PlaceRow(const probes::DomainRecord &record) {
    if (!IsShown(options_.show(), record))
        return false;
    const auto row = list_.Append();
    AppendCells(*row, record, list_.GetColumns(), Missing::ShowPlaceholder);
    row->SetChecked(IsAvailable(record));
    return IsAvailable(record);
}

bool CheckRun::PlaceOutcome(CheckPool &pool, const CheckOutcome &outcome) {
    if (outcome.failure) {
        pool.Abandon();
        std::rethrow_exception(outcome.failure);
    }
    if (outcome.stopped)
        return true;
    Tally(outcome.record);
    if (PlaceRow(outcome.record) && ++availableFound_ == availableLimit_) {
        pool.Abandon();
        return false;
    }
    return true;
}

void CheckRun::CheckLinkedNames() {
    availableFound_ = 0;
    const CheckSetup setup = choose_();
    if (!setup.webGraph || !setup.webGraph->Names())
        throw ENoIndex(setup.webGraph ? kHashOnlyIndexText
                                      : "no web graph index; import one first");
    const net::NetworkContext context = ContextForRun(context_, kPerHost);
    // The scan runs on its own thread; the run's stop ends it with the checks.
    LinkedNames names(setup.webGraph, LinkedNamesQueryFor(options_),
                      context.Sockets->QueuedWaitsToken());
    {
        ActiveSockets active(*this, *context.Sockets);
        const std::uint64_t generation = list_.Generation();
        progress_.ShowProgress({.position = 0, .count = 0, .name = {}, .searching = true});
        // The window stays live until the first page of names is there.
        while (!names.WaitReady(kWaitSlice)) {
            platform::ProcessMessages();
            if (list_.Generation() != generation || StopTest(*context.Sockets))
                return;
        }
    }
    CheckConcurrently(names, setup, context);
}

void CheckRun::CheckConcurrently(NameSource &names, const CheckSetup &setup) {
    CheckConcurrently(names, setup, ContextForRun(context_, kPerHost));
}

void CheckRun::CheckConcurrently(NameSource &names, const CheckSetup &setup,
                                 const net::NetworkContext &context) {
    keepFinished_ = false;
    list_.Clear(setup.columns);
    namesChecked_ = nothingAnswered_ = 0;
    const std::uint64_t generation = list_.Generation();
    // The workers see the show filter as it was at the start; rows follow the current one.
    const std::int32_t show = options_.show();
    CheckPool pool(
        names, setup.probes, context, options_.jobs(),
        [show](const probes::DomainRecord &record) { return IsShown(show, record); },
        setup.delegationAhead);
    struct ActivePool {
        CheckPool *&slot;
        CheckPool *previous;
        ~ActivePool() { slot = previous; }
    } active{activePool_, std::exchange(activePool_, &pool)};
    bool stopping = false;
    RunProgress shown;
    for (;;) {
        // A nested Start or a load owns the list now; closing the window abandoned the run.
        if (list_.Generation() != generation || pool.Abandoned()) {
            pool.Abandon();
            if (keepFinished_ && list_.Generation() == generation)
                for (const CheckOutcome &outcome : pool.TakeFinished())
                    if (!outcome.failure && !outcome.stopped && !AvailableLimitReached()) {
                        Tally(outcome.record);
                        if (PlaceRow(outcome.record))
                            ++availableFound_;
                    }
            return;
        }
        if (!stopping && platform::IsEscapeDown())
            pool.StopStarting();
        stopping = pool.Stopping();
        if (auto outcome = pool.Next(kWaitSlice)) {
            if (!PlaceOutcome(pool, *outcome))
                return;
        } else if (pool.Done()) {
            return;
        }
        RunProgress now;
        now.count = pool.Count();
        now.manyAtOnce = true;
        // With no name left to hand over, the run is ending as a stopped one does.
        const auto oldest = stopping ? std::nullopt : pool.Oldest();
        if (oldest) {
            now.position = oldest->first + 1;
            now.name = oldest->second;
        } else {
            now.stopping = true;
        }
        if (now != shown)
            progress_.ShowProgress(shown = now);
        platform::ProcessMessages();
    }
}

bool CheckRun::StopTest(const net::SocketLayer &sockets) {
    return platform::IsEscapeDown() || sockets.QueuedWaitsToken().stop_requested();
}

} // namespace core
