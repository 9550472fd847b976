#include "results/ResultsFile.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

#include <exception>
#include <optional>
#include <string_view>

namespace results {
namespace {

using platform::IniFile;

std::string SectionName(int position) {
    return "item" + std::to_string(position);
}

// The section of row k; usually it stands at position k, where no search is needed.
std::optional<std::size_t> FindItem(const IniFile &ini, int k) {
    const std::string name = SectionName(k);
    const auto position = static_cast<std::size_t>(k);
    if (base::SameTextAscii(ini.SectionName(position), name))
        return position;
    return ini.FindSection(name);
}

// A missing section or key reads as the empty text.
std::string ReadText(const IniFile &ini, std::optional<std::size_t> section, std::string_view key) {
    if (!section)
        return {};
    return std::string(ini.Value(*section, key).value_or(""));
}

// 0 unchecks; any other integer, decimal or 0x hexadecimal, and anything that is not an
// integer at all, checks.
bool ReadCheckMark(const IniFile &ini, std::optional<std::size_t> section) {
    const std::optional<std::string_view> value =
        section ? ini.Value(*section, "check") : std::nullopt;
    if (!value)
        return true;
    return base::StrToIntDef(*value, 1, base::IntegerForm::DecimalOrHex) != 0;
}

void FillRow(ResultRow &row, const Columns &columns, const IniFile &ini,
             std::optional<std::size_t> section) {
    row.SetCaption(ReadText(ini, section, columns.At(0).fileKey));
    for (int c = 1; c < columns.Count(); ++c)
        row.AppendSubItem(ReadText(ini, section, columns.At(c).fileKey));
    row.SetChecked(ReadCheckMark(ini, section));
}

} // namespace

void ReadResultsFile(const std::string &path, ResultList &list) {
    const ResultListUpdate batch(list);
    try {
        list.Clear();
        const IniFile ini = IniFile::Load(path);
        // Only the count of sections matters: row k always comes from item<k>.
        const int count = static_cast<int>(ini.SectionCount());
        for (int k = 0; k < count; ++k)
            FillRow(*list.Append(), list.GetColumns(), ini, FindItem(ini, k));
    } catch (const std::exception &) {
        // Reading is silent; the rows read so far stay.
    }
}

void WriteResultsFile(const std::string &path, const ResultList &list) {
    IniFile ini;
    for (int k = 0; k < list.Count(); ++k) {
        const ResultRow &row = *list.Row(k);
        const std::size_t section = ini.AddSection(SectionName(k));
        for (int c = 0; c < list.ColumnCount(); ++c) {
            const std::string *text = row.Cell(c);
            ini.WriteString(section, list.GetColumns().At(c).fileKey,
                            text ? std::string_view(*text) : "");
        }
        ini.WriteString(section, "check", row.Checked() ? "1" : "0");
    }
    ini.Save(path);
}

void WriteNamesList(const std::string &path, const ResultList &list) {
    std::string text;
    for (int k = 0; k < list.Count(); ++k) {
        text += list.Row(k)->Caption();
        text += '\n';
    }
    platform::WriteFileAtomically(path, text);
}

} // namespace results
