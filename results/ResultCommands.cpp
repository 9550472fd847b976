#include "results/ResultCommands.h"

#include "platform/Application.h"

#include <exception>
#include <memory>

namespace results {
namespace {

constexpr int LinkPopularitySubItem = 2;
constexpr int TrafficRankSubItem = 3;

template <typename Change> void ChangeEveryCheckMark(ResultList &list, Change change) {
    const ResultListUpdate batch(list);
    for (int i = 0; i < list.Count(); ++i) {
        ResultRow &row = *list.Row(i);
        row.SetChecked(change(row.Checked()));
    }
}

struct Details {
    std::string linkPopularity;
    std::string trafficRank;
};

Details FetchDetails(const std::string &name, net::Probes &probes) {
    Details details;
    platform::ProcessMessages();
    details.linkPopularity = probes.GetLinkPopularity(name);
    platform::ProcessMessages();
    details.trafficRank = probes.GetTrafficRank(name);
    return details;
}

} // namespace

void Checkitmanually1Click(const ResultList &list) {
    const std::shared_ptr<ResultRow> row = list.SelectedRow();
    if (!row || row->Caption().empty())
        return;
    platform::ShellOpen("http://www." + row->Caption(), platform::ShowWindow::Maximized);
}

void Registerthisdomain1Click(const std::string &reg) {
    if (reg.empty())
        return;
    platform::ShellOpen(reg, platform::ShowWindow::Maximized);
}

void SelectAll1Click(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool) { return true; });
}

void SelectNone1Click(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool) { return false; });
}

void InvertSelection1Click(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool checked) { return !checked; });
}

void Force1Click(ResultList &list, net::Probes &probes) {
    try {
        std::weak_ptr<ResultRow> target;
        std::string name;
        if (const std::shared_ptr<ResultRow> row = list.SelectedRow()) {
            target = row;
            name = row->Caption();
        }
        if (name.empty())
            return;
        // Only a weak reference is held while the probes run, so a clear lets the row go.
        const std::uint64_t generation = list.Generation();
        const Details details = FetchDetails(name, probes);
        if (const std::shared_ptr<ResultRow> row = target.lock();
            row && row->Listed() && list.Generation() == generation) {
            row->SetSubItem(LinkPopularitySubItem, details.linkPopularity);
            row->SetSubItem(TrafficRankSubItem, details.trafficRank);
        }
        platform::ProcessMessages();
    } catch (const std::exception &) {
        // A failing probe or a failing write leaves the row with its old texts.
    }
}

} // namespace results
