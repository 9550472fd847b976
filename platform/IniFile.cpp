#include "platform/IniFile.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
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
    const bool bad = name.empty() || TrimBlanks(name).size() != name.size() ||
                     name.front() == ';' || name.front() == '[' ||
                     name.find_first_of(forbidden) != std::string_view::npos ||
                     name.find_first_of("\r\n") != std::string_view::npos;
    if (bad)
        throw EIniFileException("Invalid name in an INI file: " + std::string(name));
}

// Reads a whole file; a missing or unreadable one reads as empty.
std::string ReadWholeFile(const std::string &path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                                &std::fclose);
    if (!file)
        return {};
    std::string bytes;
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode))
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(file.get()))
        return {};
    return bytes;
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

} // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    ini.entries_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::optional<std::size_t> current;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        line = TrimBlanks(line);
        if (!line.empty() && line.back() == '\r')
            line = TrimBlanks(line.substr(0, line.size() - 1));
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            current = ini.SectionFor(TrimBlanks(line.substr(1, close - 1)));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!current || equals == std::string_view::npos)
            continue;
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        if (!key.empty() && !ini.FindEntry(*current, key))
            ini.AddEntry(*current, key, DecodeValue(TrimBlanks(line.substr(equals + 1))));
    }
    return ini;
}

IniFile IniFile::Load(const std::string &path) {
    return Parse(ReadWholeFile(path));
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
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0)
            return slot;
        const Section &section = sections_[held - 1];
        if (section.hash == hash && base::SameTextAscii(section.name, name))
            return slot;
    }
}

void IniFile::GrowSlots() {
    slots_.assign(std::max<std::size_t>(16, slots_.size() * 2), 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        std::size_t slot = sections_[i].hash & mask;
        while (slots_[slot] != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

const IniFile::Entry *IniFile::FindEntry(std::size_t section, std::string_view key) const {
    for (std::uint32_t at = sections_[section].first; at != NoEntry; at = entries_[at].next) {
        if (base::SameTextAscii(entries_[at].key, key))
            return &entries_[at];
    }
    return nullptr;
}

void IniFile::AddEntry(std::size_t section, std::string_view key, std::string value) {
    const auto position = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back({std::string(key), std::move(value)});
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
    for (std::uint32_t at = sections_[section].first; at != NoEntry; at = entries_[at].next) {
        if (base::SameTextAscii(entries_[at].key, key)) {
            entries_[at].value = value;
            return;
        }
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
