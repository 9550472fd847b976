#include "core/DomainCheck.h"

#include "probes/Suffix.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <exception>
#include <set>
#include <thread>
#include <vector>

namespace core {
namespace {

using ProbeIndex = probes::ProbeList::size_type;

// The end of the detail probes from first on that may run at the same time: each fills only
// fields that nothing has filled yet and that no other of them fills, so none reads or adds
// to what another writes.
ProbeIndex EndOfOverlap(const probes::ProbeList &probes, ProbeIndex first,
                        const probes::DomainRecord &record) {
    std::set<std::string> filled;
    ProbeIndex end = first;
    for (; end < probes.size() && probes[end]->OnlyForAvailable(); ++end)
        for (const std::string &key : probes[end]->Fills())
            if (record.Field(key) || !filled.insert(key).second)
                return end;
    return end;
}

// Runs the probes of [first, end) at once, each on a copy of record, and takes each one's
// fields back in list order; the first failure in list order passes on.
void RunAtOnce(const probes::ProbeList &probes, ProbeIndex first, ProbeIndex end,
               probes::DomainRecord &record, const net::NetworkContext &context) {
    const ProbeIndex count = end - first;
    std::vector<probes::DomainRecord> copies(count, record);
    std::vector<std::exception_ptr> failures(count);
    auto run = [&](ProbeIndex i) {
        try {
            probes[first + i]->Run(copies[i], context, {});
        } catch (...) {
            failures[i] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> others;
        for (ProbeIndex i = 1; i < count; ++i)
            others.emplace_back(run, i);
        run(0);
    }
    for (const auto &failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    for (ProbeIndex i = 0; i < count; ++i)
        for (const std::string &key : probes[first + i]->Fills())
            if (auto value = copies[i].Field(key))
                record.SetField(key, std::move(*value));
}

} // namespace

bool IsAvailable(const probes::DomainRecord &record) {
    return record.available == probes::Availability::Free;
}

std::optional<probes::DomainRecord>
CheckDomain(const std::string &name, const probes::ProbeList &probes,
            const net::NetworkContext &context, CheckSteps &steps, Details details,
            std::optional<registry::DelegationResult> delegationFound) {
    probes::DomainRecord record;
    record.name = name;
    record.delegationFound = std::move(delegationFound);
    record.suffix = probes::ExtractSuffix(name);
    record.SetField(base::field::kDisplay, registry::ToUnicodeName(name));
    const probes::Pause pause = [&steps] { steps.Pause(); };
    for (ProbeIndex next = 0; next < probes.size();) {
        if (probes[next]->OnlyForAvailable() && !IsAvailable(record)) {
            ++next;
            continue;
        }
        const ProbeIndex groupEnd = details == Details::AtOnce
                                        ? std::max(EndOfOverlap(probes, next, record), next + 1)
                                        : next + 1;
        // The caller is asked about each probe of a group before any of them starts.
        ProbeIndex end = next;
        NextStep step = NextStep::Go;
        while (end < groupEnd && (step = steps.BeforeProbe(record, *probes[end])) == NextStep::Go)
            ++end;
        if (step == NextStep::Abandon)
            return std::nullopt;
        if (end - next == 1)
            probes[next]->Run(record, context, pause);
        else if (end > next)
            RunAtOnce(probes, next, end, record, context);
        if (step == NextStep::SkipRest)
            break;
        next = end;
    }
    return record;
}

} // namespace core
