#include "core/WatchCheck.h"

#include "core/DomainCheck.h"
#include "core/RowCells.h"
#include "core/WatchRecorder.h"
#include "results/ResultList.h"

#include <algorithm>
#include <utility>

namespace core {
namespace {

// Goes on until the check's socket layer is interrupted.
class UntilInterrupted : public CheckSteps {
public:
    explicit UntilInterrupted(const net::SocketLayer &sockets) : sockets_(sockets) {}
    NextStep BeforeProbe(const probes::DomainRecord &, const probes::Probe &) override {
        return sockets_.Interrupted() ? NextStep::Abandon : NextStep::Go;
    }

private:
    const net::SocketLayer &sockets_;
};

std::vector<std::string> WatchedNames(WatchList &watch) {
    std::vector<std::string> names;
    for (const WatchedName &name : watch.Names())
        names.push_back(name.name);
    return names;
}

} // namespace

void UseForWatch(SearchOptions &options) {
    options.SetCheck(kCheckRegistry);
    options.SetShow(1);
}

CheckSetup ChooseWatchSetup(SearchOptions options, const std::filesystem::path &indexFolder,
                            probes::RegistrySettings registry,
                            const probes::ServiceAddresses &services) {
    UseForWatch(options);
    registry.askWhenDelegated = true;
    CheckSetup setup = ChooseCheckSetup(options, indexFolder, registry, services);
    std::erase_if(setup.probes, [](const auto &probe) { return probe->OnlyForAvailable(); });
    return setup;
}

WatchCheck::WatchCheck(std::filesystem::path file, WatchList::Clock clock, SetupChooser choose,
                       net::NetworkContext context, Reports reports)
    : file_(std::move(file)), clock_(std::move(clock)), choose_(std::move(choose)),
      context_(std::move(context)), reports_(std::move(reports)), thread_([this] { Run(); }) {}

WatchCheck::~WatchCheck() {
    Stop();
    thread_.join();
}

void WatchCheck::Stop() {
    context_.Sockets->Interrupt();
}

void WatchCheck::Run() {
    WatchCheckEnd end;
    try {
        CheckAll(end);
    } catch (const probes::ECheckStopped &) {
        // Stopped in the middle of a name: the names before it are recorded.
    } catch (const base::Exception &failure) {
        end.problem = failure.Message();
    } catch (const std::exception &failure) {
        // Nothing may leave the thread; the window says what ended the check.
        end.problem = std::string("The check failed: ") + failure.what();
    }
    end.stopped = context_.Sockets->Interrupted();
    if (reports_.end)
        reports_.end(end);
}

void WatchCheck::CheckAll(WatchCheckEnd &end) {
    WatchList watch(file_, clock_);
    const std::vector<std::string> names = WatchedNames(watch);
    if (names.empty())
        return;
    const CheckSetup setup = choose_();
    results::ResultList list(setup.columns);
    WatchRecorder recorder(watch, list, [&](const WatchChange &change) {
        end.changes.push_back(change);
        if (reports_.change)
            reports_.change(change);
    });
    // The layer's lookups and connections serve every name of the check.
    const net::SocketLayer::KeepRunning keepRunning(context_.Sockets);
    UntilInterrupted steps(*context_.Sockets);
    for (std::size_t k = 0; k < names.size() && !context_.Sockets->Interrupted(); ++k) {
        if (reports_.progress)
            reports_.progress({.position = k + 1, .count = names.size(), .name = names[k]});
        const auto record = CheckDomain(names[k], setup.probes, context_, steps);
        if (!record)
            break;
        AppendCells(*list.Append(), *record, list.GetColumns(), Missing::ShowPlaceholder);
        ++end.checked;
        // Recorded now, so that a stop in the next name keeps it.
        recorder.Finish();
    }
    end.undecided = recorder.Undecided();
    end.failed = recorder.Failed();
    end.failure = recorder.FirstFailure();
}

} // namespace core
