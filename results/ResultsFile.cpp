#include "results/ResultsFile.h"

#include "base/IntegerText.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

#include <exception>
#include <string_view>

namespace results {
namespace {

// The keys of a row's sub-items, in sub-item order.
constexpr std::string_view SubItemKeys[] = {"suffix", "available", "links", "rank"};

std::string SectionName(int position) {
    return "item" + std::to_string(position);
}

// 0 unchecks; any other integer, decimal or 0x hexadecimal, and anything that is not an
// integer at all, checks.
bool ReadCheckMark(const platform::IniSection &section) {
    const std::optional<std::string_view> value = section.Value("check");
    if (!value)
        return true;
    return base::StrToIntDef(*value, 1, base::IntegerForm::DecimalOrHex) != 0;
}

void FillRow(ResultRow &row, const platform::IniSection &section) {
    row.SetCaption(section.ReadString("domain"));
    for (std::string_view key : SubItemKeys)
        row.AppendSubItem(section.ReadString(key));
    row.SetChecked(ReadCheckMark(section));
}

} // namespace

void ReadResultsFile(const std::string &path, ResultList &list) {
    const ResultListUpdate batch(list);
    try {
        list.Clear();
        const platform::IniFile ini = platform::IniFile::Load(path);
        // Only the count of sections matters: row k always comes from item<k>.
        const platform::IniSection missing("");
        const int count = static_cast<int>(ini.SectionCount());
        for (int k = 0; k < count; ++k) {
            const platform::IniSection *section = ini.FindSection(SectionName(k));
            FillRow(*list.Append(), section ? *section : missing);
        }
    } catch (const std::exception &) {
        // Reading is silent; the rows read so far stay.
    }
}

void WriteResultsFile(const std::string &path, const ResultList &list) {
    platform::IniFile ini;
    for (int k = 0; k < list.Count(); ++k) {
        const ResultRow &row = *list.Row(k);
        platform::IniSection &section = ini.Section(SectionName(k));
        section.WriteString("domain", row.Caption());
        for (int i = 0; i < static_cast<int>(std::size(SubItemKeys)); ++i) {
            const std::string *text = row.SubItem(i);
            section.WriteString(SubItemKeys[i], text ? std::string_view(*text) : "");
        }
        section.WriteString("check", row.Checked() ? "1" : "0");
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
