#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rankindex {

// Builds the names section of an index from names in any order with bounded memory: names are
// sorted in runs of at most runBytes of text, each name kept once (its best harmonic position,
// the earlier line on a tie), runs still more than half full go to unnamed temporary files beside
// the index, and
// WriteTo merges them into front-coded blocks; the block index waits in another temporary file.
class NameSectionWriter {
public:
    static constexpr std::size_t kDefaultRunBytes = std::size_t{64} << 20;

    NameSectionWriter(const std::filesystem::path &folder, std::size_t runBytes = kDefaultRunBytes);
    ~NameSectionWriter();
    NameSectionWriter(const NameSectionWriter &) = delete;
    NameSectionWriter &operator=(const NameSectionWriter &) = delete;

    // A name as stored: lower case, reversed (com.example), at most 253 characters.
    void Add(std::string_view reversedName, const NameFacts &facts, std::uint64_t line);
    // Sorts the names still in memory; WriteTo does when this was not called. It touches nothing
    // but the writer's memory, so it may run beside other work.
    void SortLastRun();
    // Writes the section at offset; returns its size in bytes.
    std::uint64_t WriteTo(platform::AtomicFileWriter &file, std::uint64_t offset);

    struct Item {
        // The name's first 16 bytes as numbers that sort as they do: most comparisons of the
        // sort end here, without reading the names' text (names of one suffix share the first).
        std::uint64_t prefix[2];
        NameFacts facts;
        std::uint32_t line;
        std::uint32_t textOffset;
        std::uint8_t length;
    };
    class RunFile;

private:
    void SortRun();
    void Compact();
    void SpillRun();

    std::filesystem::path folder_;
    std::size_t runBytes_;
    std::string text_;
    std::vector<Item> items_;
    std::vector<std::unique_ptr<RunFile>> spilled_;
    bool lastRunSorted_ = false;
};

} // namespace rankindex
