#include "core/RowCells.h"

#include "results/Columns.h"

namespace core {

void AppendCells(results::ResultRow &row, const probes::DomainRecord &record,
                 const results::Columns &columns, Missing missing) {
    if (row.Caption().empty())
        row.SetCaption(record.name);
    for (int c = row.SubItemCount() + 1; c < columns.Count(); ++c) {
        const std::optional<std::string> field = record.Field(columns.At(c).key);
        if (!field && missing == Missing::StopThere)
            return;
        row.AppendSubItem(field.value_or(kNoDetail));
    }
}

} // namespace core
