#include "core/CheckRun.h"

#include "core/StopRequest.h"
#include "net/Probes.h"
#include "platform/Application.h"
#include "results/ResultList.h"

namespace core {
namespace {

constexpr const char *kAvailable = "Yes";
constexpr const char *kNoDetail = "-";

bool IsShown(std::int32_t show, const std::string &availability) {
    return show == kShowAll || (show == kShowAvailableOnly && availability == kAvailable);
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

} // namespace

CheckRun::CheckRun(SearchOptions &options, StringList &candidates, StringList &scratch,
                   results::ResultList &list, net::Probes &probes, KeywordsPrompt &prompt,
                   StatusLine &status)
    : options_(options), candidates_(candidates), scratch_(scratch), list_(list), probes_(probes),
      prompt_(prompt), status_(status) {}

void CheckRun::StopBtnClick() {
    RaiseStopRequest();
    platform::ProcessMessages();
}

void CheckRun::BitBtn2Click() {
    StopBtnClick();
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
        if (RowsReplaced(generation) || i >= candidates_.size())
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
    const std::string suffix = net::ExtractSuffix(name);
    platform::ProcessMessages();
    const std::string availability = probes_.CheckAvailability("http://www." + name, 80);
    if (IsShown(options_.show(), availability)) {
        platform::ProcessMessages();
        if (RowsReplaced(generation))
            return false;
        // The run keeps its row, not its position: a sort in between does not matter.
        const auto row = list_.Append();
        row->SetCaption(name);
        row->AppendSubItem(suffix);
        row->AppendSubItem(availability);
        std::string links = kNoDetail, rank = kNoDetail;
        if (availability == kAvailable) {
            platform::ProcessMessages();
            if (RowsReplaced(generation))
                return false;
            links = probes_.GetLinkPopularity(name);
            platform::ProcessMessages();
            if (RowsReplaced(generation))
                return false;
            rank = probes_.GetTrafficRank(name);
        }
        if (RowsReplaced(generation) || !row->Listed())
            return false;
        row->AppendSubItem(links);
        row->AppendSubItem(rank);
        row->SetChecked(availability == kAvailable);
        platform::ProcessMessages();
    }
    platform::ProcessMessages();
    return !RowsReplaced(generation);
}

bool CheckRun::RowsReplaced(std::uint64_t generation) const {
    return list_.Generation() != generation;
}

bool CheckRun::StopTest(std::size_t index, std::size_t count) const {
    if (platform::IsEscapeDown())
        return true;
    if (StopRequested())
        return true;
    return index + 1 == count;
}

} // namespace core
