#include "core/ForceDetails.h"

#include "platform/Application.h"
#include "results/ResultList.h"

#include <exception>
#include <memory>

namespace core {
namespace {

probes::DomainRecord FetchDetails(const std::string &name, const probes::ProbeList &probes,
                                  const net::NetworkContext &context) {
    probes::DomainRecord record;
    record.name = name;
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
        std::string name;
        if (const std::shared_ptr<results::ResultRow> row = list.SelectedRow()) {
            target = row;
            name = row->Caption();
        }
        if (name.empty())
            return;
        // Only a weak reference is held while the probes run, so a clear lets the row go.
        const std::uint64_t generation = list.Generation();
        const probes::DomainRecord details = FetchDetails(name, probes, context);
        if (const std::shared_ptr<results::ResultRow> row = target.lock();
            row && row->Listed() && list.Generation() == generation)
            ReplaceDetails(*row, details, probes, list.GetColumns());
        platform::ProcessMessages();
    } catch (const std::exception &) {
        // A failing probe or a failing write leaves the row with its old texts.
    }
}

} // namespace core
