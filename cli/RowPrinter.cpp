#include "cli/RowPrinter.h"

#include "base/FieldKeys.h"
#include "base/TextEncoding.h"
#include "cli/TerminalText.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace cli {
namespace {

constexpr const char *kCheckedKey = "checked";
constexpr const char *kCheckedCaption = "Checked";

// The text of a cell, empty where the row has none.
std::string_view CellText(const results::ResultRow &row, int column) {
    return row.Cell(column).value_or(std::string_view());
}

// Number of characters a UTF-8 text takes on a terminal, counting one per code point.
std::size_t DisplayWidth(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The table shows each name as people read it in the domain name's column, so the display
// name's own column would only repeat it.
bool InTable(const results::Column &column) {
    return column.key != base::field::kDisplay;
}

// A cell as the table shows it, escaped for the terminal.
std::string TableCell(const results::ResultRow &row, int column) {
    if (column == results::ResultList::DomainName)
        return TerminalText(registry::ToUnicodeName(row.Caption()));
    return TerminalText(CellText(row, column));
}

const char *CheckBox(bool checked) {
    return checked ? "[x]" : "[ ]";
}

// The widths of the table's columns, check box last, from a pass over the rows that keeps
// nothing but the widths.
std::vector<std::size_t> TableWidths(const results::ResultList &list) {
    std::vector<std::size_t> widths;
    for (const results::Column &column : list.GetColumns())
        widths.push_back(DisplayWidth(TerminalText(column.caption)));
    widths.push_back(DisplayWidth(kCheckedCaption));
    for (int k = 0; k < list.Count(); ++k) {
        const results::ResultRow &row = *list.Row(k);
        for (int c = 0; c < list.ColumnCount(); ++c) {
            auto &width = widths[static_cast<std::size_t>(c)];
            if (InTable(list.GetColumns().At(c)))
                width = std::max(width, DisplayWidth(TableCell(row, c)));
        }
    }
    widths.back() = std::max(widths.back(), DisplayWidth(CheckBox(true)));
    return widths;
}

// A line of the table, each field but the last padded to its column's width and two blanks.
class TableLine {
public:
    TableLine(std::ostream &out, const std::vector<std::size_t> &widths)
        : out_(out), widths_(widths) {}
    void Field(const std::string &shown) {
        out_ << std::string(padding_, ' ') << shown;
        padding_ = widths_[column_] - DisplayWidth(shown) + 2;
        ++column_;
    }
    // A column the table leaves out: no field and no gap.
    void Skip() { ++column_; }
    void End() { out_ << '\n'; }

private:
    std::ostream &out_;
    const std::vector<std::size_t> &widths_;
    std::size_t column_ = 0;
    std::size_t padding_ = 0;
};

void PrintTable(std::ostream &out, const results::ResultList &list) {
    const std::vector<std::size_t> widths = TableWidths(list);
    TableLine header(out, widths);
    for (const results::Column &column : list.GetColumns())
        InTable(column) ? header.Field(TerminalText(column.caption)) : header.Skip();
    header.Field(kCheckedCaption);
    header.End();
    for (int k = 0; k < list.Count(); ++k) {
        const results::ResultRow &row = *list.Row(k);
        TableLine line(out, widths);
        for (int c = 0; c < list.ColumnCount(); ++c)
            InTable(list.GetColumns().At(c)) ? line.Field(TableCell(row, c)) : line.Skip();
        line.Field(CheckBox(row.Checked()));
        line.End();
    }
}

// How the delimited formats write a line: TSV and CSV; nothing for the others.
struct Delimiting {
    char separator;
    const char *lineEnd;
    std::string (*escape)(std::string_view);
};

std::optional<Delimiting> DelimitingOf(OutputFormat format) {
    switch (format) {
    case OutputFormat::Tsv:
        return Delimiting{'\t', "\n", EscapeTsv};
    case OutputFormat::Csv:
        return Delimiting{',', "\r\n", QuoteCsv};
    case OutputFormat::Json:
    case OutputFormat::Table:
        break;
    }
    return std::nullopt;
}

} // namespace

void PrintHead(std::ostream &out, const results::Columns &columns, OutputFormat format) {
    const std::optional<Delimiting> delimiting = DelimitingOf(format);
    if (!delimiting)
        return;
    for (const results::Column &column : columns)
        out << delimiting->escape(column.key) << delimiting->separator;
    out << kCheckedKey << delimiting->lineEnd;
}

void PrintRow(std::ostream &out, const results::ResultList &list, int position,
              OutputFormat format) {
    if (format == OutputFormat::Table)
        return;
    const results::ResultRow &row = *list.Row(position);
    if (const std::optional<Delimiting> delimiting = DelimitingOf(format)) {
        for (int c = 0; c < list.ColumnCount(); ++c)
            out << delimiting->escape(CellText(row, c)) << delimiting->separator;
        out << (row.Checked() ? '1' : '0') << delimiting->lineEnd;
        return;
    }
    // One row object at a time, in the layout a whole document dumped with an indent of two
    // would have, so that a million rows never stand in memory as one document.
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (int c = 0; c < list.ColumnCount(); ++c)
        object[list.GetColumns().At(c).key] = base::DisplayUtf8(CellText(row, c));
    object[kCheckedKey] = row.Checked();
    std::string text = object.dump(2);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.insert(at + 1, "  ");
    out << (position == 0 ? "[\n  " : ",\n  ") << text;
}

void PrintTail(std::ostream &out, int count, OutputFormat format) {
    if (format == OutputFormat::Json)
        out << (count == 0 ? "[]\n" : "\n]\n");
}

void PrintRows(std::ostream &out, const results::ResultList &list, OutputFormat format) {
    if (format == OutputFormat::Table) {
        PrintTable(out, list);
        return;
    }
    PrintHead(out, list.GetColumns(), format);
    for (int k = 0; k < list.Count(); ++k)
        PrintRow(out, list, k, format);
    PrintTail(out, list.Count(), format);
}

void PrintRows(std::ostream &out, const results::Columns &columns,
               const std::vector<OutputRow> &rows, OutputFormat format) {
    results::ResultList list(columns);
    for (const OutputRow &made : rows) {
        const auto row = list.Append();
        for (std::size_t c = 0; c < made.cells.size(); ++c) {
            if (c == 0)
                row->SetCaption(made.cells[c]);
            else
                row->AppendSubItem(made.cells[c]);
        }
        row->SetChecked(made.checked);
    }
    PrintRows(out, list, format);
}

std::string QuoteCsv(std::string_view cell) {
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(cell);
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string EscapeTsv(std::string_view cell) {
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

} // namespace cli
