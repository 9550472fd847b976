#include "cli/NimbrelCli.h"

#include "base/AsciiCase.h"
#include "cli/CliOptions.h"
#include "cli/IndexCommands.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalApplication.h"
#include "core/CandidateGenerator.h"
#include "core/CheckRun.h"
#include "core/OptionsStore.h"
#include "core/StopRequest.h"
#include "net/ConnectRouteStack.h"
#include "net/ConnectionDefaults.h"
#include "net/Probes.h"
#include "results/ResultList.h"
#include "results/ResultsFile.h"

#include <fstream>

namespace cli {
namespace {

// A file the command line names cannot be read or written.
class EFileProblem : public base::Exception {
public:
    using Exception::Exception;
};

// The keyword rules of the keywords dialog: at most three, a repeat that differs only in case
// is dropped, an empty one is ignored.
std::vector<std::string> AcceptKeywords(const std::vector<std::string> &typed) {
    std::vector<std::string> keywords;
    for (const std::string &keyword : typed) {
        if (keyword.empty())
            continue;
        if (keywords.size() == 3)
            throw EUsageError("You have already typed in 3 keywords!");
        const bool repeated = std::any_of(keywords.begin(), keywords.end(), [&](const auto &k) {
            return base::SameTextAscii(k, keyword);
        });
        if (!repeated)
            keywords.push_back(keyword);
    }
    if (keywords.empty())
        throw EUsageError("Mistake: You did not enter any keyword!");
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

void ApplyNetworkChoices(const CliOptions &cli) {
    net::ServiceAddresses addresses = net::CurrentServiceAddresses();
    if (!cli.searchEngine.empty())
        addresses.SearchEngine = cli.searchEngine;
    if (!cli.rankingService.empty())
        addresses.RankingService = cli.rankingService;
    net::SetServiceAddresses(addresses);
    net::ConnectionDefaults waits = net::CurrentConnectionDefaults();
    if (cli.connectTimeout)
        waits.ConnectTimeout = static_cast<int>(*cli.connectTimeout * 1000);
    if (cli.readTimeout)
        waits.ReadTimeout = static_cast<int>(*cli.readTimeout * 1000);
    net::SetConnectionDefaults(waits);
    net::InstallConnectRoutes(cli.connectTo);
}

// The keywords "dialog" of the terminal: the keywords are already given, so it confirms them.
class ConfirmedKeywords : public core::KeywordsPrompt {
public:
    explicit ConfirmedKeywords(core::SearchOptions &options) : options_(options) {}
    void ShowKeywordsModal() override {
        for (std::string &keyword : options_.keywords)
            base::AsciiLowerInPlace(keyword);
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

std::vector<OutputRow> OutputRows(const results::ResultList &list) {
    std::vector<OutputRow> rows;
    for (int i = 0; i < list.Count(); ++i) {
        const results::ResultRow &row = *list.Row(i);
        auto cell = [&row](int column) {
            const std::string *text = row.Cell(column);
            return text ? *text : std::string();
        };
        rows.push_back({cell(0), cell(1), cell(2), cell(3), cell(4), row.Checked()});
    }
    return rows;
}

void LoadInto(const std::string &path, results::ResultList &list) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
        throw EFileProblem("cannot read " + path);
    results::ReadResultsFile(path, list);
}

void WriteOutputs(const CliOptions &cli, const results::ResultList &list) {
    try {
        if (!cli.saveFile.empty())
            results::WriteResultsFile(cli.saveFile, list);
        if (!cli.namesFile.empty())
            results::WriteNamesList(cli.namesFile, list);
    } catch (const base::Exception &failure) {
        throw EFileProblem(failure.Message());
    }
}

int Search(const CliOptions &cli, core::SearchOptions &options, results::ResultList &list,
           std::ostream &err, Terminal terminal) {
    core::StringList candidates, scratch;
    ApplyNetworkChoices(cli);
    TerminalApplication app(err);
    net::WebProbes probes;
    ConfirmedKeywords prompt(options);
    Progress progress(err, terminal.errIsTerminal, candidates);
    core::CheckRun run(options, candidates, scratch, list, probes, prompt, progress);
    run.BitBtn2Click();
    return TerminalApplication::Interrupted() ? kExitInterrupted : kExitDone;
}

int Run(const CliOptions &cli, std::ostream &out, std::ostream &err, Terminal terminal) {
    if (cli.index.Any()) {
        if (!cli.keywords.empty() || !cli.loadFile.empty())
            throw EUsageError("the index commands take no keywords and no --load");
        return RunIndexCommands(cli.index, out, err, terminal.errIsTerminal);
    }
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
            for (std::string &keyword : options.keywords)
                base::AsciiLowerInPlace(keyword);
            core::StringList candidates, scratch;
            core::CandidateGenerator(options, candidates, scratch).BuildCandidates();
            for (const std::string &name : candidates)
                out << name << '\n';
            return kExitDone;
        }
        status = Search(cli, options, list, err, terminal);
    }
    if (cli.sortColumn)
        list.ListView1ColumnClick(*cli.sortColumn);
    const OutputFormat format =
        cli.format.value_or(terminal.outIsTerminal ? OutputFormat::Table : OutputFormat::Tsv);
    PrintRows(out, OutputRows(list), format);
    out.flush();
    WriteOutputs(cli, list);
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
