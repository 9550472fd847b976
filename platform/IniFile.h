#pragma once

#include "base/Exception.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

class IniFile {
public:
    // Values read from a profile are cut to this many bytes.
    static constexpr std::size_t MaxValueLength = 2047;

    IniFile() = default;

    static IniFile Parse(std::string_view text);
    // Reads the file at path once (see InputFile). A missing or unreadable file, or one over
    // MaxFileBytes, gives an empty profile.
    static IniFile Load(const std::string &path);
    static constexpr std::uint64_t MaxFileBytes = std::uint64_t{1} << 30;

    std::size_t SectionCount() const { return sections_.size(); }
    // The names of the sections in the order they first appear; a section's position in this
    // list is how the calls below name it.
    std::vector<std::string> SectionNames() const;
    const std::string &SectionName(std::size_t section) const { return sections_[section].name; }
    std::optional<std::size_t> FindSection(std::string_view name) const;
    // The named section's position; a missing section is made at the end.
    std::size_t AddSection(std::string_view name);

    // The value of key in the section at position section, cut to MaxValueLength bytes;
    // nothing when the key is missing.
    std::optional<std::string_view> Value(std::size_t section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    // Sets key to value, replacing an earlier value of the same key.
    void WriteString(std::size_t section, std::string_view key, std::string_view value);
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
    class Builder;
    static constexpr std::uint32_t NoEntry = 0xFFFFFFFF;

    // The keys of a section form a chain through entries_, so that a profile needs no
    // allocation per section and a section named twice simply continues its chain.
    struct Entry {
        std::string key;
        std::string value;
        std::uint64_t hash = 0;
        std::uint32_t section = 0;
        std::uint32_t next = NoEntry;
    };
    struct Section {
        std::string name;
        std::uint64_t hash = 0;
        std::uint32_t first = NoEntry;
        std::uint32_t last = NoEntry;
    };

    // AddSection without the check of the name, for names read from a file.
    std::size_t SectionFor(std::string_view name);
    const Entry *FindEntry(std::size_t section, std::string_view key) const;
    void AddEntry(std::size_t section, std::string_view key, std::string value);
    // The slot of the named section in slots_, or the empty slot where it would go.
    std::size_t SlotOf(std::string_view name, std::uint64_t hash) const;
    void GrowSlots();
    // The same for the key of a section in entrySlots_.
    std::size_t EntrySlotOf(std::size_t section, std::string_view key, std::uint64_t hash) const;
    void GrowEntrySlots();

    std::vector<Section> sections_;
    std::vector<Entry> entries_;
    // An open-addressing index of sections_ by folded name: section position + 1, 0 for an
    // empty slot; the size is a power of two, at least twice the number of sections.
    std::vector<std::uint32_t> slots_;
    // The index of entries_ by section and folded key, in the same form, so that a key is
    // found without walking its section.
    std::vector<std::uint32_t> entrySlots_;
};

} // namespace platform
