#pragma once

#include "probes/DomainRecord.h"
#include "results/ResultRow.h"

namespace results {
class Columns;
}

namespace core {

// The text a row shows for a detail no probe asked about (a taken name's link popularity).
inline constexpr const char *kNoDetail = "-";

// What AppendCells does at a field the record does not hold.
enum class Missing {
    StopThere,       // the field may still come: append nothing from there on
    ShowPlaceholder, // the field will not come: show kNoDetail
};

// Sets the caption of a new row and appends the cells it still lacks, in column order.
void AppendCells(results::ResultRow &row, const probes::DomainRecord &record,
                 const results::Columns &columns, Missing missing);

} // namespace core
