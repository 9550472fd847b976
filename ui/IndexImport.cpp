#include "ui/IndexImport.h"

#include "rankindex/ImportError.h"

#include <exception>

namespace ui {
namespace {

constexpr const char *kOldIndexKept = " The previous index is kept.";

std::string Plural(std::uint64_t count, const std::string &noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string LineList(const std::vector<std::uint64_t> &lines) {
    std::string text;
    for (const std::uint64_t line : lines)
        text += (text.empty() ? "" : ", ") + std::to_string(line);
    return text;
}

// The failure's message without the file name it may start with.
std::string Reason(const std::exception &failure, const std::filesystem::path &source) {
    const std::string message = failure.what();
    const std::string prefix = source.string() + ": ";
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

} // namespace

std::string ImportReportText(const rankindex::ImportReport &report) {
    std::string text = "Imported the " + std::string(rankindex::RankKindName(report.kind)) + " from " +
                       report.sourceName + ": " + Plural(report.lines, "line") + ", " +
                       Plural(report.entries, "name") + ".";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "\n" + a made string.
    if (report.malformedLines) {
        text += "\nSkipped ";
        text += Plural(report.malformedLines, "malformed line");
        text += " (first ones: " + LineList(report.firstMalformedLines) + ").";
    }
    if (report.duplicateNames) {
        text += '\n';
        text += Plural(report.duplicateNames, "name");
        text += " listed more than once; the better position was kept.";
    }
    text += "\nIndex: " + report.indexPath.string();
    return text;
}

IndexImport::IndexImport(rankindex::RankKind kind, std::filesystem::path source,
                         std::filesystem::path indexFolder)
    : thread_([this, kind, source = std::move(source), folder = std::move(indexFolder)] {
          Work(kind, source, folder);
      }) {}

IndexImport::~IndexImport() {
    Cancel();
    thread_.join();
}

rankindex::ImportProgress IndexImport::Progress() const {
    const std::lock_guard lock(mutex_);
    return progress_;
}

std::string IndexImport::Outcome() const {
    const std::lock_guard lock(mutex_);
    return outcome_;
}

bool IndexImport::Report(const rankindex::ImportProgress &progress) {
    const std::lock_guard lock(mutex_);
    progress_ = progress;
    return !cancel_;
}

void IndexImport::Work(rankindex::RankKind kind, const std::filesystem::path &source,
                       const std::filesystem::path &indexFolder) {
    std::string outcome;
    try {
        rankindex::ImportOptions options;
        options.progress = [this](const rankindex::ImportProgress &progress) {
            return Report(progress);
        };
        outcome = ImportReportText(rankindex::ImportRankFile(kind, source, indexFolder, options));
    } catch (const rankindex::EImportCancelled &) {
        outcome = std::string("The import was cancelled.") + kOldIndexKept;
    } catch (const std::exception &failure) {
        outcome = "Could not import " + source.string() + ": " + Reason(failure, source) + "." +
                  kOldIndexKept;
    }
    {
        const std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
    }
    finished_ = true;
}

} // namespace ui
