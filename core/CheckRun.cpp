#include "core/CheckRun.h"

#include "core/DomainCheck.h"
#include "core/RowCells.h"
#include "core/StopRequest.h"
#include "platform/Application.h"
#include "results/ResultList.h"

namespace core {
namespace {

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
                   results::ResultList &list, probes::ProbeList probes, net::NetworkContext context,
                   KeywordsPrompt &prompt, StatusLine &status)
    : options_(options), candidates_(candidates), scratch_(scratch), list_(list),
      probes_(std::move(probes)), context_(std::move(context)), prompt_(prompt), status_(status) {}

void CheckRun::Stop() {
    RaiseStopRequest();
    platform::ProcessMessages();
}

void CheckRun::Start() {
    Stop();
    prompt_.ShowKeywordsModal();
    platform::ProcessMessages();
    if (StopRequested())
        return;
    {
        BusyCursor busy;
        try {
            RunSearch();
        } catch (...) {
            // A failure ends the run without a message; the rows so far stay.
        }
    }
    status_.SetStatusText("Done!");
    platform::ProcessMessages();
}

void CheckRun::RunSearch() {
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

void CheckRun::CheckCandidates() {
    ClearStopRequest();
    list_.Clear();
    const std::uint64_t generation = list_.Generation();
    const std::size_t count = candidates_.size();
    for (std::size_t i = 0; i < count; ++i) {
        // The list of names may have been rebuilt by a nested run; that run owns the list then.
        if (list_.Generation() != generation || i >= candidates_.size())
            return;
        if (!CheckCandidate(candidates_[i], generation))
            return;
        if (StopTest(i, count))
            return;
    }
}

bool CheckRun::CheckCandidate(const std::string &candidate, std::uint64_t generation) {
    const std::string name = candidate; // the list may change while the queue drains
    status_.SetStatusText("Checking... " + name);
    WindowSchedule schedule(list_, options_, generation);
    const auto record = CheckDomain(name, probes_, context_, schedule);
    return record && schedule.Finish(*record);
}

bool CheckRun::StopTest(std::size_t index, std::size_t count) const {
    if (platform::IsEscapeDown())
        return true;
    if (StopRequested())
        return true;
    return index + 1 == count;
}

} // namespace core
