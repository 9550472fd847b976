#include "results/ResultCommands.h"

#include "base/FieldKeys.h"
#include "base/WebLink.h"
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

std::optional<std::string> SelectedOfferLink(const ResultList &list) {
    const std::shared_ptr<ResultRow> row = list.SelectedRow();
    const std::optional<int> column = list.GetColumns().IndexOfKey(base::field::kOffer);
    if (!row || !column)
        return std::nullopt;
    const std::optional<std::string_view> offer = row->Cell(*column);
    if (!offer || !base::IsWebLink(*offer))
        return std::nullopt;
    return std::string(*offer);
}

void OpenSelectedOffer(const ResultList &list) {
    if (const std::optional<std::string> link = SelectedOfferLink(list))
        platform::ShellOpen(*link, platform::ShowWindow::Normal);
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
