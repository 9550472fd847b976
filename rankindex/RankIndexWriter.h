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

// Builds a rank index file from names in any order with bounded memory (NameSectionWriter keeps
// each name once, sorted, in a names section that lookups and keyword searches go through, then
// the n-gram section is built from it), or, in the older hash-only form, from (key, position)
// pairs. The pairs are sorted in runs of at most runEntries (16 bytes each, twice while sorting)
// that keep each key once, runs still more than half full then go to unnamed temporary files beside
// the index, and Finish merges them into a file sized by the keys kept. Temporary disk and the
// index thus grow with the distinct names, however often a name is repeated. The file replaces the
// previous index only at Commit; dropped before, the previous one stays.
class RankIndexWriter {
public:
    static constexpr std::size_t kDefaultRunEntries = std::size_t{8} << 20;
    static constexpr std::size_t kMaxReportedDuplicates = DuplicateReport::kMaxReported;

    struct Summary {
        std::uint64_t entries = 0;
        std::uint64_t duplicates = 0;
        std::vector<DuplicateName> firstDuplicates;
    };
    // Called now and then while writing, false cancelling with EImportCancelled. With names: (0, 1)
    // before their merge, then (1, 1) between steps of the n-gram build. With keys: (entries
    // walked, entries to walk) while merging; when runs went to disk the merge is walked twice,
    // once to count the names and once to write them.
    using MergeProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    explicit RankIndexWriter(const std::filesystem::path &indexPath,
                             std::size_t runEntries = kDefaultRunEntries);
    ~RankIndexWriter();
    RankIndexWriter(const RankIndexWriter &) = delete;
    RankIndexWriter &operator=(const RankIndexWriter &) = delete;

    // A name (stored form: lower case, reversed) with its numbers; the index is then of the
    // current version, looked up and searched by its names, and by keyword through its n-gram
    // section. Called once per entry line, in the file's order.
    void AddName(std::string_view reversedName, const NameFacts &facts, std::uint64_t line);
    // A name's key and position for an index of the older hash-only form (version 1), which
    // answers lookups only; an index is given either names or keys.
    void Add(std::uint64_t key, std::uint32_t position, std::uint64_t line);
    // Names or pairs added, repeats included.
    std::uint64_t Added() const { return added_; }
    // Writes the whole file (not yet in place) with the source fields of info. EImportError when
    // more than 2^32-1 names remain, or when both names and keys were given.
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
    RankIndexHeader HeaderFor(const RankIndexInfo &source, std::uint32_t version);
    Summary WriteNames(const RankIndexInfo &source, const MergeProgress &progress);
    Summary WriteRecords(const RankIndexInfo &source, const MergeProgress &progress);

    std::filesystem::path folder_;
    std::size_t runEntries_;
    platform::AtomicFileWriter file_;
    std::vector<Entry> run_;
    std::vector<std::unique_ptr<RunFile>> spilled_;
    std::unique_ptr<NameSectionWriter> names_;
    std::unique_ptr<GramSectionWriter> grams_;
    std::uint64_t added_ = 0;
    std::uint64_t keys_ = 0;
    Summary summary_; // repeats of keys settled within runs
    RankIndexHeader header_{};
};

} // namespace rankindex
