#include "core/ForceDetails.h"

#include "core/RowCells.h"
#include "core/StepRelay.h"
#include "platform/Application.h"
#include "results/ResultList.h"

#include <exception>
#include <memory>
#include <optional>

namespace core {
namespace {

// The row's evidence so far, so that a detail's source is added to it, not put in its place.
std::string EvidenceShown(const results::ResultRow &row, const results::Columns &columns) {
    const auto column = columns.IndexOfKey(base::field::kEvidence);
    const std::optional<std::string_view> cell = column ? row.Cell(*column) : std::nullopt;
    if (!cell || *cell == kNoDetail)
        return {};
    return std::string(*cell);
}

// The window's part while the details are fetched: the message queue drains before each probe
// and wherever a probe pauses.
class WindowDrains : public CheckSteps {
public:
    NextStep BeforeProbe(const probes::DomainRecord &, const probes::Probe &) override {
        platform::ProcessMessages();
        return NextStep::Go;
    }
    void Pause() override { platform::ProcessMessages(); }
};

// The details, or nothing when the command was abandoned on the way.
std::optional<probes::DomainRecord> FetchDetails(const std::string &name, std::string evidence,
                                                 const probes::ProbeList &probes,
                                                 const net::NetworkContext &context) {
    probes::DomainRecord record;
    record.name = name;
    if (!evidence.empty())
        record.SetField(base::field::kEvidence, std::move(evidence));
    WindowDrains drains;
    bool complete = true;
    StepRelay(*context.Sockets).Run(drains, [&](CheckSteps &steps) {
        const probes::Pause pause = [&steps] { steps.Pause(); };
        for (const auto &probe : probes) {
            if (!probe->OnlyForAvailable())
                continue;
            if (steps.BeforeProbe(record, *probe) != NextStep::Go) {
                complete = false;
                return;
            }
            probe->Run(record, context, pause);
        }
    });
    if (!complete || context.Sockets->Interrupted())
        return std::nullopt;
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
        const auto details = FetchDetails(name, std::move(evidence), probes, context);
        if (const std::shared_ptr<results::ResultRow> row = target.lock();
            details && row && row->Listed() && list.Generation() == generation)
            ReplaceDetails(*row, *details, probes, list.GetColumns());
        platform::ProcessMessages();
    } catch (const std::exception &) {
        // A failing probe or a failing write leaves the row with its old texts.
    }
}

} // namespace core
