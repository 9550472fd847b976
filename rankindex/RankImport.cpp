#include "rankindex/RankImport.h"

#include "platform/UserDataFolder.h"

#include "rankindex/ImportError.h"
#include "rankindex/LineSource.h"
#include "rankindex/NameSection.h"
#include "rankindex/RankIndexFormat.h"

#include <chrono>
#include <cstdlib>

namespace rankindex {
namespace {

void MakeFolder(const std::filesystem::path &folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw EImportError("cannot make the folder " + folder.string() + ": " + error.message());
}

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void Tally(const RankLine &line, std::uint64_t lineNumber, ImportReport &report) {
    switch (line.type) {
    case RankLine::Type::Header:
        ++report.headerLines;
        break;
    case RankLine::Type::Blank:
        ++report.blankLines;
        break;
    case RankLine::Type::Malformed:
        if (report.malformedLines++ < kMaxReportedMalformedLines)
            report.firstMalformedLines.push_back(lineNumber);
        break;
    case RankLine::Type::Entry:
        break;
    }
}

void ReadLines(LineSource &lines, RankIndexWriter &writer, ImportReport &report,
               const ImportProgressHandler &progress) {
    // Asked by blocks of text rather than by lines, so that a file without line breaks (a device
    // of zeros, an archive of one endless line) can be cancelled as soon as any other.
    lines.CheckEachBlock([&] {
        if (progress && !progress({ImportProgress::Stage::Reading, lines.Position(),
                                   lines.FileSize(), lines.LineNumber()}))
            throw EImportCancelled("import cancelled");
    });
    RankLineParser parser(report.kind);
    std::string_view text;
    while (lines.Next(text)) {
        const std::uint64_t number = lines.LineNumber();
        RankLine line;
        if (!lines.Overlong())
            line = parser.Parse(text, number);
        if (line.type == RankLine::Type::Entry) {
            // A rank list's names are kept too, with their rank as the position; it gives no
            // PageRank position or host count, which stay 0.
            writer.AddName(line.name, {line.position, line.pageRankPosition, line.hosts}, number);
        } else
            Tally(line, number, report);
    }
    report.lines = lines.LineNumber();
}

} // namespace

std::filesystem::path DefaultIndexFolder() {
    if (auto folder = platform::UserDataFolder())
        return *folder;
    throw EImportError("no folder for the indexes: neither XDG_DATA_HOME nor HOME is set");
}

std::filesystem::path IndexPath(const std::filesystem::path &folder, RankKind kind) {
    return folder / (kind == RankKind::WebGraph ? "web-graph.idx" : "rank-list.idx");
}

ImportReport ImportRankFile(RankKind kind, const std::filesystem::path &source,
                            const std::filesystem::path &indexFolder,
                            const ImportOptions &options) {
    ImportReport report;
    report.kind = kind;
    report.indexPath = IndexPath(indexFolder, kind);
    report.sourceName = source.filename().string();

    LineSource lines(source);
    report.format = lines.GetFormat();
    MakeFolder(indexFolder);
    RankIndexWriter writer(report.indexPath, options.runEntries);
    ReadLines(lines, writer, report, options.progress);
    if (writer.Added() == 0)
        throw EImportError(source.string() + ": no line is a " + RankKindName(kind) + " line (" +
                           std::to_string(report.malformedLines) + " malformed of " +
                           std::to_string(report.lines) + ")");

    RankIndexInfo header;
    header.kind = kind;
    header.sourceName = report.sourceName;
    header.sourceLines = report.lines;
    header.skippedLines = report.malformedLines;
    header.importTime = SecondsNow();
    auto mergeProgress = [&](std::uint64_t done, std::uint64_t total) {
        return !options.progress ||
               options.progress({ImportProgress::Stage::Writing, done, total, report.lines});
    };
    const RankIndexWriter::Summary summary = writer.Finish(header, mergeProgress);
    writer.Commit();
    report.entries = summary.entries;
    report.duplicateNames = summary.duplicates;
    report.firstDuplicates = summary.firstDuplicates;
    return report;
}

} // namespace rankindex
