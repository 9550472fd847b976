#include "results/ResultCommands.h"

#include "platform/Application.h"

#include <memory>

namespace results {
namespace {

template <typename Change> void ChangeEveryCheckMark(ResultList &list, Change change) {
    const ResultListUpdate batch(list);
    for (int i = 0; i < list.Count(); ++i) {
        ResultRow &row = *list.Row(i);
        row.SetChecked(change(row.Checked()));
    }
}

} // namespace

void OpenSelectedSite(const ResultList &list) {
    const std::shared_ptr<ResultRow> row = list.SelectedRow();
    if (!row || row->Caption().empty())
        return;
    platform::ShellOpen("http://www." + row->Caption(), platform::ShowWindow::Maximized);
}

void OpenRegistration(const std::string &reg) {
    if (reg.empty())
        return;
    platform::ShellOpen(reg, platform::ShowWindow::Maximized);
}

void CheckAll(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool) { return true; });
}

void UncheckAll(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool) { return false; });
}

void InvertChecks(ResultList &list) {
    ChangeEveryCheckMark(list, [](bool checked) { return !checked; });
}

} // namespace results
