#pragma once

#include "platform/AtomicFile.h"
#include "rankindex/GramSectionWriter.h"
#include "rankindex/NameSectionWriter.h"
#include "rankindex/RankIndexFormat.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rankindex {

// A name that came twice: the better (smaller) position was kept.
struct DuplicateName {
    std::uint64_t keptLine;
    std::uint64_t droppedLine;
};

// Builds a rank index file from (key, position) pairs in any order with bounded memory: pairs
// are sorted in runs of at most runEntries (16 bytes each, twice while sorting) that keep each key
// once, runs still more than half full then go to unnamed temporary files beside the index, and
// Finish merges them into a file sized by the keys kept. Temporary disk and the index thus grow
// with the distinct names, however often a name is repeated. The file
// replaces the previous index only at Commit; dropped before, the previous one stays.
class RankIndexWriter {
public:
    static constexpr std::size_t kDefaultRunEntries = std::size_t{8} << 20;
    static constexpr std::size_t kMaxReportedDuplicates = 5;

    struct Summary {
        std::uint64_t entries = 0;
        std::uint64_t duplicates = 0;
        std::vector<DuplicateName> firstDuplicates;
    };
    // Called now and then while merging with (entries walked, entries to walk); when runs went to
    // disk the merge is walked twice, once to count the names and once to write them. False
    // cancels with EImportCancelled.
    using MergeProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    explicit RankIndexWriter(const std::filesystem::path &indexPath,
                             std::size_t runEntries = kDefaultRunEntries);
    ~RankIndexWriter();
    RankIndexWriter(const RankIndexWriter &) = delete;
    RankIndexWriter &operator=(const RankIndexWriter &) = delete;

    void Add(std::uint64_t key, std::uint32_t position, std::uint64_t line);
    // Also keeps the name itself (stored form: lower case, reversed) in a names section, and its
    // trigrams in an n-gram section, which make the index searchable by keyword. Called once per
    // entry line, in the file's order. An index given no names is hash-only.
    void AddName(std::string_view reversedName, const NameFacts &facts, std::uint64_t line);
    // Pairs added, repeats included.
    std::uint64_t Added() const { return added_; }
    // Writes the whole file (not yet in place) with the source fields of info. EImportError when
    // more than 2^32-1 names remain.
    Summary Finish(const RankIndexInfo &source, const MergeProgress &progress = {});
    // Puts the written file in place of the previous index.
    void Commit();

    struct Entry {
        std::uint64_t key;
        std::uint32_t position;
        std::uint32_t line;
    };
    class RunFile;

private:
    void Compact();
    void SpillRun();
    Summary WriteRecords(const RankIndexInfo &source, const MergeProgress &progress);

    std::filesystem::path folder_;
    std::size_t runEntries_;
    platform::AtomicFileWriter file_;
    std::vector<Entry> run_;
    std::vector<std::unique_ptr<RunFile>> spilled_;
    std::unique_ptr<NameSectionWriter> names_;
    std::unique_ptr<GramSectionWriter> grams_;
    std::uint64_t added_ = 0;
    Summary summary_; // repeats settled within runs
    RankIndexHeader header_{};
};

} // namespace rankindex
