#pragma once

#include "results/ResultList.h"

#include <string>

// The results file: an INI file with one section per row, item0 to item(N-1), each with the
// keys domain, suffix, available, links, rank and check. And the names list: one domain name a
// line.
namespace results {

// Replaces the rows of list with those of the file at path: one row for every section of the
// file, row k read from the section item<k> (empty cells and a check mark where the section or
// a key is missing). Silent: a missing or unreadable file gives an empty list, and a failure
// part-way keeps the rows read so far. The sort column is kept; no sort is applied.
void ReadResultsFile(const std::string &path, ResultList &list);

// Writes every row in display order, check as 1 or 0. The file is replaced as a whole and
// atomically: when writing fails the previous file stays as it was, and platform's
// EFileWriteError reports the failure.
void WriteResultsFile(const std::string &path, const ResultList &list);

// Writes the domain name of every row in display order, one a line, replacing the file as
// WriteResultsFile does.
void WriteNamesList(const std::string &path, const ResultList &list);

} // namespace results
