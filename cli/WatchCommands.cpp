#include "cli/WatchCommands.h"

#include "base/AsciiCase.h"
#include "cli/NimbrelCli.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalText.h"
#include "core/NameList.h"
#include "core/RowCells.h"
#include "core/WatchList.h"
#include "core/WatchRecorder.h"
#include "core/WatchReport.h"
#include "platform/DesktopNotices.h"
#include "platform/InputFile.h"

#include <memory>
#include <optional>

namespace cli {
namespace {

using namespace std::chrono;

// The most a names file for --watch-add may hold; a watch list is a few hundred names.
constexpr std::uint64_t kLongestWatchFile = 4 * 1024 * 1024;

class EWatchProblem : public base::Exception {
public:
    using Exception::Exception;
};

std::string Joined(const std::vector<std::string> &names) {
    std::string text;
    for (const std::string &name : names)
        text += name + '\n';
    return text;
}

// The names as a check takes them (ASCII form); a bad one refuses the whole command when it
// was typed, and is told and passed over when it came from a file.
std::vector<std::string> ReadNames(const std::string &text, const std::string &from,
                                   std::ostream &err) {
    core::NameList list(text);
    bool bad = false;
    list.Check([&](const core::BadName &line) {
        bad = true;
        if (!from.empty())
            err << "nimbrel-cli: " << TerminalText(from) << ":" << line.line
                << ": not a name to watch: '" << TerminalText(line.text) << "'\n";
        else
            err << "nimbrel-cli: not a name to watch: '" << TerminalText(line.text) << "'\n";
    });
    if (bad && from.empty())
        throw EUsageError("nothing was changed in the watch list");
    std::vector<std::string> names;
    // Registries answer for names in any case; the list keeps one form of each.
    while (auto name = list.Next())
        names.push_back(base::AsciiLower(*name));
    return names;
}

std::vector<std::string> NamesToAdd(const CliOptions &cli, std::ostream &err) {
    if (cli.fromFile.empty())
        return ReadNames(Joined(cli.watchAddNames), {}, err);
    if (!cli.watchAddNames.empty())
        throw EUsageError("--watch-add takes its names from the command line or --from, not both");
    std::string text;
    try {
        text = platform::ReadWholeFile(cli.fromFile, kLongestWatchFile);
    } catch (const base::Exception &failure) {
        throw EWatchProblem(failure.Message());
    }
    return ReadNames(text, cli.fromFile, err);
}

std::string Plural(std::size_t count, const char *word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string IsoTime(system_clock::time_point time) {
    std::string text = core::TimeText(time);
    text[10] = 'T';
    return text + "Z";
}

std::string OrNone(const std::string &text) {
    return text.empty() ? core::kNoDetail : text;
}

void PrintList(core::WatchList &watch, std::ostream &out, OutputFormat format, sys_days today) {
    const results::Columns columns({
        {"Domain name", "domain", "domain"},
        {"Available", "available", "available"},
        {"Status", "status", "status"},
        {"Expires", "expires", "expires"},
        {"Expected release", "release", "release"},
        {"Last checked", "checked_at", "checked_at"},
    });
    std::vector<OutputRow> rows;
    for (const core::WatchedName &name : watch.Names()) {
        const auto release = core::ReleaseOf(name, today);
        const core::WatchState state = name.state.value_or(core::WatchState{});
        OutputRow row;
        row.cells = {name.name,
                     name.state ? std::string(probes::AvailabilityWord(state.available))
                                : core::kNoDetail,
                     OrNone(state.status),
                     OrNone(state.expires),
                     release ? core::ReleaseText(*release) : core::kNoDetail,
                     name.checkedAt ? IsoTime(*name.checkedAt) : core::kNoDetail};
        row.checked = name.state && state.available == probes::Availability::Free;
        rows.push_back(std::move(row));
    }
    PrintRows(out, columns, rows, format);
}

// Sends the notices of a check, connecting to the bus at the first; without a bus each
// notice is a line on standard error.
class NoticeSender {
public:
    explicit NoticeSender(std::ostream &err) : err_(err) {}

    void Send(const core::WatchNotice &notice) {
        if (Connected()) {
            try {
                notices_->Show(notice.summary, notice.body);
                return;
            } catch (const platform::ENoticeError &failure) {
                err_ << "nimbrel-cli: " << TerminalText(failure.Message()) << '\n';
            }
        }
        err_ << "nimbrel-cli: notice: " << TerminalText(notice.summary) << ": "
             << TerminalText(notice.body) << '\n';
    }

private:
    bool Connected() {
        if (notices_ || tried_)
            return notices_ != nullptr;
        tried_ = true;
        const auto address = platform::DesktopNotices::SessionBusAddress();
        if (!address) {
            err_ << "nimbrel-cli: no session bus for desktop notices\n";
            return false;
        }
        try {
            notices_ = std::make_unique<platform::DesktopNotices>(*address, "Nimbrel");
        } catch (const platform::ENoticeError &failure) {
            err_ << "nimbrel-cli: " << TerminalText(failure.Message()) << '\n';
        }
        return notices_ != nullptr;
    }

    std::ostream &err_;
    std::unique_ptr<platform::DesktopNotices> notices_;
    bool tried_ = false;
};

int Check(const CliOptions &cli, core::WatchList &watch, std::ostream &out, std::ostream &err,
          const WatchClock &clock, const WatchSearch &search) {
    std::vector<std::string> names;
    for (const core::WatchedName &name : watch.Names())
        names.push_back(name.name);
    if (names.empty())
        return kExitDone;
    NoticeSender notices(err);
    core::NameVector source(std::move(names));
    results::ResultList list;
    core::WatchRecorder recorder(watch, list, [&](const core::WatchChange &change) {
        out << TerminalText(core::ChangeLine(change)) << '\n';
        out.flush();
        if (!cli.notify)
            return;
        if (const auto notice = core::NoticeFor(change, floor<days>(clock())))
            notices.Send(*notice);
    });
    const int status = search(source, list);
    recorder.Finish();
    if (recorder.Undecided() > 0)
        err << "nimbrel-cli: " << Plural(static_cast<std::size_t>(recorder.Undecided()), "name")
            << " could not be checked; the watch list keeps what was seen before\n";
    if (recorder.Failed() > 0) {
        err << "nimbrel-cli: " << Plural(static_cast<std::size_t>(recorder.Failed()), "name")
            << " could not be recorded: " << TerminalText(recorder.FirstFailure()) << '\n';
        return kExitFileError;
    }
    return status;
}

int Run(const CliOptions &cli, std::ostream &out, std::ostream &err, OutputFormat format,
        const WatchClock &clock, const WatchSearch &search) {
    if (cli.notify && !cli.watchCheck)
        throw EUsageError("--notify goes with --watch-check");
    if (!cli.keywords.empty())
        throw EUsageError("the watch list commands take no keywords");
    if (!cli.fromFile.empty() && !cli.watchAdd)
        throw EUsageError("--from goes with --watch-add here");
    // Read before the list is opened, so a bad name changes nothing.
    const std::vector<std::string> added =
        cli.watchAdd ? NamesToAdd(cli, err) : std::vector<std::string>{};
    const std::vector<std::string> removed = cli.watchRemove.empty()
                                                 ? std::vector<std::string>{}
                                                 : ReadNames(Joined(cli.watchRemove), {}, err);
    core::WatchList watch(core::WatchList::DefaultFile(), clock);
    if (!watch.Note().empty())
        err << "nimbrel-cli: " << TerminalText(watch.Note()) << '\n';
    if (cli.watchAdd) {
        const int count = watch.Add(added);
        out << Plural(static_cast<std::size_t>(count), "name") << " added to the watch list\n";
    }
    if (!removed.empty()) {
        const int count = watch.Remove(removed);
        out << Plural(static_cast<std::size_t>(count), "name") << " removed from the watch list\n";
    }
    int status = kExitDone;
    if (cli.watchCheck)
        status = Check(cli, watch, out, err, clock, search);
    if (cli.watchList)
        PrintList(watch, out, format, floor<days>(clock()));
    return status;
}

} // namespace

int RunWatchCommands(const CliOptions &cli, std::ostream &out, std::ostream &err,
                     OutputFormat format, const WatchClock &clock, const WatchSearch &search) {
    try {
        return Run(cli, out, err, format, clock, search);
    } catch (const core::EWatchListError &failure) {
        err << "nimbrel-cli: " << TerminalText(failure.Message()) << '\n';
        return kExitFileError;
    } catch (const EWatchProblem &failure) {
        err << "nimbrel-cli: " << TerminalText(failure.Message()) << '\n';
        return kExitFileError;
    }
}

} // namespace cli
