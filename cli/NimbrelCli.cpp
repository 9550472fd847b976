#include "cli/NimbrelCli.h"

#include "cli/CliOptions.h"
#include "cli/IndexCommands.h"
#include "cli/ProgressLine.h"
#include "cli/RowPrinter.h"
#include "cli/RowStream.h"
#include "cli/TerminalApplication.h"
#include "cli/TerminalText.h"
#include "core/AffixWords.h"
#include "cli/WatchCommands.h"
#include "core/WatchCheck.h"
#include "core/CandidateGenerator.h"
#include "core/CheckRun.h"
#include "core/CheckSetup.h"
#include "core/KeywordRules.h"
#include "core/NameCount.h"
#include "core/NameList.h"
#include "core/OptionsStore.h"
#include "core/SuffixList.h"
#include "net/ConnectRouteStack.h"
#include "platform/InputFile.h"
#include "registry/IdnaName.h"
#include "registry/ParkingServices.h"
#include "registry/RegistryDataUpdate.h"
#include "registry/WhoisServers.h"
#include "results/ResultList.h"
#include "results/ResultsFile.h"

#include <chrono>
#include <functional>
#include <iostream>
#include <new>

namespace cli {
namespace {

// A file the command line names cannot be read or written.
class EFileProblem : public base::Exception {
public:
    using Exception::Exception;
};

// The keywords as the keywords dialog would accept them, lower-cased for the search.
std::vector<std::string> AcceptKeywords(const std::vector<std::string> &typed) {
    std::vector<std::string> keywords;
    for (const std::string &keyword : typed) {
        switch (core::AddKeyword(keywords, keyword)) {
        case core::KeywordAdded::TooMany:
            throw EUsageError(core::kTooManyKeywords);
        case core::KeywordAdded::Refused:
            throw EUsageError(core::RefusedKeywordMessage(keyword));
        case core::KeywordAdded::Added:
        case core::KeywordAdded::Ignored:
            break;
        }
    }
    if (keywords.empty())
        throw EUsageError(core::kNoKeyword);
    core::LowerKeywords(keywords);
    return keywords;
}

// A search of linked names shows the free ones unless --show says otherwise; the command line
// alone chooses it, whatever the window last stored.
void ApplyDiscoverChoices(const CliOptions &cli, core::SearchOptions &options) {
    options.SetSearchMode(cli.discover ? core::kLinkedNames : core::kBuildNames);
    if (!cli.discover)
        return;
    if (!cli.show)
        options.SetShow(core::kShowAvailableOnly);
    if (cli.minHosts)
        options.minHosts = static_cast<std::uint32_t>(*cli.minHosts);
}

void ApplyChoices(const CliOptions &cli, core::SearchOptions &options) {
    if (cli.searchfor)
        options.SetSearchFor(*cli.searchfor);
    if (cli.show)
        options.SetShow(*cli.show);
    const std::pair<const std::optional<bool> &, bool &> flags[] = {
        {cli.com, options.COM},         {cli.net, options.NET},           {cli.org, options.ORG},
        {cli.hyphens, options.hyphens}, {cli.acronyms, options.acronyms}, {cli.biz, options.BIZ},
        {cli.us, options.US},           {cli.info, options.INFO},         {cli.couk, options.COUK},
    };
    for (const auto &[choice, field] : flags) {
        if (choice)
            field = *choice;
    }
    if (cli.suffixes)
        options.suffixes = *cli.suffixes;
    if (cli.check)
        options.SetCheck(*cli.check);
    if (cli.jobs)
        options.SetJobs(*cli.jobs);
    if (cli.linksFrom)
        options.SetLinksFrom(*cli.linksFrom);
    if (cli.rankFrom)
        options.SetRankFrom(*cli.rankFrom);
    if (cli.cache)
        options.cache = *cli.cache;
    if (cli.before)
        options.before = *cli.before;
    if (cli.after)
        options.after = *cli.after;
    if (cli.commonAffixes)
        options.commonAffixes = *cli.commonAffixes;
    if (cli.suffixHacks)
        options.suffixHacks = *cli.suffixHacks;
    if (cli.maxNameLength)
        options.maxNameLength = *cli.maxNameLength;
    ApplyDiscoverChoices(cli, options);
}

// The more suffixes, stored or given, checked before any name is built.
void CheckSuffixes(const core::SearchOptions &options) {
    try {
        core::ReadSuffixList(options.suffixes);
    } catch (const core::ESuffixError &error) {
        throw EUsageError("--suffix: " + error.Message());
    }
    for (const auto &[text, name] :
         {std::pair{&options.before, "--before"}, std::pair{&options.after, "--after"}}) {
        try {
            core::ReadAffixWords(*text);
        } catch (const core::EAffixError &error) {
            throw EUsageError(std::string(name) + ": " + error.Message());
        }
    }
}

// What --dry-run prints: a line per suffix, then the whole count.
void PrintNameCount(std::ostream &out, const core::NameCount &count) {
    for (const core::SuffixCount &entry : count.perSuffix)
        out << entry.names << " ." << TerminalText(registry::ToUnicodeName(entry.suffix)) << '\n';
    out << count.total << (count.total == 1 ? " name" : " names") << " in all\n";
}

probes::RegistrySettings RegistryChoices(const CliOptions &cli) {
    probes::RegistrySettings settings;
    settings.tls.CAFile = cli.caFile;
    settings.dns.server = cli.dnsServer;
    settings.dataSources = registry::DefaultRegistryDataSources();
    settings.parkingFiles = registry::DefaultParkingFiles();
    if (cli.dnsInflight)
        settings.dns.inflight = *cli.dnsInflight;
    if (cli.rdapRate)
        settings.rdapRate = *cli.rdapRate;
    if (const auto own = probes::UserBootstrapFile())
        settings.bootstrapFiles.push_back(*own);
    if (!cli.rdapBootstrap.empty())
        settings.bootstrapFiles.push_back(cli.rdapBootstrap);
    if (cli.cacheTtl)
        settings.cacheLifetimes = *cli.cacheTtl;
    if (const auto own = registry::UserWhoisServersFile())
        settings.whoisServersFiles.push_back(*own);
    if (!cli.whoisServers.empty())
        settings.whoisServersFiles.push_back(cli.whoisServers);
    if (cli.whoisPace)
        settings.whoisPace =
            std::chrono::milliseconds(static_cast<long long>(*cli.whoisPace * 1000));
    return settings;
}

probes::ServiceAddresses ServiceChoices(const CliOptions &cli) {
    probes::ServiceAddresses services;
    if (!cli.searchEngine.empty())
        services.searchEngine = cli.searchEngine;
    if (!cli.rankingService.empty())
        services.rankingService = cli.rankingService;
    return services;
}

net::NetworkContext NetworkChoices(const CliOptions &cli) {
    net::NetworkContext context;
    if (cli.connectTimeout)
        context.ConnectTimeout = static_cast<int>(*cli.connectTimeout * 1000);
    if (cli.readTimeout)
        context.ReadTimeout = static_cast<int>(*cli.readTimeout * 1000);
    if (cli.requestTimeout)
        context.RequestTimeout = static_cast<int>(*cli.requestTimeout * 1000);
    context.Sockets = net::RoutedSocketLayer(cli.connectTo);
    return context;
}

// The keywords "dialog" of the terminal: the keywords are already given, so it confirms them.
class ConfirmedKeywords : public core::KeywordsPrompt {
public:
    explicit ConfirmedKeywords(core::SearchOptions &options) : options_(options) {}
    core::KeywordsAnswer ShowKeywordsModal() override {
        core::LowerKeywords(options_.keywords);
        return core::KeywordsAnswer::Search;
    }

private:
    core::SearchOptions &options_;
};

void LoadInto(const std::string &path, results::ResultList &list) {
    try {
        results::LoadResultsFile(path, list);
    } catch (const results::EResultsFileError &failure) {
        throw EFileProblem(failure.Message());
    }
}

void WriteOutput(const std::string &path,
                 void (*write)(const std::string &, const results::ResultList &),
                 const results::ResultList &list) {
    if (path.empty())
        return;
    try {
        write(path, list);
    } catch (const base::Exception &failure) {
        throw EFileProblem(failure.Message());
    } catch (const std::bad_alloc &) {
        throw EFileProblem("cannot write " + path + ": not enough memory");
    }
}

void WriteOutputs(const CliOptions &cli, const results::ResultList &list) {
    WriteOutput(cli.saveFile, results::WriteResultsFile, list);
    WriteOutput(cli.namesFile, results::WriteNamesList, list);
}

// The most a names list may hold: far more names than any run checks.
constexpr std::uint64_t kLongestNamesList = 64 * 1024 * 1024;

// The text of --from: a regular file or a FIFO, or standard input for "-", within the limit.
std::string NamesListText(const std::string &path, std::istream &in) {
    if (path != "-") {
        try {
            return platform::ReadWholeFile(path, kLongestNamesList);
        } catch (const base::Exception &failure) {
            throw EFileProblem(failure.Message());
        }
    }
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLongestNamesList)
            throw EFileProblem("standard input: more names than a names list may hold");
    }
    return text;
}

// Why a line of --from is not checked, for the line on standard error (escaped: it comes from
// the file).
std::string FaultText(const core::BadName &bad) {
    const std::string text = TerminalText(bad.text);
    switch (bad.fault) {
    case core::NameFault::BelowRegistrableName:
        return text + " is a host below the registrable name " + bad.registrable +
               ", which a registry answers for; list " + bad.registrable + " to check it";
    case core::NameFault::PublicSuffix:
        return text + " is a public suffix, not a name one can register";
    case core::NameFault::NotAName:
        break;
    }
    return "not a domain name: '" + text + "'";
}

// The names of --from, with a line on standard error for each one that is not checked. The text
// is held as read; the run cuts the names from it one at a time.
core::NameList NamesFrom(const std::string &path, std::istream &in, std::ostream &err) {
    core::NameList list(NamesListText(path, in));
    const std::string shownPath = TerminalText(path);
    list.Check([&](const core::BadName &bad) {
        err << "nimbrel-cli: " << shownPath << ":" << bad.line << ": " << FaultText(bad) << "\n";
    });
    return list;
}

// Free names a search of linked names stops after unless --limit says otherwise.
constexpr int kDiscoverLimit = 100;

// Checks the generated candidates, or names when given.
int Search(const CliOptions &cli, core::SearchOptions &options, core::CheckSetup setup,
           results::ResultList &list, std::ostream &err, Terminal terminal,
           core::NameSource *names) {
    core::StringList candidates, scratch;
    TerminalApplication app(err);
    ConfirmedKeywords prompt(options);
    ProgressLine progress(err, terminal.errIsTerminal);
    // The setup as chosen, the delegation ahead of a registry check included.
    core::CheckRun run(
        options, candidates, scratch, list, [setup = std::move(setup)] { return setup; },
        NetworkChoices(cli), prompt, progress);
    run.SetAvailableLimit(
        static_cast<std::size_t>(cli.limit.value_or(cli.discover ? kDiscoverLimit : 0)));
    app.OnStop([&run] { run.StopRunning(); });
    // The second Ctrl-C ends the run at once; the rows of the names that finished are printed.
    app.OnAbandon([&run] { run.Interrupt(); });
    if (names)
        run.CheckNames(*names);
    else
        run.Start();
    return TerminalApplication::Interrupted() ? kExitInterrupted : kExitDone;
}

// The search settings of the per-user store, with the command line's choices applied.
core::SearchOptions ChosenOptions(const CliOptions &cli) {
    core::SearchOptions options;
    core::LoadSearchMode(options);
    core::LoadSettings(options);
    ApplyChoices(cli, options);
    CheckSuffixes(options);
    return options;
}

OutputFormat FormatOf(const CliOptions &cli, Terminal terminal) {
    return cli.format.value_or(terminal.outIsTerminal ? OutputFormat::Table : OutputFormat::Tsv);
}

// Prints the rows as asked (the rest of them, when they were printed as they came) and writes
// the files the command line names.
int Show(const CliOptions &cli, results::ResultList &list, std::ostream &out, Terminal terminal,
         int status, RowStream *stream = nullptr) {
    if (stream) {
        stream->Finish();
    } else {
        if (cli.sortColumn)
            list.SortByColumn(*cli.sortColumn);
        PrintRows(out, list, FormatOf(cli, terminal));
    }
    out.flush();
    // The files are written even when standard output failed, so that the rows reach them.
    WriteOutputs(cli, list);
    if (!out)
        throw EFileProblem("cannot write the rows to standard output");
    return status;
}

// One line when the registry data in use is old, since registries move their servers.
void WarnIfOld(const std::optional<std::chrono::sys_seconds> &published,
               std::chrono::sys_days today, std::ostream &err) {
    if (!registry::IsRegistryDataOld(published, today))
        return;
    err << "nimbrel-cli: The registry data is from " << registry::PublicationDay(*published)
        << ", more than " << registry::kOldRegistryData.count()
        << " days old; update it with --update-registry-data\n";
}

// Fetches the registry data as --update-registry-data asks: the outcome on standard output,
// a refusal on standard error.
int UpdateData(const CliOptions &cli, std::ostream &out, std::ostream &err) {
    registry::UpdateSettings settings;
    if (!cli.registryDataUrl.empty())
        settings.url = cli.registryDataUrl;
    settings.network = NetworkChoices(cli);
    settings.sources = registry::DefaultRegistryDataSources();
    try {
        net::TlsSettings tls;
        tls.CAFile = cli.caFile;
        settings.tls = std::make_shared<const net::TlsClientContext>(tls);
    } catch (const base::Exception &failure) {
        throw EFileProblem(failure.Message());
    }
    const registry::RegistryDataUpdate update = registry::UpdateRegistryData(settings);
    if (update.outcome == registry::UpdateOutcome::Refused) {
        err << "nimbrel-cli: " << TerminalText(registry::UpdateReport(update)) << '\n';
        return kExitUpdateRefused;
    }
    out << TerminalText(registry::UpdateReport(update)) << '\n';
    return kExitDone;
}

// The probes and columns of the run, with a line on standard error for an index it passed over.
// A missing index that was asked for, a trust store or a bootstrap file that cannot be used is a
// file problem.
// A watch check's setup is core::ChooseWatchSetup's, the window's own.
core::CheckSetup ChosenSetup(const CliOptions &cli, const core::SearchOptions &options,
                             std::chrono::sys_days today, std::ostream &err, bool watch = false) {
    try {
        core::CheckSetup setup =
            watch ? core::ChooseWatchSetup(options, core::UserIndexFolder(), RegistryChoices(cli),
                                           ServiceChoices(cli))
                  : core::ChooseCheckSetup(options, core::UserIndexFolder(), RegistryChoices(cli),
                                           ServiceChoices(cli));
        for (const std::string &note : setup.notes)
            err << "nimbrel-cli: " << TerminalText(note) << '\n';
        WarnIfOld(setup.registryDataPublished, today, err);
        return setup;
    } catch (const base::Exception &failure) {
        throw EFileProblem(failure.Message());
    }
}

// The watch list's commands; its check is the usual run over the watched names with the watch
// check's setup (core/WatchCheck: every name a row, the registry asked about delegated names
// too, no details of a free name).
int Watch(const CliOptions &cli, std::ostream &out, std::ostream &err, Terminal terminal,
          std::chrono::sys_days today, const WatchClock &clock) {
    const WatchSearch search = [&](core::NameSource &names, results::ResultList &list) {
        core::SearchOptions options = ChosenOptions(cli);
        core::UseForWatch(options);
        core::CheckSetup setup = ChosenSetup(cli, options, today, err, true);
        return Search(cli, options, std::move(setup), list, err, terminal, &names);
    };
    return RunWatchCommands(cli, out, err, FormatOf(cli, terminal), clock, search);
}

int Run(const CliOptions &cli, std::ostream &out, std::ostream &err, Terminal terminal,
        std::chrono::sys_days today, const WatchClock &clock) {
    if (cli.index.Any()) {
        if (!cli.keywords.empty() || !cli.loadFile.empty())
            throw EUsageError("the index commands take no keywords and no --load");
        return RunIndexCommands(cli.index, out, err, terminal.errIsTerminal);
    }
    if (cli.updateRegistryData) {
        if (!cli.keywords.empty() || !cli.loadFile.empty() || !cli.fromFile.empty())
            throw EUsageError("--update-registry-data takes no keywords, --load or --from");
        return UpdateData(cli, out, err);
    }
    if (!cli.registryDataUrl.empty())
        throw EUsageError("--registry-data-url goes with --update-registry-data");
    if (cli.AnyWatch() || cli.notify) {
        if (!cli.loadFile.empty())
            throw EUsageError("the watch list commands take no --load");
        return Watch(cli, out, err, terminal, today, clock);
    }
    if (!cli.loadFile.empty()) {
        if (!cli.keywords.empty())
            throw EUsageError("--load prints a results file and takes no keywords");
        results::ResultList list;
        LoadInto(cli.loadFile, list);
        return Show(cli, list, out, terminal, kExitDone);
    }
    if (cli.discover && (!cli.fromFile.empty() || cli.candidatesOnly))
        throw EUsageError("--discover searches the web graph and takes no --from or --candidates");
    if (cli.minHosts && !cli.discover)
        throw EUsageError("--min-hosts goes with --discover");
    core::SearchOptions options = ChosenOptions(cli);
    std::optional<core::NameList> names;
    if (!cli.fromFile.empty()) {
        if (!cli.keywords.empty())
            throw EUsageError("--from checks the names of a file and takes no keywords");
        if (cli.dryRun)
            throw EUsageError("--dry-run counts the names built from keywords, not --from");
        names = NamesFrom(cli.fromFile, std::cin, err);
    } else {
        options.keywords = AcceptKeywords(cli.keywords);
        if (cli.dryRun) {
            PrintNameCount(out, core::CountCandidates(options));
            return kExitDone;
        }
        if (cli.candidatesOnly) {
            core::StringList candidates, scratch;
            core::CandidateGenerator(options, candidates, scratch).BuildCandidates();
            for (const std::string &name : candidates)
                out << name << '\n';
            return kExitDone;
        }
    }
    core::CheckSetup setup = ChosenSetup(cli, options, today, err);
    results::ResultList list(setup.columns);
    // Rows in list order go out as the run decides them.
    std::optional<RowStream> stream;
    if (RowStream::Streams(FormatOf(cli, terminal), cli.sortColumn.has_value()))
        stream.emplace(out, list, FormatOf(cli, terminal));
    const int status =
        Search(cli, options, std::move(setup), list, err, terminal, names ? &*names : nullptr);
    return Show(cli, list, out, terminal, status, stream ? &*stream : nullptr);
}

} // namespace

int RunNimbrelCli(int argc, const char *const *argv, std::ostream &out, std::ostream &err,
                  Terminal terminal, std::chrono::sys_days today,
                  std::function<std::chrono::system_clock::time_point()> clock) {
    if (!clock)
        clock = [] { return std::chrono::system_clock::now(); };
    try {
        const CliOptions cli = ParseCommandLine(argc, argv);
        if (cli.helpShown) {
            out << cli.helpText;
            return kExitDone;
        }
        return Run(cli, out, err, terminal, today, clock);
    } catch (const EUsageError &error) {
        err << "nimbrel-cli: " << TerminalText(error.Message()) << '\n';
        return kExitUsage;
    } catch (const EFileProblem &error) {
        err << "nimbrel-cli: " << TerminalText(error.Message()) << '\n';
        return kExitFileError;
    }
}

} // namespace cli
