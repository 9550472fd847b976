#include "cli/RowPrinter.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace cli {
namespace {

using Line = std::vector<std::string>;

constexpr const char *kCheckedKey = "checked";
constexpr const char *kCheckedCaption = "Checked";

Line Header(const results::Columns &columns, bool captions) {
    Line header;
    for (const results::Column &column : columns)
        header.push_back(captions ? column.caption : column.key);
    header.push_back(captions ? kCheckedCaption : kCheckedKey);
    return header;
}

// Number of characters a UTF-8 text takes on a terminal, counting one per code point.
std::size_t DisplayWidth(const std::string &text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A cell fit for one line of a table: readable text, control characters shown as blanks.
std::string TableCell(const std::string &cell) {
    std::string text = base::DisplayUtf8(cell);
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return text;
}

// Delimited lines: the keys, then a line per row with the check mark as 1 or 0.
void PrintDelimited(std::ostream &out, const results::Columns &columns,
                    const std::vector<OutputRow> &rows, const char *separator,
                    const char *lineEnd, std::string (*escape)(const std::string &)) {
    auto printLine = [&](const Line &cells) {
        for (std::size_t i = 0; i < cells.size(); ++i)
            out << (i ? separator : "") << escape(cells[i]);
        out << lineEnd;
    };
    printLine(Header(columns, false));
    for (const OutputRow &row : rows) {
        Line cells = row.cells;
        cells.push_back(row.checked ? "1" : "0");
        printLine(cells);
    }
}

void PrintJson(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const OutputRow &row : rows) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (int c = 0; c < columns.Count(); ++c)
            object[columns.At(c).key] =
                base::DisplayUtf8(row.cells.at(static_cast<std::size_t>(c)));
        object[kCheckedKey] = row.checked;
        list.push_back(std::move(object));
    }
    out << list.dump(2) << '\n';
}

void PrintTable(std::ostream &out, const results::Columns &columns,
                const std::vector<OutputRow> &rows) {
    std::vector<Line> lines{Header(columns, true)};
    for (const OutputRow &row : rows) {
        Line cells;
        for (const std::string &cell : row.cells)
            cells.push_back(TableCell(cell));
        cells.push_back(row.checked ? "[x]" : "[ ]");
        lines.push_back(std::move(cells));
    }
    std::vector<std::size_t> widths(lines.front().size());
    for (const Line &line : lines) {
        for (std::size_t i = 0; i < line.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(line[i]));
    }
    for (const Line &line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size())
                text += std::string(widths[i] - DisplayWidth(line[i]) + 2, ' ');
        }
        out << text << '\n';
    }
}

} // namespace

std::vector<OutputRow> OutputRows(const results::ResultList &list) {
    std::vector<OutputRow> rows;
    for (int i = 0; i < list.Count(); ++i) {
        const results::ResultRow &row = *list.Row(i);
        OutputRow output{{}, row.Checked()};
        for (int c = 0; c < list.ColumnCount(); ++c) {
            const std::string *text = row.Cell(c);
            output.cells.push_back(text ? *text : std::string());
        }
        rows.push_back(std::move(output));
    }
    return rows;
}

std::string QuoteCsv(const std::string &cell) {
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string EscapeTsv(const std::string &cell) {
    std::string escaped;
    escaped.reserve(cell.size());
    for (char c : cell) {
        switch (c) {
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\\':
            escaped += "\\\\";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

void PrintRows(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows, OutputFormat format) {
    switch (format) {
    case OutputFormat::Tsv:
        PrintDelimited(out, columns, rows, "\t", "\n", EscapeTsv);
        return;
    case OutputFormat::Csv:
        PrintDelimited(out, columns, rows, ",", "\r\n", QuoteCsv);
        return;
    case OutputFormat::Json:
        PrintJson(out, columns, rows);
        return;
    case OutputFormat::Table:
        PrintTable(out, columns, rows);
        return;
    }
}

} // namespace cli
