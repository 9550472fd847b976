#include "cli/NimbrelCli.h"

#include "cli/CliOptions.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalApplication.h"
#include "core/CandidateGenerator.h"
#include "core/CheckRun.h"
#include "core/KeywordRules.h"
#include "core/OptionsStore.h"
#include "core/StopRequest.h"
#include "net/ConnectRouteStack.h"
#include "probes/WebProbes.h"
#include "results/ResultList.h"
#include "results/ResultsFile.h"

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
        if (core::AddKeyword(keywords, keyword) == core::KeywordAdded::TooMany)
            throw EUsageError(core::kTooManyKeywords);
    }
    if (keywords.empty())
        throw EUsageError(core::kNoKeyword);
    core::LowerKeywords(keywords);
    return keywords;
}

void ApplyChoices(const CliOptions &cli, core::SearchOptions &options) {
    if (cli.searchfor)
        options.SetSearchFor(*cli.searchfor);
    if (cli.show)
        options.SetShow(*cli.show);
    const std::pair<const std::optional<bool> &, bool &> flags[] = {
        {cli.com, options.COM},         {cli.net, options.NET},           {cli.org, options.ORG},
        {cli.hyphens, options.hyphens}, {cli.acronyms, options.acronyms},
    };
    for (const auto &[choice, field] : flags) {
        if (choice)
            field = *choice;
    }
}

net::NetworkContext NetworkChoices(const CliOptions &cli) {
    net::NetworkContext context;
    if (!cli.searchEngine.empty())
        context.Services.SearchEngine = cli.searchEngine;
    if (!cli.rankingService.empty())
        context.Services.RankingService = cli.rankingService;
    if (cli.connectTimeout)
        context.ConnectTimeout = static_cast<int>(*cli.connectTimeout * 1000);
    if (cli.readTimeout)
        context.ReadTimeout = static_cast<int>(*cli.readTimeout * 1000);
    context.Sockets = net::RoutedSocketLayer(cli.connectTo);
    return context;
}

// The keywords "dialog" of the terminal: the keywords are already given, so it confirms them.
class ConfirmedKeywords : public core::KeywordsPrompt {
public:
    explicit ConfirmedKeywords(core::SearchOptions &options) : options_(options) {}
    void ShowKeywordsModal() override {
        core::LowerKeywords(options_.keywords);
        core::ClearStopRequest();
    }

private:
    core::SearchOptions &options_;
};

// "Checking... NAME (k/N)" on standard error; one line rewritten in place on a terminal.
class Progress : public core::StatusLine {
public:
    Progress(std::ostream &err, bool terminal, const core::StringList &candidates)
        : err_(err), terminal_(terminal), candidates_(candidates) {}
    ~Progress() override {
        if (terminal_ && shown_)
            err_ << "\r\033[K" << std::flush;
    }
    void SetStatusText(const std::string &text) override {
        if (!text.starts_with("Checking... "))
            return;
        ++checked_;
        const std::string line =
            text + " (" + std::to_string(checked_) + "/" + std::to_string(candidates_.size()) + ")";
        if (terminal_)
            err_ << "\r\033[K" << line << std::flush;
        else
            err_ << line << '\n';
        shown_ = true;
    }

private:
    std::ostream &err_;
    bool terminal_;
    const core::StringList &candidates_;
    std::size_t checked_ = 0;
    bool shown_ = false;
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

int Search(const CliOptions &cli, core::SearchOptions &options, results::ResultList &list,
           std::ostream &err, Terminal terminal) {
    core::StringList candidates, scratch;
    TerminalApplication app(err);
    ConfirmedKeywords prompt(options);
    Progress progress(err, terminal.errIsTerminal, candidates);
    core::CheckRun run(options, candidates, scratch, list, probes::WebProbes(), NetworkChoices(cli),
                       prompt, progress);
    run.Start();
    return TerminalApplication::Interrupted() ? kExitInterrupted : kExitDone;
}

int Run(const CliOptions &cli, std::ostream &out, std::ostream &err, Terminal terminal) {
    results::ResultList list;
    int status = kExitDone;
    if (!cli.loadFile.empty()) {
        if (!cli.keywords.empty())
            throw EUsageError("--load prints a results file and takes no keywords");
        LoadInto(cli.loadFile, list);
    } else {
        core::SearchOptions options;
        core::LoadSearchMode(options);
        core::LoadSettings(options);
        ApplyChoices(cli, options);
        options.keywords = AcceptKeywords(cli.keywords);
        if (cli.candidatesOnly) {
            core::StringList candidates, scratch;
            core::CandidateGenerator(options, candidates, scratch).BuildCandidates();
            for (const std::string &name : candidates)
                out << name << '\n';
            return kExitDone;
        }
        status = Search(cli, options, list, err, terminal);
    }
    if (cli.sortColumn)
        list.SortByColumn(*cli.sortColumn);
    const OutputFormat format =
        cli.format.value_or(terminal.outIsTerminal ? OutputFormat::Table : OutputFormat::Tsv);
    PrintRows(out, list.GetColumns(), OutputRows(list), format);
    out.flush();
    // The files are written even when standard output failed, so that the rows reach them.
    WriteOutputs(cli, list);
    if (!out)
        throw EFileProblem("cannot write the rows to standard output");
    return status;
}

} // namespace

int RunNimbrelCli(int argc, const char *const *argv, std::ostream &out, std::ostream &err,
                  Terminal terminal) {
    try {
        const CliOptions cli = ParseCommandLine(argc, argv);
        if (cli.helpShown) {
            out << cli.helpText;
            return kExitDone;
        }
        return Run(cli, out, err, terminal);
    } catch (const EUsageError &error) {
        err << "nimbrel-cli: " << error.Message() << '\n';
        return kExitUsage;
    } catch (const EFileProblem &error) {
        err << "nimbrel-cli: " << error.Message() << '\n';
        return kExitFileError;
    }
}

} // namespace cli
