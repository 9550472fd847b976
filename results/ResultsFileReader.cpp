#include "results/ResultsFileReader.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "platform/IniFile.h"

#include <array>
#include <optional>

namespace results {
namespace {

constexpr std::size_t DomainKey = 0;

constexpr std::uint32_t ForeignName = 0x80000000;

std::uint32_t FoldedHash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(base::AsciiLowerChar(c));
        hash *= 16777619u;
    }
    return hash ^ (hash >> 15);
}

// k of a section name item<k> in the form the writer gives it ("item" in any case).
std::optional<std::uint32_t> ItemNumber(std::string_view name) {
    if (name.size() < 5 || name.size() > 14 || !base::SameTextAscii(name.substr(0, 4), "item"))
        return std::nullopt;
    const std::string_view digits = name.substr(4);
    if (digits.size() > 1 && digits.front() == '0')
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value >= ForeignName)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::string ItemName(std::uint32_t k) {
    return "item" + std::to_string(k);
}

// The cells and check mark of a row, kept while rows change places.
struct RowCells {
    std::string caption;
    std::vector<std::string> subItems;
    bool checked = true;
};

RowCells CellsOf(const ResultRow &row) {
    RowCells cells{row.Caption(), {}, row.Checked()};
    for (int i = 0; i < row.SubItemCount(); ++i)
        cells.subItems.emplace_back(*row.SubItem(i));
    return cells;
}

void SetCells(ResultRow &row, RowCells cells) {
    row.SetCaption(std::move(cells.caption));
    for (std::size_t i = 0; i < cells.subItems.size(); ++i)
        row.SetSubItem(static_cast<int>(i), std::move(cells.subItems[i]));
    row.SetChecked(cells.checked);
}

// 0 unchecks; any other integer, decimal or 0x hexadecimal, and anything that is not an
// integer at all, checks.
bool ReadCheckMark(std::string_view value) {
    return base::StrToIntDef(value, 1, base::IntegerForm::DecimalOrHex) != 0;
}

} // namespace

ResultsFileReader::ResultsFileReader(ResultList &list) : list_(list), reader_(*this) {
    for (const Column &column : list.GetColumns())
        keys_.push_back(column.fileKey);
    checkKey_ = keys_.size();
    keys_.push_back("check");
}

void ResultsFileReader::Section(std::string_view name) {
    current_ = FindSection(name);
    if (current_ != NoSection)
        return;
    AddSection(name);
    current_ = static_cast<std::uint32_t>(names_.size() - 1);
    const auto row = list_.Append();
    for (std::size_t i = 1; i < checkKey_; ++i)
        row->AppendSubItem({});
    row->SetChecked(true);
}

void ResultsFileReader::Value(std::string_view key, std::string_view written) {
    std::size_t index = 0;
    while (index < keys_.size() && !base::SameTextAscii(keys_[index], key))
        ++index;
    if (index == keys_.size())
        return;
    const auto bit = static_cast<KeysSeen>(KeysSeen{1} << index);
    if (seen_[current_] & bit)
        return;
    seen_[current_] |= bit;
    std::string value = platform::IniFile::DecodeValue(written);
    if (value.size() > platform::IniFile::MaxValueLength)
        value.resize(platform::IniFile::MaxValueLength);
    ResultRow &row = *list_.Row(static_cast<int>(current_));
    if (index == checkKey_)
        row.SetChecked(ReadCheckMark(value));
    else if (index == DomainKey)
        row.SetCaption(std::move(value));
    else
        row.SetSubItem(static_cast<int>(index) - 1, std::move(value));
}

void ResultsFileReader::Finish(const std::string &path) {
    reader_.Finish();
    if (reader_.SawNulByte() || (names_.empty() && reader_.SawContent())) {
        list_.Clear();
        throw ENotAResultsFile("cannot load", path, "it is not a results file");
    }
    PutRowsInPlace();
}

std::uint32_t ResultsFileReader::FindSection(std::string_view name) const {
    if (const auto k = ItemNumber(name); k && *k < names_.size() && names_[*k] == *k)
        return *k;
    if (slots_.empty())
        return NoSection;
    const std::uint32_t held = slots_[SlotOf(name, FoldedHash(name))].held;
    return held == 0 ? NoSection : held - 1;
}

std::size_t ResultsFileReader::SlotOf(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot &at = slots_[slot];
        if (at.held == 0 || (at.hash == hash && SectionIsNamed(at.held - 1, name)))
            return slot;
    }
}

bool ResultsFileReader::SectionIsNamed(std::uint32_t position, std::string_view name) const {
    const std::uint32_t stored = names_[position];
    if (stored & ForeignName)
        return base::SameTextAscii(foreignNames_[stored & ~ForeignName], name);
    return ItemNumber(name) == stored;
}

void ResultsFileReader::AddSection(std::string_view name) {
    const auto position = static_cast<std::uint32_t>(names_.size());
    const auto k = ItemNumber(name);
    if (k) {
        names_.push_back(*k);
    } else {
        names_.push_back(ForeignName | static_cast<std::uint32_t>(foreignNames_.size()));
        foreignNames_.emplace_back(name);
    }
    seen_.push_back(0);
    if (k == position)
        return;
    if ((hashedSections_ + 1) * 2 > slots_.size())
        GrowSlots();
    const std::uint32_t hash = FoldedHash(name);
    slots_[SlotOf(name, hash)] = {position + 1, hash};
    ++hashedSections_;
}

void ResultsFileReader::GrowSlots() {
    std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot &at : old) {
        if (at.held == 0)
            continue;
        std::size_t slot = at.hash & mask;
        while (slots_[slot].held != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = at;
    }
}

// Row k takes the values of the section item<k>, wherever that section stood; a row without
// such a section is left empty and checked.
void ResultsFileReader::PutRowsInPlace() {
    struct Move {
        std::uint32_t row;
        std::uint32_t from;
    };
    std::vector<Move> moves;
    for (std::uint32_t k = 0; k < names_.size(); ++k) {
        if (names_[k] == k)
            continue;
        moves.push_back({k, FindSection(ItemName(k))});
    }
    // Every row that gives its values is copied before any row is overwritten. A row without a
    // section of its own gets every cell emptied, not only the caption, or it would keep the
    // cells of the section that stood in its place.
    const RowCells empty{{}, std::vector<std::string>(checkKey_ - 1), true};
    std::vector<RowCells> taken;
    taken.reserve(moves.size());
    for (const Move &move : moves)
        taken.push_back(move.from == NoSection ? empty
                                               : CellsOf(*list_.Row(static_cast<int>(move.from))));
    for (std::size_t i = 0; i < moves.size(); ++i)
        SetCells(*list_.Row(static_cast<int>(moves[i].row)), std::move(taken[i]));
}

} // namespace results
