#include "cli/IndexCommands.h"

#include "cli/NimbrelCli.h"
#include "cli/TerminalApplication.h"
#include "cli/TerminalText.h"
#include "rankindex/ImportError.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"

#include <CLI/CLI.hpp>

#include <iomanip>
#include <sstream>

namespace cli {
namespace {

using rankindex::RankKind;

std::string Size(std::uint64_t bytes) {
    const bool large = bytes >= 1000000;
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << static_cast<double>(bytes) / (large ? 1e6 : 1e3)
         << (large ? " MB" : " kB");
    return text.str();
}

// "imported 2024-05-01 12:00 UTC"; a time no import can have had is shown as the number it is.
std::string ImportedWhen(std::int64_t seconds) {
    if (const auto text = rankindex::ImportTimeText(seconds, "%Y-%m-%d %H:%M UTC"))
        return "imported " + *text;
    return "imported at an invalid time (" + std::to_string(seconds) + " s after 1970)";
}

std::string LineList(const std::vector<std::uint64_t> &lines) {
    std::string text;
    for (const std::uint64_t line : lines)
        text += (text.empty() ? "" : ", ") + std::to_string(line);
    return text;
}

std::string Plural(std::uint64_t count, const std::string &noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// "Reading NAME: 45% (123456 lines)", rewritten in place.
class ImportMeter {
public:
    ImportMeter(std::ostream &err, bool terminal, std::string name)
        : err_(err), terminal_(terminal), name_(TerminalText(name)) {}
    ~ImportMeter() {
        if (shown_)
            err_ << "\r\033[K" << std::flush;
    }
    ImportMeter(const ImportMeter &) = delete;
    ImportMeter &operator=(const ImportMeter &) = delete;

    bool Show(const rankindex::ImportProgress &progress) {
        if (terminal_) {
            const int percent =
                progress.total ? static_cast<int>(100 * progress.done / progress.total) : 0;
            const bool reading = progress.stage == rankindex::ImportProgress::Stage::Reading;
            err_ << "\r\033[K" << (reading ? "Reading " + name_ : std::string("Writing the index"))
                 << ": " << percent << "% (" << progress.lines << " lines)" << std::flush;
            shown_ = true;
        }
        return !TerminalApplication::Interrupted();
    }

private:
    std::ostream &err_;
    bool terminal_;
    std::string name_;
    bool shown_ = false;
};

void PrintReport(std::ostream &out, const rankindex::ImportReport &report) {
    out << "Imported the " << rankindex::RankKindName(report.kind) << " from "
        << TerminalText(report.sourceName) << " (" << rankindex::FormatName(report.format)
        << "): " << Plural(report.lines, "line") << ", " << Plural(report.entries, "name") << '\n';
    if (report.headerLines)
        out << "  skipped " << Plural(report.headerLines, "header line") << '\n';
    if (report.blankLines)
        out << "  skipped " << Plural(report.blankLines, "blank line") << '\n';
    if (report.malformedLines)
        out << "  skipped " << Plural(report.malformedLines, "malformed line")
            << " (first ones: " << LineList(report.firstMalformedLines) << ")\n";
    if (report.duplicateNames) {
        std::vector<std::uint64_t> dropped;
        for (const rankindex::DuplicateName &duplicate : report.firstDuplicates)
            dropped.push_back(duplicate.droppedLine);
        out << "  " << Plural(report.duplicateNames, "name") << " listed again; the better "
            << "position was kept and line " << LineList(dropped)
            << (report.duplicateNames > dropped.size() ? " and more" : "") << " dropped\n";
    }
    out << "  index: " << TerminalText(report.indexPath.string()) << " ("
        << Size(std::filesystem::file_size(report.indexPath)) << ")\n";
}

void Import(RankKind kind, const std::string &file, std::ostream &out, std::ostream &err,
            bool errIsTerminal) {
    ImportMeter meter(err, errIsTerminal, std::filesystem::path(file).filename().string());
    rankindex::ImportOptions options;
    options.progress = [&meter](const rankindex::ImportProgress &progress) {
        return meter.Show(progress);
    };
    const rankindex::ImportReport report =
        rankindex::ImportRankFile(kind, file, rankindex::DefaultIndexFolder(), options);
    PrintReport(out, report);
}

void PrintInfo(std::ostream &out, RankKind kind) {
    const std::filesystem::path path = rankindex::IndexPath(rankindex::DefaultIndexFolder(), kind);
    out << rankindex::RankKindName(kind) << ": ";
    if (!std::filesystem::exists(path)) {
        out << "not imported (" << TerminalText(path.string()) << ")\n";
        return;
    }
    try {
        const rankindex::RankIndex index(path);
        const rankindex::RankIndexInfo &info = index.Info();
        out << TerminalText(info.sourceName) << ", " << Plural(info.sourceLines, "line") << " ("
            << info.skippedLines << " malformed), " << Plural(info.entries, "name") << ", "
            << ImportedWhen(info.importTime) << ", " << Size(info.fileSize) << " ("
            << TerminalText(path.string()) << ")\n";
        // An index from before names were kept still answers lookups.
        if (!info.searchable)
            out << "  hash-only: re-import to search by keyword\n";
    } catch (const rankindex::EIndexError &error) {
        out << TerminalText(error.Message()) << '\n';
    }
}

} // namespace

void AddIndexOptions(CLI::App &app, IndexRequest &request) {
    app.add_option("--import-web-graph", request.webGraphFile,
                   "import a web-graph domain-ranks file (plain, .gz or .zip) as the index of "
                   "link popularity");
    app.add_option("--import-rank-list", request.rankListFile,
                   "import a top-sites list of rank,domain lines (plain, .gz or .zip) as the "
                   "index of traffic rank");
    app.add_flag("--index-info", request.info, "say what each index holds");
}

int RunIndexCommands(const IndexRequest &request, std::ostream &out, std::ostream &err,
                     bool errIsTerminal) {
    TerminalApplication app(err);
    try {
        if (!request.webGraphFile.empty())
            Import(RankKind::WebGraph, request.webGraphFile, out, err, errIsTerminal);
        if (!request.rankListFile.empty())
            Import(RankKind::RankList, request.rankListFile, out, err, errIsTerminal);
        if (request.info) {
            PrintInfo(out, RankKind::WebGraph);
            PrintInfo(out, RankKind::RankList);
        }
    } catch (const rankindex::EImportCancelled &) {
        err << "nimbrel-cli: import interrupted; the index was not changed\n";
        return kExitInterrupted;
    } catch (const rankindex::EImportError &error) {
        err << "nimbrel-cli: " << TerminalText(error.Message()) << "; the index was not changed\n";
        return kExitFileError;
    } catch (const base::Exception &error) {
        err << "nimbrel-cli: " << TerminalText(error.Message()) << '\n';
        return kExitFileError;
    }
    return kExitDone;
}

} // namespace cli
