#include "rankindex/RankIndexWriter.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cstring>

namespace rankindex {

namespace {

// What one run entry of runEntries stands for in bytes of run memory (the size of a name's
// record in the hash-only form the parameter was first made for, kept so that callers' sizes
// mean what they did).
constexpr std::size_t kRunEntryBytes = 16;

std::uint64_t AlignTo8(std::uint64_t offset) {
    return (offset + 7) & ~std::uint64_t{7};
}

} // namespace

RankIndexWriter::RankIndexWriter(const std::filesystem::path &indexPath, std::size_t runEntries)
    : folder_(indexPath.parent_path().empty() ? std::filesystem::path(".")
                                              : indexPath.parent_path()),
      runEntries_(std::max<std::size_t>(runEntries, 1)), file_(indexPath) {}

RankIndexWriter::~RankIndexWriter() = default;

void RankIndexWriter::AddName(std::string_view reversedName, const NameFacts &facts,
                              std::uint64_t line) {
    if (!names_) {
        names_ = std::make_unique<NameSectionWriter>(folder_, runEntries_ * kRunEntryBytes);
        grams_ = std::make_unique<GramSectionWriter>(folder_, runEntries_ * kRunEntryBytes);
    }
    names_->Add(reversedName, facts, line, grams_->Add(reversedName, facts.harmonicPosition));
    ++added_;
}

// The header, the source's name, the names section and the n-gram section. The names writer keeps
// each name once and says which listings it dropped.
RankIndexWriter::Summary RankIndexWriter::Finish(const RankIndexInfo &source,
                                                 const MergeProgress &progress) {
    if (!names_)
        throw EImportError("an index needs at least one name");
    // The n-gram lists take the last names on their own thread while the names are merged.
    grams_->EndAdding();
    // The merge of the names reports no progress of its own; it may be cancelled before it.
    const auto goOn = [&] { return !progress || progress(1, 1); };
    if (progress && !progress(0, 1))
        throw EImportCancelled("import cancelled");
    header_ = HeaderFor(source);
    const std::uint64_t namesOffset = NamesOffset(header_);
    const std::uint64_t namesBytes =
        names_->WriteTo(file_, namesOffset, [this](std::uint32_t rank, std::uint64_t place) {
            grams_->Place(rank, place);
        });
    file_.StartWriteBack(); // while the n-gram section is put together
    const DuplicateReport &duplicates = names_->Duplicates();
    header_.entryCount = added_ - duplicates.count;
    header_.fileSize = namesOffset + namesBytes;
    const std::uint64_t gramsOffset = AlignTo8(header_.fileSize);
    if (const std::uint64_t gramsBytes = grams_->WriteTo(file_, gramsOffset, goOn))
        header_.fileSize = gramsOffset + gramsBytes;
    if (file_.Size() < header_.fileSize)
        file_.WriteAt(file_.Size(), std::string(header_.fileSize - file_.Size(), '\0'));
    file_.WriteAt(0, std::string_view(reinterpret_cast<const char *>(&header_), sizeof header_));

    Summary summary;
    summary.entries = header_.entryCount;
    summary.duplicates = duplicates.count;
    summary.firstDuplicates = duplicates.first;
    return summary;
}

// The header's fields but the sizes, with the source's name written after it; the names start
// right after the name (no buckets or records).
RankIndexHeader RankIndexWriter::HeaderFor(const RankIndexInfo &source) {
    const std::string name = source.sourceName.substr(0, kMaxSourceNameLength);
    RankIndexHeader header{};
    std::memcpy(header.magic, kRankIndexMagic, sizeof header.magic);
    header.version = kRankIndexVersion;
    header.kind = static_cast<std::uint32_t>(source.kind);
    header.sourceLines = source.sourceLines;
    header.skippedLines = source.skippedLines;
    header.importTime = source.importTime;
    header.sourceNameLength = static_cast<std::uint32_t>(name.size());
    header.bucketsOffset = AlignTo8(sizeof header + name.size());
    header.recordsOffset = header.bucketsOffset;
    file_.WriteAt(sizeof header, name);
    return header;
}

void RankIndexWriter::Commit() {
    file_.Commit();
}

} // namespace rankindex
