#pragma once

#include "base/FileError.h"
#include "platform/IniReader.h"
#include "results/ResultList.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace results {

// A results file could not be loaded. The subclasses say why; the message names the file.
class EResultsFileError : public base::EFileError {
public:
    using EFileError::EFileError;
};

class EResultsFileMissing : public EResultsFileError {
public:
    using EResultsFileError::EResultsFileError;
};

// No permission, an input/output error, or something that is not a file (a folder, a device).
class EResultsFileNotReadable : public EResultsFileError {
public:
    using EResultsFileError::EResultsFileError;
};

// Bytes that no results file holds: a NUL byte, or text without any section.
class ENotAResultsFile : public EResultsFileError {
public:
    using EResultsFileError::EResultsFileError;
};

class EResultsFileTooLarge : public EResultsFileError {
public:
    using EResultsFileError::EResultsFileError;
};

class EResultsFileOutOfMemory : public EResultsFileError {
public:
    using EResultsFileError::EResultsFileError;
};

// Builds the rows of a results file in a list from the file's text, fed in pieces as it is read,
// so that the text is never held whole: one row for every distinct section, made when the section
// first appears; row k ends up with the values of the section item<k> (empty cells and a check
// mark where the section or a key is missing), the first value of a key winning. Sections in
// their usual order need no more memory than the rows; others are put in place at the end.
class ResultsFileReader : private platform::IniReader::Handler {
public:
    // Appends to list, which should be empty.
    explicit ResultsFileReader(ResultList &list);

    void Feed(std::string_view bytes) { reader_.Feed(bytes); }
    // Ends the text; ENotAResultsFile (naming path), and no rows, when it was not a results file.
    void Finish(const std::string &path);

private:
    static constexpr std::uint32_t NoSection = 0xFFFFFFFF;

    void Section(std::string_view name) override;
    void Value(std::string_view key, std::string_view written) override;

    std::uint32_t FindSection(std::string_view name) const;
    std::size_t SlotOf(std::string_view name, std::uint32_t hash) const;
    bool SectionIsNamed(std::uint32_t position, std::string_view name) const;
    void AddSection(std::string_view name);
    void GrowSlots();
    void PutRowsInPlace();

    ResultList &list_;
    // The file keys of the list's columns, then "check" (at most 32 in all).
    std::vector<std::string> keys_;
    std::size_t checkKey_ = 0;
    platform::IniReader reader_;
    std::uint32_t current_ = NoSection;
    // Per section: the keys already read (one bit each) and its name: the number k of a name
    // item<k>, or a flagged index into foreignNames_. A section item<k> at position k, the
    // usual case, is found by its number alone and takes five bytes here.
    using KeysSeen = std::uint32_t;
    std::vector<KeysSeen> seen_;
    std::vector<std::uint32_t> names_;
    std::vector<std::string> foreignNames_;
    // Open addressing over the other sections by the folded hash of their names: position + 1
    // (0 for an empty slot) and the hash.
    struct Slot {
        std::uint32_t held = 0;
        std::uint32_t hash = 0;
    };
    std::vector<Slot> slots_;
    std::size_t hashedSections_ = 0;
};

} // namespace results
