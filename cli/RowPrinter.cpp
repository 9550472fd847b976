#include "cli/RowPrinter.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

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

bool IsC1Control(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]) == 0xC2 && at + 1 < text.size() &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

void AppendHexEscape(std::string &out, const char *prefix, unsigned char code) {
    static const char digits[] = "0123456789abcdef";
    out += prefix;
    out += digits[code >> 4];
    out += digits[code & 15];
}

// A cell fit for one line of a table: readable text in which no byte can steer the terminal.
// C0 controls and DEL show as \xHH, C1 controls (also where a Windows-1252 byte reads as one)
// as \u00HH.
std::string TableCell(const std::string &cell) {
    const std::string text = base::DisplayUtf8(cell);
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            AppendHexEscape(shown, "\\x", byte);
        } else if (IsC1Control(text, i)) {
            AppendHexEscape(shown, "\\u00", static_cast<unsigned char>(text[++i]));
        } else {
            shown += text[i];
        }
    }
    return shown;
}

void PrintTsv(std::ostream &out, const results::Columns &columns,
              const std::vector<OutputRow> &rows) {
    auto printLine = [&out](const Line &cells) {
        for (std::size_t i = 0; i < cells.size(); ++i)
            out << (i ? "\t" : "") << EscapeTsv(cells[i]);
        out << '\n';
    };
    printLine(Header(columns, false));
    for (const OutputRow &row : rows) {
        Line cells = row.cells;
        cells.push_back(row.checked ? "1" : "0");
        printLine(cells);
    }
}

// One row object at a time, in the layout a whole document dumped with an indent of two would
// have, so that a million rows never stand in memory as one document.
void PrintJson(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows) {
    if (rows.empty()) {
        out << "[]\n";
        return;
    }
    out << "[\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const OutputRow &row = rows[i];
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (int c = 0; c < columns.Count(); ++c)
            object[columns.At(c).key] =
                base::DisplayUtf8(row.cells.at(static_cast<std::size_t>(c)));
        object[kCheckedKey] = row.checked;
        std::string text = object.dump(2);
        for (std::size_t at = text.find('\n'); at != std::string::npos;
             at = text.find('\n', at + 1))
            text.insert(at + 1, "  ");
        out << "  " << text << (i + 1 < rows.size() ? ",\n" : "\n");
    }
    out << "]\n";
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
        PrintTsv(out, columns, rows);
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
