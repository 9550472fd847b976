#include "platform/Registry.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "base/Trim.h"
#include "platform/AtomicFile.h"
#include "platform/InputFile.h"

#include <cstdlib>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
constexpr std::string_view kSoftware = "Software";

std::vector<std::string> SplitKeyPath(const std::string &keyPath) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : keyPath) {
        if (c != '\\') {
            part += c;
            continue;
        }
        if (!part.empty())
            parts.push_back(part);
        part.clear();
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool IsSafePathPart(const std::string &part) {
    return part != "." && part != ".." && part.find('/') == std::string::npos;
}

// A store file is a few hundred bytes; anything near this size is not one.
constexpr std::uint64_t kMaxKeyFileBytes = 16 << 20;

std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = base::HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// Reads a quoted text with \\ and \" escapes from the start of text; moves text past it.
std::optional<std::string> TakeQuoted(std::string_view &text) {
    if (text.empty() || text.front() != '"')
        return std::nullopt;
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return std::nullopt;
            result += text[++i];
            continue;
        }
        result += c;
    }
    return std::nullopt;
}

std::optional<std::string> ParseHexBytes(std::string_view list) {
    std::string bytes;
    list = base::TrimBlanks(list);
    if (list.empty())
        return bytes;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item = base::TrimBlanks(list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        const auto value = ParseHexNumber(item, 2);
        if (!value || item.size() != 2)
            return std::nullopt;
        bytes += static_cast<char>(*value);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return bytes;
}

std::optional<RegValue> ParseData(std::string_view data) {
    data = base::TrimBlanks(data);
    if (data.starts_with('"')) {
        auto text = TakeQuoted(data);
        if (!text || !base::TrimBlanks(data).empty())
            return std::nullopt;
        return RegValue::Text(*text);
    }
    if (data.starts_with("dword:")) {
        const auto value = ParseHexNumber(data.substr(6), 8);
        if (!value)
            return std::nullopt;
        return RegValue::Dword(*value);
    }
    if (data.starts_with("hex:")) {
        const auto bytes = ParseHexBytes(data.substr(4));
        if (!bytes)
            return std::nullopt;
        return RegValue{RegType::Binary, *bytes};
    }
    if (data.starts_with("hex(")) {
        const std::size_t close = data.find("):");
        if (close == std::string_view::npos)
            return std::nullopt;
        const auto type = ParseHexNumber(data.substr(4, close - 4), 8);
        const auto bytes = ParseHexBytes(data.substr(close + 2));
        if (!type || !bytes)
            return std::nullopt;
        return RegValue{static_cast<RegType>(*type), *bytes};
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, RegValue>> ParseValueLine(std::string_view line) {
    auto name = TakeQuoted(line);
    if (!name)
        return std::nullopt;
    line = base::TrimBlanks(line);
    if (!line.starts_with('='))
        return std::nullopt;
    auto value = ParseData(line.substr(1));
    if (!value)
        return std::nullopt;
    return std::pair{std::move(*name), std::move(*value)};
}

// Splits the file into logical lines: a hex list may go on over lines that end in a backslash.
// Whether a line is a hex list is decided on its first physical line, so continuation lines
// are only appended, never searched again.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool continues = false;
    bool hexList = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (continues) {
            lines.back() += base::TrimBlanks(line);
        } else {
            lines.emplace_back(line);
            hexList = line.find("=hex") != std::string_view::npos;
        }
        std::string &current = lines.back();
        continues = hexList && !current.empty() && current.back() == '\\';
        if (continues)
            current.pop_back();
    }
    return lines;
}

std::string Quote(const std::string &text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::string HexList(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string list;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (i > 0)
            list += ',';
        list += digits[byte >> 4];
        list += digits[byte & 15];
    }
    return list;
}

// A text that a quoted line can carry unchanged: one NUL at its end and no line break.
bool IsPlainText(const std::string &data) {
    return !data.empty() && data.back() == '\0' &&
           data.find_first_of(std::string_view("\r\n\0", 3)) == data.size() - 1;
}

std::string FormatData(const RegValue &value) {
    if (value.type == RegType::Sz && IsPlainText(value.data))
        return Quote(value.data.substr(0, value.data.size() - 1));
    if (value.type == RegType::Dword && value.data.size() == 4) {
        char buffer[16];
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number =
                number << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        return buffer;
    }
    if (value.type == RegType::Binary)
        return "hex:" + HexList(value.data);
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    return type + HexList(value.data);
}

bool IsSkippedLine(std::string_view line) {
    line = base::TrimBlanks(line);
    return line.empty() || line.starts_with(';') || line.starts_with('[') || line == "REGEDIT4" ||
           line.starts_with("Windows Registry Editor");
}

} // namespace

RegValue RegValue::Dword(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return {RegType::Dword, bytes};
}

RegValue RegValue::Text(const std::string &text, RegType type) {
    return {type, text + '\0'};
}

std::filesystem::path RegistryRoot() {
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return config;
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".config";
    throw ERegistryError("no folder for the per-user store");
}

std::filesystem::path KeyFile(const std::string &keyPath) {
    std::vector<std::string> parts = SplitKeyPath(keyPath);
    if (!parts.empty() && base::SameTextAscii(parts.front(), kSoftware))
        parts.erase(parts.begin());
    if (parts.empty())
        throw ERegistryError("not a key: " + keyPath);
    std::filesystem::path file = RegistryRoot();
    for (const std::string &part : parts) {
        if (!IsSafePathPart(part))
            throw ERegistryError("not a key: " + keyPath);
        file /= part;
    }
    return file.replace_filename(file.filename().string() + ".reg");
}

RegValues ParseKeyFile(const std::string &text) {
    RegValues values;
    for (const std::string &line : LogicalLines(WithoutByteOrderMark(text))) {
        if (IsSkippedLine(line))
            continue;
        if (auto value = ParseValueLine(line))
            values.push_back(std::move(*value));
    }
    return values;
}

std::string FormatKeyFile(const std::string &keyPath, const RegValues &values) {
    std::string text = "REGEDIT4\n\n[" + std::string(kRootName);
    if (!keyPath.starts_with('\\'))
        text += '\\';
    text += keyPath + "]\n";
    for (const auto &[name, value] : values)
        text += Quote(name) + "=" + FormatData(value) + "\n";
    return text;
}

RegistryKey::RegistryKey(std::string keyPath, std::filesystem::path file, RegValues values)
    : keyPath_(std::move(keyPath)), file_(std::move(file)), values_(std::move(values)) {}

std::unique_ptr<RegistryKey> RegistryKey::Open(const std::string &keyPath) {
    std::filesystem::path file = KeyFile(keyPath);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw ERegistryError("key not found: " + keyPath);
    std::string text;
    try {
        text = ReadWholeFile(file.string(), kMaxKeyFileBytes);
    } catch (const EFileReadError &) {
        throw ERegistryError("key cannot be read: " + keyPath);
    }
    return std::unique_ptr<RegistryKey>(
        new RegistryKey(keyPath, std::move(file), ParseKeyFile(text)));
}

std::unique_ptr<RegistryKey> RegistryKey::Create(const std::string &keyPath) {
    const std::filesystem::path file = KeyFile(keyPath);
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error)
        throw ERegistryError("key cannot be created: " + keyPath);
    if (std::filesystem::exists(file, error))
        return Open(keyPath);
    try {
        WriteFileAtomically(file, FormatKeyFile(keyPath, {}));
    } catch (const EFileWriteError &failure) {
        throw ERegistryError(failure.Message());
    }
    return std::unique_ptr<RegistryKey>(new RegistryKey(keyPath, file, {}));
}

std::optional<RegValue> RegistryKey::QueryValue(const std::string &name) const {
    for (const auto &[valueName, value] : values_) {
        if (base::SameTextAscii(valueName, name))
            return value;
    }
    return std::nullopt;
}

void RegistryKey::SetValue(const std::string &name, const RegValue &value) {
    RegValues changed = values_;
    bool replaced = false;
    for (auto &[valueName, current] : changed) {
        if (base::SameTextAscii(valueName, name)) {
            current = value;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        changed.emplace_back(name, value);
    try {
        WriteFileAtomically(file_, FormatKeyFile(keyPath_, changed));
    } catch (const EFileWriteError &failure) {
        throw ERegistryError(failure.Message());
    }
    values_ = std::move(changed);
}

} // namespace platform
