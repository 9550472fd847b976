#include "core/DomainCheck.h"

#include "probes/Suffix.h"

namespace core {

bool IsAvailable(const probes::DomainRecord &record) {
    return record.available == "Yes";
}

std::optional<probes::DomainRecord> CheckDomain(const std::string &name,
                                                const probes::ProbeList &probes,
                                                const net::NetworkContext &context,
                                                CheckSteps &steps) {
    probes::DomainRecord record;
    record.name = name;
    record.suffix = probes::ExtractSuffix(name);
    const probes::Pause pause = [&steps] { steps.Pause(); };
    for (const auto &probe : probes) {
        if (probe->OnlyForAvailable() && !IsAvailable(record))
            continue;
        const NextStep step = steps.BeforeProbe(record, *probe);
        if (step == NextStep::Abandon)
            return std::nullopt;
        if (step == NextStep::SkipRest)
            break;
        probe->Run(record, context, pause);
    }
    return record;
}

} // namespace core
