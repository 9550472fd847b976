#pragma once

#include "cli/CliOptions.h"

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// One result row as the terminal front end prints it.
struct OutputRow {
    std::string domain;
    std::string suffix;
    std::string available;
    std::string links;
    std::string rank;
    bool checked = false;
};

// Writes the rows in list order in the given format.
void PrintRows(std::ostream &out, const std::vector<OutputRow> &rows, OutputFormat format);

// A TSV cell: tab, line feed, carriage return and backslash written as \t, \n, \r and \\.
std::string EscapeTsv(const std::string &cell);

} // namespace cli
