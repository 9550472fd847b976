#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace rankindex {

// Builds the n-gram section of an index from its finished names section with bounded memory.
// First the names are put in rank order (harmonic position, then place) by sorting runs of
// (position, place) pairs that go to unnamed temporary files beside the index and merging them;
// the merge writes the rank map and reads each name, in rank order, for its trigrams. The
// (trigram, rank) pairs fill runs that are sorted and written as coded lists with a directory of
// their own; ranks grow from run to run, so the final lists are each run's piece of a trigram's
// list one after the other, and merging the runs only reads them in order.
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
