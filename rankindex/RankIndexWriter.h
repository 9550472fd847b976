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

// Builds a rank index file from names in any order with bounded memory: NameSectionWriter keeps
// each name once, sorted, in a names section that lookups and keyword searches go through, and
// GramSectionWriter lists the names' trigrams as they come. Each sorts in runs of about
// runEntries x 16 bytes that go to unnamed temporary files beside the index. The file replaces
// the previous index only at Commit; dropped before, the previous one stays. (Older versions of
// the file, which RankIndex still reads, are no longer written.)
class RankIndexWriter {
public:
    static constexpr std::size_t kDefaultRunEntries = std::size_t{8} << 20;
    static constexpr std::size_t kMaxReportedDuplicates = DuplicateReport::kMaxReported;

    struct Summary {
        std::uint64_t entries = 0;
        std::uint64_t duplicates = 0;
        std::vector<DuplicateName> firstDuplicates;
    };
    // Called now and then while writing, false cancelling with EImportCancelled: (0, 1) before the
    // names' merge, then (1, 1) between steps of the n-gram build.
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
    // Names added, repeats included.
    std::uint64_t Added() const { return added_; }
    // Writes the whole file (not yet in place) with the source fields of info.
    Summary Finish(const RankIndexInfo &source, const MergeProgress &progress = {});
    // Puts the written file in place of the previous index.
    void Commit();

private:
    RankIndexHeader HeaderFor(const RankIndexInfo &source);

    std::filesystem::path folder_;
    std::size_t runEntries_;
    platform::AtomicFileWriter file_;
    std::unique_ptr<NameSectionWriter> names_;
    std::unique_ptr<GramSectionWriter> grams_;
    std::uint64_t added_ = 0;
    RankIndexHeader header_{};
};

} // namespace rankindex
