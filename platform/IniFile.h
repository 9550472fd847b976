#pragma once

#include "base/Exception.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The INI profile: sections of key=value lines, names compared without ASCII case.
//
// Reading: a line "[name]" opens a section; "key=value" lines inside it hold values; blanks
// around names and values do not count; lines starting with ";" and lines without "=" are
// skipped. A value standing in double quotes has its quotes removed and its backslash escapes
// decoded (\\ \" \n \r \t \xHH); a value in single quotes only loses the quotes. When a section
// or a key occurs twice, the first value wins and the section counts once.
//
// Writing: a value goes out as it stands unless that would not read back the same (blanks at
// either end, control characters, quotes at both ends); such a value is written in double quotes
// with escapes. So plain files keep their plain form, and every written value reads back
// unchanged.
namespace platform {

// A name that cannot stand in an INI file (line breaks, "=" in a key, "]" in a section name).
class EIniFileException : public base::Exception {
public:
    using Exception::Exception;
};

class IniSection {
public:
    // Values read from a profile are cut to this many bytes.
    static constexpr std::size_t MaxValueLength = 2047;

    explicit IniSection(std::string name) : name_(std::move(name)) {}

    const std::string &Name() const { return name_; }
    // The value of key cut to MaxValueLength bytes; nothing when the key is missing.
    std::optional<std::string_view> Value(std::string_view key) const;
    std::string ReadString(std::string_view key, std::string_view fallback = {}) const;
    // Sets key to value, replacing an earlier value of the same key.
    void WriteString(std::string_view key, std::string_view value);

private:
    friend class IniFile;
    struct Entry {
        std::string key;
        std::string value;
    };
    const Entry *Find(std::string_view key) const;
    // Keeps the first value when the key is already there.
    void AddRead(std::string_view key, std::string value);

    std::string name_;
    std::vector<Entry> entries_;
};

class IniFile {
public:
    IniFile() = default;

    static IniFile Parse(std::string_view text);
    // Reads the file at path once. A missing or unreadable file gives an empty profile.
    static IniFile Load(const std::string &path);

    std::size_t SectionCount() const { return sections_.size(); }
    // The names of the sections in the order they first appear.
    std::vector<std::string> SectionNames() const;
    const IniSection *FindSection(std::string_view name) const;
    // The named section, made at the end when it does not exist.
    IniSection &Section(std::string_view name);

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // The profile in its file form.
    std::string Text() const;
    // Replaces the file at path with Text(), atomically; raises EFileWriteError on failure.
    void Save(const std::string &path) const;

    // The form in which value is written after "key=".
    static std::string EncodeValue(std::string_view value);
    // The value that a line's text after "=" reads as (blanks around it already removed).
    static std::string DecodeValue(std::string_view written);

private:
    struct FoldedHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const;
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    IniSection &SectionForRead(std::string_view name);

    std::vector<IniSection> sections_;
    std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> positions_;
};

} // namespace platform
