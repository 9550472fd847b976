#pragma once

#include "cli/CliOptions.h"
#include "results/Columns.h"
#include "results/ResultList.h"

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// Writes the rows of list in display order in the given format, a field per column and
// "checked" last. The cells are read where the rows keep them and written one row at a time,
// so that printing a million rows needs no more memory than one row's text; a table reads the
// rows twice, first for the column widths.
void PrintRows(std::ostream &out, const results::ResultList &list, OutputFormat format);

// PrintRows in pieces, for rows printed as they come (not for a table, which needs every row
// for its widths): the head (the keys of a delimited format), each row by its position from 0
// in order, then the tail (what closes a JSON array of count rows).
void PrintHead(std::ostream &out, const results::Columns &columns, OutputFormat format);
void PrintRow(std::ostream &out, const results::ResultList &list, int position,
              OutputFormat format);
void PrintTail(std::ostream &out, int count, OutputFormat format);

// One result row made by hand: a cell per column, then the check mark.
struct OutputRow {
    std::vector<std::string> cells;
    bool checked = false;
};

// PrintRows for rows made by hand (a few; they are put in a list first).
void PrintRows(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows, OutputFormat format);

// A TSV cell: tab, line feed, carriage return and backslash written as \t, \n, \r and \\.
std::string EscapeTsv(std::string_view cell);
// A CSV field (RFC 4180): quoted, with quotes doubled, when it holds a comma, a quote or a line
// break; as it is otherwise.
std::string QuoteCsv(std::string_view cell);

} // namespace cli
