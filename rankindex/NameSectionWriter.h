#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/NameSection.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rankindex {

// A name that came twice: the better (smaller) position was kept.
struct DuplicateName {
    std::uint64_t keptLine;
    std::uint64_t droppedLine;
};

// How many listings were dropped for naming a name listed already, and the earliest few of them
// by the line dropped, whatever order the runs settled them in.
struct DuplicateReport {
    static constexpr std::size_t kMaxReported = 5;
    std::uint64_t count = 0;
    std::vector<DuplicateName> first;
    void Add(std::uint64_t keptLine, std::uint64_t droppedLine);
    // Counts another report's listings in this one.
    void Take(const DuplicateReport &other);
};

// Builds the names section of an index from names in any order with bounded memory: names are
// gathered in runs of at most runBytes, and each full run is sorted, each name kept once (its best
// harmonic position, the earlier line on a tie), on a thread of its own while the next run fills;
// a sorted run still more than half full goes to an unnamed temporary file beside the index, a
// smaller one joins the next run. WriteTo merges the runs into front-coded blocks, coded on a
// thread of their own while the merge goes on; the block index waits in another temporary file.
// Memory: the run filling, the run sorting and a kept half run, at most three times runBytes.
class NameSectionWriter {
public:
    static constexpr std::size_t kDefaultRunBytes = std::size_t{64} << 20;

    NameSectionWriter(const std::filesystem::path &folder, std::size_t runBytes = kDefaultRunBytes);
    ~NameSectionWriter();
    NameSectionWriter(const NameSectionWriter &) = delete;
    NameSectionWriter &operator=(const NameSectionWriter &) = delete;

    // A name as stored: lower case, reversed (com.example), at most 253 characters. The rank is
    // the caller's number for the listing, told back with the name's place by WriteTo.
    void Add(std::string_view reversedName, const NameFacts &facts, std::uint64_t line,
             std::uint32_t rank = 0);
    // Sorts the names still in memory; WriteTo does when this was not called. It touches nothing
    // but the writer's memory, so it may run beside other work.
    void SortLastRun();
    // Told, for each name kept, the rank of its kept listing and its place in the section: in
    // order of place, one call at a time, on a thread of the writer's while WriteTo runs.
    using PlaceSink = std::function<void(std::uint32_t rank, std::uint64_t place)>;
    // Writes the section at offset; returns its size in bytes.
    std::uint64_t WriteTo(platform::AtomicFileWriter &file, std::uint64_t offset,
                          const PlaceSink &placed = {});
    // The listings dropped as repeats of a name; complete once WriteTo is done.
    const DuplicateReport &Duplicates() const { return duplicates_; }

    struct Item {
        // The name's first 16 bytes as numbers that sort as they do: most comparisons of the
        // sort end here, without reading the names' text (names of one suffix share the first).
        std::uint64_t prefix[2];
        NameFacts facts;
        std::uint32_t line;
        std::uint32_t textOffset;
        std::uint32_t rank;
        std::uint8_t length;
    };
    class RunFile;

    // Names with their numbers; an item's name is its length of text from its offset.
    struct Run {
        std::string text;
        std::vector<Item> items;
    };

private:
    void Compact();
    Run FinishSorting();
    void Sort();

    std::filesystem::path folder_;
    std::size_t runBytes_;
    Run run_;  // filling
    Run kept_; // sorted, small enough to join the next run, or merged beside the last one
    std::vector<std::unique_ptr<RunFile>> spilled_;
    bool lastRunSorted_ = false;
    // Filled by whichever thread sorts, one at a time: the sorting thread is joined before the
    // next sort starts.
    DuplicateReport duplicates_;
    // The run the sorting thread has, and what came of it; read only once it has been joined.
    Run sorting_;
    std::unique_ptr<RunFile> sortedFile_;
    std::exception_ptr sortFailure_;
    std::jthread sorter_; // last, so that it ends before what it uses
};

} // namespace rankindex
