#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace rankindex {

// Builds the n-gram section of an index from its finished names section with bounded memory.
// Each pass reads the names section in its own order, as reading a name by its rank would jump
// about the section. First the names are put in rank order (harmonic position, then place) by an
// external sort of (position, place) pairs on unnamed temporary files beside the index; its merge
// writes the rank map and feeds a second sort of (place, rank) pairs, which gives each name its
// rank on a second read of the section. The (trigram, rank) pairs of the names fill runs that are
// sorted and written as coded lists with a directory of their own; merging the runs merges each
// trigram's pieces by rank, each piece read once in order.
class GramSectionWriter {
public:
    GramSectionWriter(const std::filesystem::path &folder, std::size_t runBytes);

    // Asked every million names; false cancels the build (EImportCancelled).
    using GoOn = std::function<bool()>;

    // Writes the section at offset (a multiple of 8); returns its size in bytes.
    std::uint64_t WriteTo(platform::AtomicFileWriter &file, const NameSection &names,
                          std::uint64_t offset, const GoOn &goOn = {});

private:
    std::filesystem::path folder_;
    std::size_t runBytes_;
};

// The n-gram section appended after the names section the file holds at namesOffset, read back
// through a mapping of the file; returns where the file's sections now end.
std::uint64_t AppendGramSection(platform::AtomicFileWriter &file, std::uint64_t namesOffset,
                                std::uint64_t namesBytes, const std::filesystem::path &folder,
                                std::size_t runBytes, const GramSectionWriter::GoOn &goOn = {});

} // namespace rankindex
