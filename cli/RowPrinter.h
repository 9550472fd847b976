#pragma once

#include "cli/CliOptions.h"
#include "results/Columns.h"
#include "results/ResultList.h"

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// One result row as the terminal front end prints it: a cell per column, then the check mark.
struct OutputRow {
    std::vector<std::string> cells;
    bool checked = false;
};

// The rows of list in display order.
std::vector<OutputRow> OutputRows(const results::ResultList &list);

// Writes the rows in list order in the given format, a field per column and "checked" last.
void PrintRows(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows, OutputFormat format);

// A TSV cell: tab, line feed, carriage return and backslash written as \t, \n, \r and \\.
std::string EscapeTsv(const std::string &cell);

} // namespace cli
