#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/BatchHandoff.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rankindex {

// Builds the n-gram section of an index while the file is read, with bounded memory. Each entry
// line's name gets the next rank; names go in batches to a thread of the writer's own, which
// turns them into (trigram, rank) pairs and fills runs that are sorted and written as coded lists
// with a directory of their own to unnamed temporary files beside the index. Ranks grow from run
// to run, so the final lists are each run's piece of a trigram's list one after the other, and
// merging the runs only reads them in order. Once the adding ends, the thread merges them into
// temporary files of the lists and their directory while the caller merges the names. The rank
// map (rank -> place in the names section) is learnt while the names are merged, written through
// a mapping of a temporary file, so that it costs page cache rather than the heap, its stores
// gathered and made a batch at a time; WriteTo packs it into the index and copies the merged
// lists after it.
// The thread is joined by WriteTo or, whatever ends the import, by the destructor.
class GramSectionWriter {
public:
    // The rank of a line past what a rank map can hold; its name is on no list.
    static constexpr std::uint32_t kNoRank = 0xFFFFFFFFu;
    // Asked between the steps of putting the section together; false cancels (EImportCancelled).
    // The lists' merge on the writer's thread ends with the writer instead.
    using GoOn = std::function<bool()>;

    GramSectionWriter(const std::filesystem::path &folder, std::size_t runBytes);
    ~GramSectionWriter();
    GramSectionWriter(const GramSectionWriter &) = delete;
    GramSectionWriter &operator=(const GramSectionWriter &) = delete;

    // The name of the next entry line, as stored (com.example), with its harmonic position;
    // returns its rank, kNoRank past 2^32-2 lines (the section is then left out).
    std::uint32_t Add(std::string_view reversedName, std::uint32_t harmonicPosition);
    // Ends the adding; the thread finishes the last names while the caller goes on.
    void EndAdding();
    // The name of a rank went to place in the names section. Only after EndAdding.
    void Place(std::uint32_t rank, std::uint64_t place);
    // Writes the section at offset (a multiple of 8) for the names placed; returns its size in
    // bytes, 0 when no section can be made (no names, or too many lines).
    std::uint64_t WriteTo(platform::AtomicFileWriter &file, std::uint64_t offset,
                          const GoOn &goOn = {});

    class Lists;
    class RankMap;
    struct MergedLists;

private:
    // Names of consecutive ranks, the first firstRank.
    struct Batch {
        std::uint32_t firstRank = 0;
        std::string text;
        std::vector<std::uint32_t> ends;
    };
    void Hand();
    void Work(std::stop_token stop);
    void Finish();

    std::filesystem::path folder_;
    std::size_t pendingPlaces_;
    std::uint64_t ranks_ = 0;
    std::uint64_t places_ = 0;
    std::uint32_t lastPosition_ = 0;
    bool inPositionOrder_ = true;
    bool overflowed_ = false;
    bool ended_ = false;
    Batch filling_;
    std::unique_ptr<Lists> lists_; // the thread's until it is joined
    std::unique_ptr<RankMap> map_;
    std::unique_ptr<MergedLists> merged_; // the thread's until it is joined

    BatchHandoff<Batch> handoff_;
    std::jthread worker_; // last, so that it ends before what it uses
};

} // namespace rankindex
