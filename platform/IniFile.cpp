#include "platform/IniFile.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "base/Trim.h"
#include "platform/AtomicFile.h"
#include "platform/IniReader.h"
#include "platform/InputFile.h"

#include <algorithm>

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool StandsInQuotes(std::string_view text) {
    return text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front();
}

// A plain value survives a read unless blanks at its ends would be trimmed, a control character
// would end or bend its line, or quotes at both ends would be taken off.
bool NeedsQuoting(std::string_view value) {
    if (value.empty())
        return false;
    if (IsBlank(value.front()) || IsBlank(value.back()) || StandsInQuotes(value))
        return true;
    for (char c : value) {
        if (IsControl(c))
            return true;
    }
    return false;
}

void AppendEscaped(std::string &out, char c) {
    static const char digits[] = "0123456789ABCDEF";
    switch (c) {
    case '\\':
        out += "\\\\";
        return;
    case '"':
        out += "\\\"";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (!IsControl(c)) {
        out += c;
        return;
    }
    out += "\\x";
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 15];
}

void AppendEncoded(std::string &out, std::string_view value) {
    if (!NeedsQuoting(value)) {
        out += value;
        return;
    }
    out += '"';
    for (char c : value)
        AppendEscaped(out, c);
    out += '"';
}

// Decodes the inside of a double-quoted value. An unknown escape keeps its backslash.
std::string Unescape(std::string_view inner) {
    std::string result;
    result.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c != '\\' || i + 1 == inner.size()) {
            result += c;
            continue;
        }
        const char next = inner[i + 1];
        switch (next) {
        case '\\':
        case '"':
            result += next;
            ++i;
            continue;
        case 'n':
            result += '\n';
            ++i;
            continue;
        case 'r':
            result += '\r';
            ++i;
            continue;
        case 't':
            result += '\t';
            ++i;
            continue;
        case 'x':
            if (i + 3 < inner.size() && base::HexDigitValue(inner[i + 2]) >= 0 &&
                base::HexDigitValue(inner[i + 3]) >= 0) {
                result += static_cast<char>(base::HexDigitValue(inner[i + 2]) * 16 +
                                            base::HexDigitValue(inner[i + 3]));
                i += 3;
                continue;
            }
            break;
        default:
            break;
        }
        result += c;
    }
    return result;
}

void CheckName(std::string_view name, std::string_view forbidden) {
    const bool bad = name.empty() || base::TrimBlanks(name).size() != name.size() ||
                     name.front() == ';' || name.front() == '[' ||
                     name.find_first_of(forbidden) != std::string_view::npos ||
                     name.find_first_of("\r\n") != std::string_view::npos;
    if (bad)
        throw EIniFileException("Invalid name in an INI file: " + std::string(name));
}

// FNV-1a over the lower-cased bytes, mixed so that the low bits used for slots vary well.
std::uint64_t FoldedHash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(base::AsciiLowerChar(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 32;
    hash *= 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}

// The slot of an open-addressing index (position + 1, 0 for empty; a power of two in size)
// that holds what matches, or the empty slot where it would go.
template <typename Matches>
std::size_t ProbeSlot(const std::vector<std::uint32_t> &slots, std::uint64_t hash,
                      Matches matches) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots[slot];
        if (held == 0 || matches(held - 1))
            return slot;
    }
}

// Doubles the index and puts every item back by its hash.
template <typename Item>
void RebuildSlots(std::vector<std::uint32_t> &slots, const std::vector<Item> &items) {
    slots.assign(std::max<std::size_t>(16, slots.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::size_t slot = items[i].hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

// A key's hash within its section.
std::uint64_t KeyHash(std::size_t section, std::string_view key) {
    return FoldedHash(key) ^ (static_cast<std::uint64_t>(section) * 0xC2B2AE3D27D4EB4Full);
}

} // namespace

// Builds the profile from the reader's lines: the first value of a key wins.
class IniFile::Builder : public IniReader::Handler {
public:
    explicit Builder(IniFile &ini) : ini_(ini) {}
    void Section(std::string_view name) override { current_ = ini_.SectionFor(name); }
    void Value(std::string_view key, std::string_view written) override {
        if (!ini_.FindEntry(current_, key))
            ini_.AddEntry(current_, key, DecodeValue(written));
    }

private:
    IniFile &ini_;
    std::size_t current_ = 0;
};

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    ini.entries_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    Builder builder(ini);
    IniReader reader(builder);
    reader.Feed(text);
    reader.Finish();
    return ini;
}

IniFile IniFile::Load(const std::string &path) {
    try {
        return Parse(ReadWholeFile(path, MaxFileBytes));
    } catch (const EFileReadError &) {
        return {};
    }
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const Section &section : sections_)
        names.push_back(section.name);
    return names;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view name) const {
    if (slots_.empty())
        return std::nullopt;
    const std::uint32_t slot = slots_[SlotOf(name, FoldedHash(name))];
    if (slot == 0)
        return std::nullopt;
    return slot - 1;
}

std::size_t IniFile::AddSection(std::string_view name) {
    CheckName(name, "]");
    return SectionFor(name);
}

std::size_t IniFile::SectionFor(std::string_view name) {
    if ((sections_.size() + 1) * 2 > slots_.size())
        GrowSlots();
    const std::uint64_t hash = FoldedHash(name);
    const std::size_t slot = SlotOf(name, hash);
    if (slots_[slot] != 0)
        return slots_[slot] - 1;
    sections_.push_back({std::string(name), hash});
    slots_[slot] = static_cast<std::uint32_t>(sections_.size());
    return sections_.size() - 1;
}

std::size_t IniFile::SlotOf(std::string_view name, std::uint64_t hash) const {
    return ProbeSlot(slots_, hash, [&](std::uint32_t position) {
        const Section &section = sections_[position];
        return section.hash == hash && base::SameTextAscii(section.name, name);
    });
}

void IniFile::GrowSlots() {
    RebuildSlots(slots_, sections_);
}

std::size_t IniFile::EntrySlotOf(std::size_t section, std::string_view key,
                                 std::uint64_t hash) const {
    return ProbeSlot(entrySlots_, hash, [&](std::uint32_t position) {
        const Entry &entry = entries_[position];
        return entry.hash == hash && entry.section == section &&
               base::SameTextAscii(entry.key, key);
    });
}

void IniFile::GrowEntrySlots() {
    RebuildSlots(entrySlots_, entries_);
}

const IniFile::Entry *IniFile::FindEntry(std::size_t section, std::string_view key) const {
    if (entrySlots_.empty())
        return nullptr;
    const std::uint32_t held = entrySlots_[EntrySlotOf(section, key, KeyHash(section, key))];
    return held == 0 ? nullptr : &entries_[held - 1];
}

void IniFile::AddEntry(std::size_t section, std::string_view key, std::string value) {
    if ((entries_.size() + 1) * 2 > entrySlots_.size())
        GrowEntrySlots();
    const auto position = static_cast<std::uint32_t>(entries_.size());
    const std::uint64_t hash = KeyHash(section, key);
    entries_.push_back(
        {std::string(key), std::move(value), hash, static_cast<std::uint32_t>(section)});
    entrySlots_[EntrySlotOf(section, key, hash)] = position + 1;
    Section &owner = sections_[section];
    if (owner.last == NoEntry)
        owner.first = position;
    else
        entries_[owner.last].next = position;
    owner.last = position;
}

std::optional<std::string_view> IniFile::Value(std::size_t section, std::string_view key) const {
    const Entry *entry = FindEntry(section, key);
    if (!entry)
        return std::nullopt;
    return std::string_view(entry->value).substr(0, MaxValueLength);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const std::optional<std::size_t> found = FindSection(section);
    const std::optional<std::string_view> value = found ? Value(*found, key) : std::nullopt;
    return std::string(value.value_or(fallback));
}

void IniFile::WriteString(std::size_t section, std::string_view key, std::string_view value) {
    CheckName(key, "=");
    if (const Entry *entry = FindEntry(section, key)) {
        entries_[static_cast<std::size_t>(entry - entries_.data())].value = value;
        return;
    }
    AddEntry(section, key, std::string(value));
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    WriteString(AddSection(section), key, value);
}

std::string IniFile::Text() const {
    std::string text;
    for (const Section &section : sections_) {
        if (!text.empty())
            text += '\n';
        text += '[';
        text += section.name;
        text += "]\n";
        for (std::uint32_t at = section.first; at != NoEntry; at = entries_[at].next) {
            text += entries_[at].key;
            text += '=';
            AppendEncoded(text, entries_[at].value);
            text += '\n';
        }
    }
    return text;
}

void IniFile::Save(const std::string &path) const {
    WriteFileAtomically(path, Text());
}

std::string IniFile::EncodeValue(std::string_view value) {
    std::string written;
    AppendEncoded(written, value);
    return written;
}

std::string IniFile::DecodeValue(std::string_view written) {
    if (!StandsInQuotes(written))
        return std::string(written);
    const std::string_view inner = written.substr(1, written.size() - 2);
    if (written.front() == '\'')
        return std::string(inner);
    return Unescape(inner);
}

} // namespace platform
