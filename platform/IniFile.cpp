#include "platform/IniFile.h"

#include "base/AsciiCase.h"
#include "platform/AtomicFile.h"

#include <cstdio>
#include <cstring>
#include <memory>

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

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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
            if (i + 3 < inner.size() && HexValue(inner[i + 2]) >= 0 &&
                HexValue(inner[i + 3]) >= 0) {
                result += static_cast<char>(HexValue(inner[i + 2]) * 16 + HexValue(inner[i + 3]));
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

} // namespace

std::optional<std::string_view> IniSection::Value(std::string_view key) const {
    const Entry *entry = Find(key);
    if (!entry)
        return std::nullopt;
    return std::string_view(entry->value).substr(0, MaxValueLength);
}

std::string IniSection::ReadString(std::string_view key, std::string_view fallback) const {
    return std::string(Value(key).value_or(fallback));
}

void IniSection::WriteString(std::string_view key, std::string_view value) {
    CheckName(key, "=");
    for (Entry &entry : entries_) {
        if (base::SameTextAscii(entry.key, key)) {
            entry.value = value;
            return;
        }
    }
    entries_.push_back({std::string(key), std::string(value)});
}

const IniSection::Entry *IniSection::Find(std::string_view key) const {
    for (const Entry &entry : entries_) {
        if (base::SameTextAscii(entry.key, key))
            return &entry;
    }
    return nullptr;
}

void IniSection::AddRead(std::string_view key, std::string value) {
    if (!Find(key))
        entries_.push_back({std::string(key), std::move(value)});
}

std::size_t IniFile::FoldedHash::operator()(std::string_view text) const {
    std::size_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(base::AsciiLowerChar(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool IniFile::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return base::SameTextAscii(a, b);
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    IniSection *current = nullptr;
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
            current = &ini.SectionForRead(TrimBlanks(line.substr(1, close - 1)));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos)
            continue;
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        if (!key.empty())
            current->AddRead(key, DecodeValue(TrimBlanks(line.substr(equals + 1))));
    }
    return ini;
}

IniFile IniFile::Load(const std::string &path) {
    return Parse(ReadWholeFile(path));
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const IniSection &section : sections_)
        names.push_back(section.Name());
    return names;
}

const IniSection *IniFile::FindSection(std::string_view name) const {
    const auto found = positions_.find(name);
    return found == positions_.end() ? nullptr : &sections_[found->second];
}

IniSection &IniFile::Section(std::string_view name) {
    CheckName(name, "]");
    return SectionForRead(name);
}

IniSection &IniFile::SectionForRead(std::string_view name) {
    const auto found = positions_.find(name);
    if (found != positions_.end())
        return sections_[found->second];
    positions_.emplace(std::string(name), sections_.size());
    return sections_.emplace_back(std::string(name));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const IniSection *found = FindSection(section);
    return found ? found->ReadString(key, fallback) : std::string(fallback);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    Section(section).WriteString(key, value);
}

std::string IniFile::Text() const {
    std::string text;
    for (const IniSection &section : sections_) {
        if (!text.empty())
            text += '\n';
        text += '[';
        text += section.Name();
        text += "]\n";
        for (const IniSection::Entry &entry : section.entries_) {
            text += entry.key;
            text += '=';
            AppendEncoded(text, entry.value);
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
