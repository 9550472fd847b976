#pragma once

#include "rankindex/CompressedFile.h"
#include "rankindex/RankIndexWriter.h"
#include "rankindex/RankLineParser.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rankindex {

// Where an import stands, for a progress bar.
struct ImportProgress {
    enum class Stage { Reading, Writing };
    Stage stage = Stage::Reading;
    std::uint64_t done = 0;  // Reading: bytes of the file; Writing: records
    std::uint64_t total = 0; // the same unit
    std::uint64_t lines = 0;
};
// Called now and then from the importing thread; false cancels the import.
using ImportProgressHandler = std::function<bool(const ImportProgress &)>;

struct ImportOptions {
    ImportProgressHandler progress;
    std::size_t runEntries = RankIndexWriter::kDefaultRunEntries;
};

// What an import found; the index holds `entries` names.
struct ImportReport {
    RankKind kind = RankKind::WebGraph;
    std::filesystem::path indexPath;
    std::string sourceName;
    CompressedFile::Format format = CompressedFile::Format::Plain;
    std::uint64_t lines = 0;
    std::uint64_t entries = 0;
    std::uint64_t headerLines = 0;
    std::uint64_t blankLines = 0;
    std::uint64_t malformedLines = 0;
    std::vector<std::uint64_t> firstMalformedLines; // the first few
    std::uint64_t duplicateNames = 0;
    std::vector<DuplicateName> firstDuplicates; // the first few
};

inline constexpr std::size_t kMaxReportedMalformedLines = 5;

// ${XDG_DATA_HOME:-$HOME/.local/share}/Nimbrel; EImportError when neither is set.
std::filesystem::path DefaultIndexFolder();
// The index file of a kind in a folder: web-graph.idx or rank-list.idx.
std::filesystem::path IndexPath(const std::filesystem::path &folder, RankKind kind);

// Reads the source file (plain, gzip or zip) and replaces the kind's index in the folder (made
// when missing) once the whole file has been read. EImportError when the file cannot be read,
// is truncated or corrupt, or holds no line of the kind; EImportCancelled when the progress
// handler said so. In every failure the previous index stays as it was.
ImportReport ImportRankFile(RankKind kind, const std::filesystem::path &source,
                            const std::filesystem::path &indexFolder,
                            const ImportOptions &options = {});

} // namespace rankindex
