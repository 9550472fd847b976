#pragma once

#include "results/ResultList.h"
#include "results/ResultsFileReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The results file: an INI file with one section per row, item0 to item(N-1), each with the
// keys domain, suffix, available, links, rank and check. And the names list: one domain name a
// line.
namespace results {

// A larger results file is refused before it is read.
constexpr std::uint64_t MaxResultsFileBytes = std::uint64_t{1} << 30;

// Replaces the rows of list with those of the file at path (a regular file or a FIFO, opened
// once): one row for every section of the file, row k read from the section item<k> (see
// ResultsFileReader). The sort column is kept; no sort is applied. A failure raises the
// EResultsFileError subclass that says why and leaves the rows read so far, or none when memory
// ran out or the file is not a results file.
void LoadResultsFile(const std::string &path, ResultList &list);

// LoadResultsFile without a word of failure: a file that cannot be loaded gives the rows read
// before the failure, which for a missing or unreadable file are none.
void ReadResultsFile(const std::string &path, ResultList &list);

// The text of a results file holding every row in display order, check as 1 or 0, given to
// write in pieces of about kResultsTextPiece bytes as it is made, so that the text of a million
// rows is never held whole.
constexpr std::size_t kResultsTextPiece = std::size_t{1} << 16;
void WriteResultsText(const ResultList &list, const std::function<void(std::string_view)> &write);
// The same text whole, for a few rows.
std::string ResultsFileText(const ResultList &list);

// Writes every row in display order, check as 1 or 0, as WriteResultsText makes it. The file is
// replaced as a whole and atomically: when writing fails the previous file stays as it was, and
// platform's EFileWriteError reports the failure.
void WriteResultsFile(const std::string &path, const ResultList &list);

// Writes the domain name of every row in display order, one a line, replacing the file as
// WriteResultsFile does. A row is always one line: line breaks and other control characters
// in a name are escaped as TSV escapes them (\n, \t, \r, \\, others as \xHH).
void WriteNamesList(const std::string &path, const ResultList &list);

} // namespace results
