#include "rankindex/RankIndexWriter.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankIndexFormat.h"
#include "rankindex/SectionOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <queue>
#include <unistd.h>

namespace rankindex {

using Entry = RankIndexWriter::Entry;

namespace {

constexpr std::size_t kRunReadEntries = 64 * 1024;
constexpr std::uint64_t kProgressEvery = 1 << 20;

std::uint64_t AlignTo8(std::uint64_t offset) {
    return (offset + 7) & ~std::uint64_t{7};
}

// Lines break ties, so that the repeats of a name are settled in the order of the file and the
// first ones reported are the first ones found.
bool KeyBefore(const Entry &a, const Entry &b) {
    return a.key < b.key || (a.key == b.key && a.line < b.line);
}

// Counting sort on the top 16 bits of the key, then a comparison sort inside each of the 65,536
// small groups: two passes over the data instead of a full comparison sort's twenty-odd.
void SortByKey(std::vector<Entry> &entries, std::vector<Entry> &scratch) {
    constexpr int kShift = 48;
    std::vector<std::size_t> starts((std::size_t{1} << 16) + 1, 0);
    for (const Entry &entry : entries)
        ++starts[(entry.key >> kShift) + 1];
    for (std::size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    scratch.resize(entries.size());
    std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
    for (const Entry &entry : entries)
        scratch[next[entry.key >> kShift]++] = entry;
    for (std::size_t group = 0; group + 1 < starts.size(); ++group) {
        if (starts[group + 1] - starts[group] > 1)
            std::sort(scratch.begin() + static_cast<std::ptrdiff_t>(starts[group]),
                      scratch.begin() + static_cast<std::ptrdiff_t>(starts[group + 1]), KeyBefore);
    }
    entries.swap(scratch);
}

// Two entries of one key: the better (smaller) position stays in held, the line of the other is
// counted as dropped.
void Settle(Entry &held, const Entry &entry, RankIndexWriter::Summary &summary) {
    const bool better = entry.position < held.position ||
                        (entry.position == held.position && entry.line < held.line);
    const Entry &kept = better ? entry : held;
    const Entry &dropped = better ? held : entry;
    ++summary.duplicates;
    if (summary.firstDuplicates.size() < RankIndexWriter::kMaxReportedDuplicates)
        summary.firstDuplicates.push_back({kept.line, dropped.line});
    held = kept;
}

// Sorts the entries and keeps one of each key.
void SortAndSettle(std::vector<Entry> &entries, RankIndexWriter::Summary &summary) {
    {
        std::vector<Entry> scratch;
        SortByKey(entries, scratch);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (kept > 0 && entries[kept - 1].key == entries[i].key)
            Settle(entries[kept - 1], entries[i], summary);
        else
            entries[kept++] = entries[i];
    }
    entries.resize(kept);
}

} // namespace

// A sorted run in a temporary file that has no name: it goes with its descriptor, whatever ends
// the import.
class RankIndexWriter::RunFile {
public:
    explicit RunFile(const std::filesystem::path &folder) {
        std::string pattern = (folder / ".nimbrel-import-XXXXXX").string();
        descriptor_ = ::mkstemp(pattern.data());
        if (descriptor_ < 0)
            Fail("cannot create a temporary file in " + folder.string());
        ::unlink(pattern.c_str());
    }
    ~RunFile() { ::close(descriptor_); }
    RunFile(const RunFile &) = delete;
    RunFile &operator=(const RunFile &) = delete;

    void Write(const std::vector<Entry> &entries) {
        const char *bytes = reinterpret_cast<const char *>(entries.data());
        std::size_t left = entries.size() * sizeof(Entry);
        while (left > 0) {
            const ssize_t written = ::write(descriptor_, bytes, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                Fail(std::string("cannot write a temporary file: ") + std::strerror(errno));
            bytes += written;
            left -= static_cast<std::size_t>(written);
        }
        count_ = entries.size();
    }
    // Up to count entries from the index-th on; fewer only at the end.
    std::size_t Read(std::uint64_t index, Entry *into, std::size_t count) const {
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, count_ - index));
        char *bytes = reinterpret_cast<char *>(into);
        std::size_t done = 0;
        const std::size_t wanted = count * sizeof(Entry);
        while (done < wanted) {
            const ssize_t got = ::pread(descriptor_, bytes + done, wanted - done,
                                        static_cast<off_t>(index * sizeof(Entry) + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                Fail(std::string("cannot read a temporary file: ") + std::strerror(errno));
            done += static_cast<std::size_t>(got);
        }
        return count;
    }
    std::uint64_t Count() const { return count_; }

private:
    [[noreturn]] static void Fail(const std::string &message) { throw EImportError(message); }

    int descriptor_ = -1;
    std::uint64_t count_ = 0;
};

namespace {

// Walks one sorted run, in memory or in a file read a chunk at a time.
class RunCursor {
public:
    RunCursor(const Entry *begin, const Entry *end) : at_(begin), end_(end) {}
    explicit RunCursor(const RankIndexWriter::RunFile &file)
        : file_(&file), buffer_(kRunReadEntries) {
        Refill();
    }
    bool Valid() const { return at_ < end_; }
    const Entry &Current() const { return *at_; }
    void Advance() {
        if (++at_ == end_ && file_)
            Refill();
    }

private:
    void Refill() {
        const std::size_t got = file_->Read(read_, buffer_.data(), buffer_.size());
        read_ += got;
        at_ = buffer_.data();
        end_ = at_ + got;
    }

    const RankIndexWriter::RunFile *file_ = nullptr;
    std::vector<Entry> buffer_;
    std::uint64_t read_ = 0;
    const Entry *at_ = nullptr;
    const Entry *end_ = nullptr;
};

// The runs merged in key order.
class RunMerge {
public:
    explicit RunMerge(std::vector<RunCursor> cursors) : cursors_(std::move(cursors)) {
        for (std::size_t i = 0; i < cursors_.size(); ++i) {
            if (cursors_[i].Valid())
                heap_.push(i);
        }
    }
    bool Next(Entry &entry) {
        if (heap_.empty())
            return false;
        const std::size_t i = heap_.top();
        heap_.pop();
        entry = cursors_[i].Current();
        cursors_[i].Advance();
        if (cursors_[i].Valid())
            heap_.push(i);
        return true;
    }

private:
    struct Later {
        const std::vector<RunCursor> *cursors;
        bool operator()(std::size_t a, std::size_t b) const {
            return (*cursors)[b].Current().key < (*cursors)[a].Current().key;
        }
    };
    std::vector<RunCursor> cursors_;
    std::priority_queue<std::size_t, std::vector<std::size_t>, Later> heap_{Later{&cursors_}};
};

// Writes the records and the bucket table side by side as the merge hands out entries in key
// order, keeping one entry back to settle names that come more than once.
class IndexBody {
public:
    IndexBody(platform::AtomicFileWriter &file, std::uint32_t bucketBits,
              std::uint64_t bucketsOffset, std::uint64_t recordsOffset)
        : bucketBits_(bucketBits), buckets_(file, bucketsOffset), records_(file, recordsOffset) {}

    void Take(const Entry &entry, RankIndexWriter::Summary &summary) {
        if (held_ && entry.key == heldEntry_.key) {
            Settle(heldEntry_, entry, summary);
            return;
        }
        if (held_)
            Emit(heldEntry_);
        heldEntry_ = entry;
        held_ = true;
    }
    std::uint64_t Close() {
        if (held_)
            Emit(heldEntry_);
        held_ = false;
        while (nextBucket_ <= (std::uint64_t{1} << bucketBits_))
            StartBucket();
        buckets_.Flush();
        records_.Flush();
        return written_;
    }

private:
    void Emit(const Entry &entry) {
        const std::uint64_t bucket = BucketOf(entry.key, bucketBits_);
        while (nextBucket_ <= bucket)
            StartBucket();
        records_.Append(entry.key);
        records_.Append(entry.position);
        ++written_;
    }
    void StartBucket() {
        buckets_.Append(static_cast<std::uint32_t>(written_));
        ++nextBucket_;
    }

    std::uint32_t bucketBits_;
    SectionOutput buckets_, records_;
    std::uint64_t nextBucket_ = 0;
    std::uint64_t written_ = 0;
    Entry heldEntry_{};
    bool held_ = false;
};

using RunFiles = std::vector<std::unique_ptr<RankIndexWriter::RunFile>>;

std::vector<RunCursor> Cursors(const RunFiles &spilled, const std::vector<Entry> &run) {
    std::vector<RunCursor> cursors;
    for (const auto &file : spilled)
        cursors.emplace_back(*file);
    cursors.emplace_back(run.data(), run.data() + run.size());
    return cursors;
}

// The names the runs hold between them. Names in one run are distinct already; with several runs
// on disk a pass over their merge counts those that come in more than one.
std::uint64_t CountNames(const RunFiles &spilled, const std::vector<Entry> &run,
                         const RankIndexWriter::MergeProgress &progress, std::uint64_t total) {
    if (spilled.empty())
        return run.size();
    RunMerge merge(Cursors(spilled, run));
    std::uint64_t names = 0;
    std::uint64_t lastKey = 0;
    Entry entry{};
    for (std::uint64_t done = 0; merge.Next(entry); ++done) {
        if (done % kProgressEvery == 0 && progress && !progress(done, total))
            throw EImportCancelled("import cancelled");
        if (done == 0 || entry.key != lastKey)
            ++names;
        lastKey = entry.key;
    }
    return names;
}

} // namespace

RankIndexWriter::RankIndexWriter(const std::filesystem::path &indexPath, std::size_t runEntries)
    : folder_(indexPath.parent_path().empty() ? std::filesystem::path(".")
                                              : indexPath.parent_path()),
      runEntries_(std::max<std::size_t>(runEntries, 1)), file_(indexPath) {
    // Reserving touches no memory; the run fills it page by page.
    run_.reserve(runEntries_);
}

RankIndexWriter::~RankIndexWriter() = default;

void RankIndexWriter::Add(std::uint64_t key, std::uint32_t position, std::uint64_t line) {
    ++keys_;
    if (run_.size() == runEntries_)
        Compact();
    run_.push_back({key, position,
                    static_cast<std::uint32_t>(
                        std::min<std::uint64_t>(line, std::numeric_limits<std::uint32_t>::max()))});
    ++added_;
}

void RankIndexWriter::AddName(std::string_view reversedName, const NameFacts &facts,
                              std::uint64_t line) {
    if (!names_) {
        names_ = std::make_unique<NameSectionWriter>(folder_, runEntries_ * sizeof(Entry));
        grams_ = std::make_unique<GramSectionWriter>(folder_, runEntries_ * sizeof(Entry));
    }
    names_->Add(reversedName, facts, line, grams_->Add(reversedName, facts.harmonicPosition));
    ++added_;
}

// A full run is sorted and each name kept once; only when that leaves it more than half full does
// it go to disk. A file that repeats its names thus costs temporary disk by the names it holds,
// not by its lines, and sorting the kept half again costs at most as much as the first sort.
void RankIndexWriter::Compact() {
    SortAndSettle(run_, summary_);
    if (run_.size() > runEntries_ / 2)
        SpillRun();
}

void RankIndexWriter::SpillRun() {
    auto file = std::make_unique<RunFile>(folder_);
    file->Write(run_);
    spilled_.push_back(std::move(file));
    run_.clear();
    run_.reserve(runEntries_);
}

RankIndexWriter::Summary RankIndexWriter::Finish(const RankIndexInfo &source,
                                                 const MergeProgress &progress) {
    // The n-gram lists take the last names on their own thread while the names are merged.
    if (grams_)
        grams_->EndAdding();
    if (names_ && keys_ > 0)
        throw EImportError("an index is given either names or keys, not both");
    const Summary summary = names_ ? WriteNames(source, progress) : WriteRecords(source, progress);
    if (file_.Size() < header_.fileSize)
        file_.WriteAt(file_.Size(), std::string(header_.fileSize - file_.Size(), '\0'));
    file_.WriteAt(0, std::string_view(reinterpret_cast<const char *>(&header_), sizeof header_));
    return summary;
}

// The header's fields but the sizes, with the source's name written after it.
RankIndexHeader RankIndexWriter::HeaderFor(const RankIndexInfo &source, std::uint32_t version) {
    const std::string name = source.sourceName.substr(0, kMaxSourceNameLength);
    RankIndexHeader header{};
    std::memcpy(header.magic, kRankIndexMagic, sizeof header.magic);
    header.version = version;
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

// The header (kept in header_), the source's name, the names section and the n-gram section.
// The names writer keeps each name once and says which listings it dropped.
RankIndexWriter::Summary RankIndexWriter::WriteNames(const RankIndexInfo &source,
                                                     const MergeProgress &progress) {
    // The merge of the names reports no progress of its own; it may be cancelled before it.
    const auto goOn = [&] { return !progress || progress(1, 1); };
    if (progress && !progress(0, 1))
        throw EImportCancelled("import cancelled");
    header_ = HeaderFor(source, kRankIndexVersion);
    const std::uint64_t namesOffset = NamesOffset(header_);
    const std::uint64_t namesBytes =
        names_->WriteTo(file_, namesOffset, [this](std::uint32_t rank, std::uint64_t place) {
            grams_->Place(rank, place);
        });
    const DuplicateReport &duplicates = names_->Duplicates();
    header_.entryCount = added_ - duplicates.count;
    header_.fileSize = namesOffset + namesBytes;
    const std::uint64_t gramsOffset = AlignTo8(header_.fileSize);
    if (const std::uint64_t gramsBytes = grams_->WriteTo(file_, gramsOffset, goOn))
        header_.fileSize = gramsOffset + gramsBytes;
    Summary summary;
    summary.entries = header_.entryCount;
    summary.duplicates = duplicates.count;
    summary.firstDuplicates = duplicates.first;
    return summary;
}

// The hash-only form: the header (kept in header_), the source's name, the buckets and the
// records.
RankIndexWriter::Summary RankIndexWriter::WriteRecords(const RankIndexInfo &source,
                                                       const MergeProgress &progress) {
    SortAndSettle(run_, summary_);
    std::uint64_t toMerge = run_.size();
    for (const auto &file : spilled_)
        toMerge += file->Count();
    // With a counting pass the merge is walked twice; progress spans both.
    const std::uint64_t passes = spilled_.empty() ? 1 : 2;
    const std::uint64_t names = CountNames(spilled_, run_, progress, passes * toMerge);
    if (names > std::numeric_limits<std::uint32_t>::max())
        throw EImportError("too many names for one index (at most 4,294,967,295)");

    RankIndexHeader header = HeaderFor(source, kHashOnlyRankIndexVersion);
    header.bucketBits = BucketBitsFor(names);
    header.recordsOffset =
        AlignTo8(header.bucketsOffset + ((std::uint64_t{1} << header.bucketBits) + 1) * 4);

    RunMerge merge(Cursors(spilled_, run_));
    IndexBody body(file_, header.bucketBits, header.bucketsOffset, header.recordsOffset);
    Summary summary = summary_;
    Entry entry{};
    const std::uint64_t counted = (passes - 1) * toMerge;
    for (std::uint64_t done = 0; merge.Next(entry); ++done) {
        if (done % kProgressEvery == 0 && progress && !progress(counted + done, passes * toMerge))
            throw EImportCancelled("import cancelled");
        body.Take(entry, summary);
    }
    summary.entries = body.Close();
    header.entryCount = summary.entries;
    header.fileSize = header.recordsOffset + summary.entries * kRankRecordBytes;
    header_ = header;
    return summary;
}

void RankIndexWriter::Commit() {
    file_.Commit();
}

} // namespace rankindex
