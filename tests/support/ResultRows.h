#pragma once

#include "results/ResultList.h"

#include <memory>
#include <string>
#include <vector>

// Rows as the popup commands' tests set them up and read them back.
namespace testsupport {

// A row NAME | com | available | - | - with the given check mark, appended to list.
inline std::shared_ptr<results::ResultRow> AddTestRow(results::ResultList &list,
                                                      const std::string &name,
                                                      const std::string &available, bool checked) {
    auto row = list.Append();
    row->SetCaption(name);
    for (const char *text : {"com", available.c_str(), "-", "-"})
        row->AppendSubItem(text);
    row->SetChecked(checked);
    return row;
}

// The caption, then every sub-item.
inline std::vector<std::string> CellsOf(const results::ResultRow &row) {
    std::vector<std::string> cells{row.Caption()};
    for (int i = 0; i < row.SubItemCount(); ++i)
        cells.emplace_back(*row.SubItem(i));
    return cells;
}

} // namespace testsupport
