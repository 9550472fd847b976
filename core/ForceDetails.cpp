#include "core/ForceDetails.h"

#include "core/RowCells.h"
#include "platform/Application.h"
#include "results/ResultList.h"

#include <exception>
#include <memory>

namespace core {
namespace {

// The row's evidence so far, so that a detail's source is added to it, not put in its place.
std::string EvidenceShown(const results::ResultRow &row, const results::Columns &columns) {
    const auto column = columns.IndexOfKey(probes::kEvidenceKey);
    const std::string *cell = column ? row.Cell(*column) : nullptr;
    return cell && *cell != kNoDetail ? *cell : std::string();
}

probes::DomainRecord FetchDetails(const std::string &name, std::string evidence,
                                  const probes::ProbeList &probes,
                                  const net::NetworkContext &context) {
    probes::DomainRecord record;
    record.name = name;
    if (!evidence.empty())
        record.SetField(probes::kEvidenceKey, std::move(evidence));
    const probes::Pause drain = [] { platform::ProcessMessages(); };
    for (const auto &probe : probes) {
        if (!probe->OnlyForAvailable())
            continue;
        platform::ProcessMessages();
        probe->Run(record, context, drain);
    }
    return record;
}

// Replaces the cells of the fields that the detail probes fill.
void ReplaceDetails(results::ResultRow &row, const probes::DomainRecord &record,
                    const probes::ProbeList &probes, const results::Columns &columns) {
    for (const auto &probe : probes) {
        if (!probe->OnlyForAvailable())
            continue;
        for (const std::string &key : probe->Fills()) {
            const auto column = columns.IndexOfKey(key);
            const auto value = record.Field(key);
            if (column && *column > 0 && value)
                row.SetSubItem(*column - 1, *value);
        }
    }
}

} // namespace

void ForceDetails(results::ResultList &list, const probes::ProbeList &probes,
                  const net::NetworkContext &context) {
    try {
        std::weak_ptr<results::ResultRow> target;
        std::string name, evidence;
        if (const std::shared_ptr<results::ResultRow> row = list.SelectedRow()) {
            target = row;
            name = row->Caption();
            evidence = EvidenceShown(*row, list.GetColumns());
        }
        if (name.empty())
            return;
        // Only a weak reference is held while the probes run, so a clear lets the row go.
        const std::uint64_t generation = list.Generation();
        const probes::DomainRecord details =
            FetchDetails(name, std::move(evidence), probes, context);
        if (const std::shared_ptr<results::ResultRow> row = target.lock();
            row && row->Listed() && list.Generation() == generation)
            ReplaceDetails(*row, details, probes, list.GetColumns());
        platform::ProcessMessages();
    } catch (const std::exception &) {
        // A failing probe or a failing write leaves the row with its old texts.
    }
}

} // namespace core
