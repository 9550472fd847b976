#include "rankindex/NameSectionWriter.h"

#include "rankindex/BatchHandoff.h"

#include "rankindex/ImportError.h"
#include "rankindex/SectionOutput.h"
#include "rankindex/TemporaryFile.h"
#include "rankindex/WorkerPriority.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <queue>
#include <unistd.h>
#include <utility>

namespace rankindex {
namespace {

using Item = NameSectionWriter::Item;

std::uint64_t AlignTo8(std::uint64_t offset) {
    return (offset + 7) & ~std::uint64_t{7};
}

// One name with its numbers, as runs hold them on disk and the merge hands them on.
struct Record {
    std::string name;
    // The name's first 16 bytes as numbers that sort as they do (the merge's, not the file's).
    std::uint64_t prefix[2] = {};
    NameFacts facts;
    std::uint32_t line = 0;
    std::uint32_t rank = 0;
};

// Of two listings of one name, the one to keep.
bool Better(const NameFacts &a, std::uint32_t aLine, const NameFacts &b, std::uint32_t bLine) {
    return a.harmonicPosition < b.harmonicPosition ||
           (a.harmonicPosition == b.harmonicPosition && aLine < bLine);
}

// How many leading bytes two names share, eight bytes compared at a time: sorted names share
// about two thirds of theirs.
std::size_t SharedLength(std::string_view a, std::string_view b) {
    const std::size_t most = std::min(a.size(), b.size());
    std::size_t shared = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; shared + 8 <= most; shared += 8) {
            std::uint64_t x;
            std::uint64_t y;
            std::memcpy(&x, a.data() + shared, sizeof x);
            std::memcpy(&y, b.data() + shared, sizeof y);
            if (x != y)
                return shared + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (shared < most && a[shared] == b[shared])
        ++shared;
    return shared;
}

} // namespace

// A sorted run in a temporary file that has no name, read back through a buffer. Each name is
// written as the bytes it does not share with the one before (sorted names share about two
// thirds of theirs), after the two lengths: a run costs the kernel about half the bytes to copy.
class NameSectionWriter::RunFile : public TemporaryFile {
public:
    explicit RunFile(const std::filesystem::path &folder)
        : TemporaryFile(folder, ".nimbrel-names") {}

    // The names come in order; previous is the name written last, empty at first.
    void Write(std::string_view name, std::string_view previous, const NameFacts &facts,
               std::uint32_t line, std::uint32_t rank) {
        const std::size_t shared = SharedLength(name, previous);
        std::array<char, 2 + 255 + kNumbersBytes> bytes;
        bytes[0] = static_cast<char>(shared);
        bytes[1] = static_cast<char>(name.size() - shared);
        std::memcpy(bytes.data() + 2, name.data() + shared, name.size() - shared);
        char *numbers = bytes.data() + 2 + (name.size() - shared);
        std::memcpy(numbers, &facts, sizeof facts);
        std::memcpy(numbers + sizeof facts, &line, sizeof line);
        std::memcpy(numbers + sizeof facts + sizeof line, &rank, sizeof rank);
        Put(bytes.data(), 2 + (name.size() - shared) + kNumbersBytes);
    }
    // record holds the name read last from this file, or nothing at first.
    bool Read(Record &record) {
        std::uint8_t lengths[2];
        if (!Get(lengths, sizeof lengths))
            return false;
        if (lengths[0] > record.name.size())
            throw EImportError("a temporary file of the import came back damaged");
        record.name.resize(std::size_t{lengths[0]} + lengths[1]);
        char numbers[kNumbersBytes];
        if ((lengths[1] > 0 && !Get(record.name.data() + lengths[0], lengths[1])) ||
            !Get(numbers, sizeof numbers))
            throw EImportError("a temporary file of the import came back short");
        std::memcpy(&record.facts, numbers, sizeof record.facts);
        std::memcpy(&record.line, numbers + sizeof record.facts, sizeof record.line);
        std::memcpy(&record.rank, numbers + sizeof record.facts + sizeof record.line,
                    sizeof record.rank);
        return true;
    }

private:
    static constexpr std::size_t kNumbersBytes =
        sizeof(NameFacts) + sizeof(std::uint32_t) + sizeof(std::uint32_t);
};

namespace {

// Packs numbers of given widths, the lowest bit first, into bytes it is handed with room for them
// and three bytes more: four bytes are stored at a time, not one.
class BitPacker {
public:
    explicit BitPacker(unsigned char *into) : into_(into) {}
    ~BitPacker() {
        if (bits_ > 0)
            StoreFour();
    }
    BitPacker(const BitPacker &) = delete;
    BitPacker &operator=(const BitPacker &) = delete;

    // value < 2^width, width at most 32.
    void Put(std::uint32_t value, std::uint32_t width) {
        word_ |= std::uint64_t{value} << bits_;
        bits_ += width;
        if (bits_ >= 32) {
            StoreFour();
            into_ += 4;
            word_ >>= 32;
            bits_ -= 32;
        }
    }

private:
    void StoreFour() {
        for (int i = 0; i < 4; ++i)
            into_[i] = static_cast<unsigned char>(word_ >> (8 * i));
    }

    unsigned char *into_;
    std::uint64_t word_ = 0;
    std::uint32_t bits_ = 0;
};

std::uint32_t WidthOf(const std::vector<NameFacts> &facts, std::uint32_t NameFacts::*number) {
    std::uint32_t most = 0;
    for (const NameFacts &one : facts)
        most = std::max(most, one.*number);
    return static_cast<std::uint32_t>(std::bit_width(most));
}

// Appends the start of a block in the packed coding (NameSection.h): the numbers' widths and the
// numbers; the names follow.
void PutPackedNumbers(const std::vector<NameFacts> &facts, std::string &into) {
    constexpr std::uint32_t NameFacts::*kNumbers[] = {
        &NameFacts::harmonicPosition, &NameFacts::pageRankPosition, &NameFacts::hosts};
    std::uint32_t widths[std::size(kNumbers)];
    std::size_t bits = 0;
    for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
        widths[i] = WidthOf(facts, kNumbers[i]);
        into.push_back(static_cast<char>(widths[i]));
        bits += std::size_t{widths[i]} * facts.size();
    }
    const std::size_t start = into.size();
    const std::size_t bytes = (bits + 7) / 8;
    into.resize(start + bytes + 3);
    {
        BitPacker packer(reinterpret_cast<unsigned char *>(into.data() + start));
        for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
            for (const NameFacts &one : facts)
                packer.Put(one.*kNumbers[i], widths[i]);
        }
    }
    into.resize(start + bytes);
}

// A name's two lengths: one byte when both fit in a nibble (and do not make the escape byte).
void PutLengths(std::string &into, std::size_t shared, std::size_t rest) {
    const std::size_t packed = (shared << 4) | rest;
    if (shared < 16 && rest < 16 && packed != kLongLengths) {
        into.push_back(static_cast<char>(packed));
        return;
    }
    into.push_back(static_cast<char>(kLongLengths));
    into.push_back(static_cast<char>(shared));
    into.push_back(static_cast<char>(rest));
}

// Front-codes names given in order into blocks, a block at a time; where each block starts goes
// to a temporary file, so that the block index costs no memory by the names.
class BlockEncoder {
public:
    BlockEncoder(SectionOutput &output, NameSectionWriter::RunFile &index)
        : output_(output), index_(index) {}
    void Add(std::string_view name, const NameFacts &facts) {
        std::size_t shared = 0;
        if (count_ % kNamesPerBlock == 0) {
            EndBlock();
            const std::array<std::uint64_t, 3> entry{NamePrefixKey(name, 0), NamePrefixKey(name, 8),
                                                     output_.Written()};
            index_.Put(entry.data(), sizeof entry);
            ++blocks_;
        } else
            shared = SharedLength(name, previous_);
        PutLengths(names_, shared, name.size() - shared);
        names_.append(name.substr(shared));
        facts_.push_back(facts);
        previous_.assign(name);
        ++count_;
    }
    // Writes the block still open.
    void EndBlock() {
        if (facts_.empty())
            return;
        block_.clear();
        PutPackedNumbers(facts_, block_);
        block_.append(names_);
        output_.Append(block_.data(), block_.size());
        names_.clear();
        facts_.clear();
    }
    std::uint64_t Count() const { return count_; }
    std::uint64_t Blocks() const { return blocks_; }

private:
    SectionOutput &output_;
    std::string previous_;
    NameSectionWriter::RunFile &index_;
    std::string names_;
    std::vector<NameFacts> facts_;
    std::string block_; // the block's bytes, written at once
    std::uint64_t count_ = 0;
    std::uint64_t blocks_ = 0;
};

// Names the merge kept, in order, with their numbers and ranks, on their way to the coding.
struct KeptNames {
    std::string text;
    std::vector<std::uint32_t> ends;
    std::vector<NameFacts> facts;
    std::vector<std::uint32_t> ranks;
    void Clear() {
        text.clear();
        ends.clear();
        facts.clear();
        ranks.clear();
    }
};

// Codes the merged names into blocks, and tells their places, on a thread of its own: the merge
// and the coding each take about half of the section's writing, and the other core is otherwise
// idle by then. At most two batches wait. The thread ends with Finish or, whatever stops the
// merge, with the object.
class BackgroundEncoder {
public:
    using PlaceSink = NameSectionWriter::PlaceSink;

    BackgroundEncoder(SectionOutput &output, NameSectionWriter::RunFile &index,
                      const PlaceSink &placed)
        : encoder_(output, index), placed_(placed) {
        worker_ = std::jthread([this](std::stop_token stop) { Work(std::move(stop)); });
    }
    void Add(std::string_view name, const NameFacts &facts, std::uint32_t rank) {
        filling_.text.append(name);
        filling_.ends.push_back(static_cast<std::uint32_t>(filling_.text.size()));
        filling_.facts.push_back(facts);
        filling_.ranks.push_back(rank);
        if (filling_.ends.size() == kBatchNames)
            Hand();
    }
    // Waits for the names handed to be coded; the coder's failure comes out here.
    BlockEncoder &Finish() {
        if (!filling_.ends.empty())
            Hand();
        handoff_.Close();
        worker_.join();
        handoff_.Rethrow();
        encoder_.EndBlock();
        return encoder_;
    }

private:
    static constexpr std::size_t kBatchNames = 1 << 14;

    void Hand() {
        handoff_.Hand(filling_);
        filling_.Clear();
    }
    void Work(std::stop_token stop) {
        while (auto batch = handoff_.Take(stop)) {
            try {
                Code(*batch);
            } catch (...) {
                handoff_.Fail(std::current_exception());
                return;
            }
            handoff_.GiveBack(std::move(*batch));
        }
    }
    void Code(const KeptNames &batch) {
        std::uint32_t begin = 0;
        for (std::size_t i = 0; i < batch.ends.size(); ++i) {
            if (placed_)
                placed_(batch.ranks[i], encoder_.Count());
            encoder_.Add(std::string_view(batch.text).substr(begin, batch.ends[i] - begin),
                         batch.facts[i]);
            begin = batch.ends[i];
        }
    }

    BlockEncoder encoder_; // the thread's until it is joined
    const PlaceSink &placed_;
    KeptNames filling_;
    BatchHandoff<KeptNames> handoff_;
    std::jthread worker_; // last, so that it ends before what it uses
};

using IndexEntry = std::array<std::uint64_t, 3>; // key bytes 0-7, 8-15, offset

// Reads the block index's entries back from its temporary file, each time from the start.
template <typename Each> void ForEachEntry(TemporaryFile &index, std::uint64_t blocks, Each each) {
    index.Rewind();
    IndexEntry entry{};
    for (std::uint64_t block = 0; block < blocks; ++block) {
        if (!index.Get(entry.data(), sizeof entry))
            throw EImportError("a temporary file of the import came back short");
        each(block, entry);
    }
}

// The block index in the PackedKeys form (NameSection.h), read three times over from its file:
// keys, offsets, the top level. Returns its bytes.
std::uint64_t WriteBlockIndex(SectionOutput &output, TemporaryFile &index, std::uint64_t blocks,
                              std::uint64_t blocksBytes) {
    const std::uint64_t start = output.Written();
    ForEachEntry(index, blocks, [&](std::uint64_t, const IndexEntry &entry) {
        output.Append(entry.data(), 2 * sizeof entry[0]);
    });
    const bool narrow = OffsetBytes(blocksBytes) == sizeof(std::uint32_t);
    ForEachEntry(index, blocks, [&](std::uint64_t, const IndexEntry &entry) {
        if (narrow)
            output.Append(static_cast<std::uint32_t>(entry[2]));
        else
            output.Append(entry[2]);
    });
    const char zeros[8] = {};
    output.Append(zeros, AlignTo8(output.Written()) - output.Written());
    ForEachEntry(index, blocks, [&](std::uint64_t block, const IndexEntry &entry) {
        if (block % kBlocksPerTopKey == 0)
            output.Append(entry.data(), 2 * sizeof entry[0]);
    });
    return output.Written() - start;
}

} // namespace

void DuplicateReport::Take(const DuplicateReport &other) {
    for (const DuplicateName &one : other.first)
        Add(one.keptLine, one.droppedLine);
    count += other.count - other.first.size();
}

void DuplicateReport::Add(std::uint64_t keptLine, std::uint64_t droppedLine) {
    ++count;
    const auto at = std::find_if(first.begin(), first.end(), [&](const DuplicateName &one) {
        return one.droppedLine > droppedLine;
    });
    if (at == first.end() && first.size() == kMaxReported)
        return;
    first.insert(at, {keptLine, droppedLine});
    if (first.size() > kMaxReported)
        first.pop_back();
}

NameSectionWriter::NameSectionWriter(const std::filesystem::path &folder, std::size_t runBytes)
    : folder_(folder.empty() ? std::filesystem::path(".") : folder),
      runBytes_(std::max<std::size_t>(runBytes, 1024)) {}

NameSectionWriter::~NameSectionWriter() = default;

namespace {

using Run = NameSectionWriter::Run;

std::size_t RunBytes(const Run &run) {
    return run.text.size() + run.items.size() * sizeof(Item);
}

std::string_view NameOf(const Run &run, const Item &item) {
    return std::string_view(run.text).substr(item.textOffset, item.length);
}

// Sorted items point all over the run's text: walking them, the text of the ones a few ahead is
// asked for early, so that reading each name does not wait for memory in turn.
constexpr std::size_t kTextAhead = 8;
void PrefetchName(const Run &run, std::size_t index) {
    if (index < run.items.size())
        __builtin_prefetch(run.text.data() + run.items[index].textOffset);
}

// Whether two items hold one name; the text is read only when all else agrees.
bool SameName(const Run &run, const Item &a, const Item &b) {
    return a.prefix[0] == b.prefix[0] && a.prefix[1] == b.prefix[1] && a.length == b.length &&
           NameOf(run, a) == NameOf(run, b);
}

// Names in order, and of one name its better listing first.
struct NameBefore {
    const Run &run;
    bool operator()(const Item &a, const Item &b) const {
        if (a.prefix[0] != b.prefix[0])
            return a.prefix[0] < b.prefix[0];
        if (a.prefix[1] != b.prefix[1])
            return a.prefix[1] < b.prefix[1];
        const int order = NameOf(run, a).compare(NameOf(run, b));
        return order < 0 || (order == 0 && Better(a.facts, a.line, b.facts, b.line));
    }
};

constexpr std::size_t kPrefixBytes = 16;
// Below this many items a comparison sort is quicker than another pass of counting.
constexpr std::size_t kSmallestRadixSort = 64;

// The depth-th byte of an item's name, 0 past its end (names hold no zero bytes).
unsigned ByteOf(const Item &item, std::size_t depth) {
    return static_cast<unsigned>(item.prefix[depth / 8] >> (56 - 8 * (depth % 8))) & 0xFFu;
}

// Sorts items whose names agree in their first depth bytes: in place, by their next byte, into
// 256 groups that are sorted the same way a byte further on (American flag sort); past the 16
// bytes the items hold, in a group of names that ended, and in small groups, by comparison. Most
// items thus move a few times instead of the twenty-odd of a comparison sort on millions, and
// the names' text is read only where 16 bytes do not tell them apart.
void RadixSort(Item *begin, Item *end, std::size_t depth, const Run &run) {
    for (;;) {
        const auto count = static_cast<std::size_t>(end - begin);
        if (count < kSmallestRadixSort || depth == kPrefixBytes) {
            std::sort(begin, end, NameBefore{run});
            return;
        }
        std::array<std::size_t, 257> starts{};
        for (const Item *item = begin; item != end; ++item)
            ++starts[ByteOf(*item, depth) + 1];
        if (starts[ByteOf(*begin, depth) + 1] == count) {
            if (ByteOf(*begin, depth) == 0) {
                std::sort(begin, end, NameBefore{run});
                return;
            }
            ++depth; // one byte shared by all: nothing to move
            continue;
        }
        for (std::size_t b = 1; b < starts.size(); ++b)
            starts[b] += starts[b - 1];
        std::array<std::size_t, 256> next;
        std::copy(starts.begin(), starts.end() - 1, next.begin());
        for (unsigned b = 0; b < 256; ++b) {
            while (next[b] < starts[b + 1]) {
                Item &item = begin[next[b]];
                const unsigned to = ByteOf(item, depth);
                if (to == b)
                    ++next[b];
                else
                    std::swap(item, begin[next[to]++]);
            }
        }
        // Names that ended here are one name: only their listings need ordering.
        std::sort(begin, begin + starts[1], NameBefore{run});
        for (unsigned b = 1; b < 256; ++b) {
            if (starts[b + 1] - starts[b] > 1)
                RadixSort(begin + starts[b], begin + starts[b + 1], depth + 1, run);
        }
        return;
    }
}

// Sorts the run by name and keeps each name once.
void SortAndSettle(Run &run, DuplicateReport &duplicates) {
    RadixSort(run.items.data(), run.items.data() + run.items.size(), 0, run);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < run.items.size(); ++i) {
        if (kept == 0 || !SameName(run, run.items[kept - 1], run.items[i]))
            run.items[kept++] = run.items[i];
        else
            duplicates.Add(run.items[kept - 1].line, run.items[i].line);
    }
    run.items.resize(kept);
}

// Appends the items of from, with their text, to into.
void Append(Run &into, const Run &from) {
    for (std::size_t i = 0; i < from.items.size(); ++i) {
        PrefetchName(from, i + kTextAhead);
        Item item = from.items[i];
        const auto offset = static_cast<std::uint32_t>(into.text.size());
        into.text.append(NameOf(from, item));
        item.textOffset = offset;
        into.items.push_back(item);
    }
}

} // namespace

void NameSectionWriter::Add(std::string_view reversedName, const NameFacts &facts,
                            std::uint64_t line, std::uint32_t rank) {
    if (reversedName.size() > 255)
        throw EImportError("a name longer than a domain name reached the names section");
    if (RunBytes(run_) + reversedName.size() > runBytes_)
        Compact();
    if (run_.items.capacity() == 0) {
        // As much as a run can take either way: only what is filled is ever touched, and the
        // run never moves as it grows.
        run_.items.reserve(runBytes_ / sizeof(Item) + 1);
        run_.text.reserve(runBytes_);
    }
    run_.items.push_back({{NamePrefixKey(reversedName, 0), NamePrefixKey(reversedName, 8)},
                          facts,
                          static_cast<std::uint32_t>(std::min<std::uint64_t>(
                              line, std::numeric_limits<std::uint32_t>::max())),
                          static_cast<std::uint32_t>(run_.text.size()),
                          rank,
                          static_cast<std::uint8_t>(reversedName.size())});
    run_.text.append(reversedName);
}

// A full run goes to the sorting thread, with the small run the last sort kept. There it is
// sorted and each name kept once; only when that leaves it more than half full does it go to
// disk. A file that repeats its names thus costs temporary files by the names it holds, not by
// its lines.
void NameSectionWriter::Compact() {
    Run recycled = FinishSorting();
    sorting_ = std::move(run_);
    run_ = std::move(recycled);
    Append(sorting_, kept_);
    kept_ = Run{};
    sorter_ = std::jthread([this] {
        LowerThisThreadsPriority();
        try {
            Sort();
        } catch (...) {
            sortFailure_ = std::current_exception();
        }
    });
}

// On the sorting thread.
void NameSectionWriter::Sort() {
    SortAndSettle(sorting_, duplicates_);
    if (RunBytes(sorting_) <= runBytes_ / 2) {
        Run packed;
        Append(packed, sorting_);
        sorting_ = std::move(packed);
        return;
    }
    auto file = std::make_unique<RunFile>(folder_);
    std::string_view previous;
    for (std::size_t i = 0; i < sorting_.items.size(); ++i) {
        PrefetchName(sorting_, i + kTextAhead);
        const Item &item = sorting_.items[i];
        const std::string_view name = NameOf(sorting_, item);
        file->Write(name, previous, item.facts, item.line, item.rank);
        previous = name;
    }
    file->Rewind();
    // Emptied but not given back: its memory, touched already, takes the next run.
    sorting_.items.clear();
    sorting_.text.clear();
    sortedFile_ = std::move(file);
}

// Waits for the sorting thread and takes what it made: a file, or a small sorted run. Returns the
// memory of a run that went to a file, empty, for the next run to fill: fresh memory costs the
// kernel's clearing of each page as it is first touched, which was a fifth of the reading
// thread's time.
NameSectionWriter::Run NameSectionWriter::FinishSorting() {
    if (sorter_.joinable())
        sorter_.join();
    if (sortFailure_)
        std::rethrow_exception(std::exchange(sortFailure_, nullptr));
    Run recycled;
    if (sortedFile_) {
        spilled_.push_back(std::move(sortedFile_));
        recycled = std::move(sorting_);
    } else if (!sorting_.items.empty())
        kept_ = std::move(sorting_);
    sorting_ = Run{};
    return recycled;
}

// The last run is sorted while the sorting thread may still have the one before: a small run that
// one leaves in memory is merged beside it rather than sorted again with it. The thread fills
// duplicates_ until it is joined, so the last run's repeats wait apart.
void NameSectionWriter::SortLastRun() {
    DuplicateReport repeats;
    SortAndSettle(run_, repeats);
    FinishSorting();
    duplicates_.Take(repeats);
    lastRunSorted_ = true;
}

std::uint64_t NameSectionWriter::WriteTo(platform::AtomicFileWriter &file, std::uint64_t offset,
                                         const PlaceSink &placed) {
    if (!lastRunSorted_)
        SortLastRun();
    // Sources: every spilled run, then the two runs in memory: the last and a small one kept.
    const std::size_t memory = spilled_.size();
    const std::array<const Run *, 2> inMemory{&run_, &kept_};
    std::vector<Record> heads(memory + inMemory.size());
    std::array<std::size_t, 2> memoryAt{};
    auto advance = [&](std::size_t source) {
        Record &head = heads[source];
        if (source < memory) {
            if (!spilled_[source]->Read(head))
                return false;
            head.prefix[0] = NamePrefixKey(head.name, 0);
            head.prefix[1] = NamePrefixKey(head.name, 8);
            return true;
        }
        const Run &run = *inMemory[source - memory];
        std::size_t &at = memoryAt[source - memory];
        if (at == run.items.size())
            return false;
        PrefetchName(run, at + kTextAhead);
        const Item &item = run.items[at++];
        head.name.assign(NameOf(run, item));
        head.prefix[0] = item.prefix[0];
        head.prefix[1] = item.prefix[1];
        head.facts = item.facts;
        head.line = item.line;
        head.rank = item.rank;
        return true;
    };
    // Most names differ in their first 16 bytes: their text is compared only when those agree.
    auto later = [&](std::size_t a, std::size_t b) {
        if (heads[a].prefix[0] != heads[b].prefix[0])
            return heads[a].prefix[0] > heads[b].prefix[0];
        if (heads[a].prefix[1] != heads[b].prefix[1])
            return heads[a].prefix[1] > heads[b].prefix[1];
        const int order = heads[a].name.compare(heads[b].name);
        return order > 0 ||
               (order == 0 && Better(heads[b].facts, heads[b].line, heads[a].facts, heads[a].line));
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> queue(later);
    for (std::size_t source = 0; source < heads.size(); ++source) {
        if (advance(source))
            queue.push(source);
    }

    SectionOutput output(file, offset + sizeof(NameSectionHeader));
    RunFile indexFile(folder_);
    BackgroundEncoder coder(output, indexFile, placed);
    std::string last;
    std::uint64_t lastPrefix[2] = {};
    std::uint32_t lastLine = 0;
    bool any = false;
    while (!queue.empty()) {
        const std::size_t source = queue.top();
        queue.pop();
        const Record &head = heads[source];
        // The first listing of a name in the merge is its best one.
        if (!any || head.prefix[0] != lastPrefix[0] || head.prefix[1] != lastPrefix[1] ||
            head.name != last) {
            coder.Add(head.name, head.facts, head.rank);
            last = head.name;
            lastPrefix[0] = head.prefix[0];
            lastPrefix[1] = head.prefix[1];
            lastLine = head.line;
            any = true;
        } else {
            duplicates_.Add(lastLine, head.line);
        }
        if (advance(source))
            queue.push(source);
    }
    const BlockEncoder &encoder = coder.Finish();
    if (encoder.Count() > std::numeric_limits<std::uint32_t>::max())
        throw EImportError("too many names for one index (at most 4,294,967,295)");
    const std::uint64_t blocksBytes = output.Written();
    const std::uint64_t indexOffset = AlignTo8(sizeof(NameSectionHeader) + blocksBytes);
    const std::uint64_t padding = indexOffset - sizeof(NameSectionHeader) - blocksBytes;
    const char zeros[8] = {};
    output.Append(zeros, padding);
    const std::uint64_t indexBytes =
        WriteBlockIndex(output, indexFile, encoder.Blocks(), blocksBytes);
    output.Flush();

    NameSectionHeader header{};
    std::memcpy(header.magic, kNameSectionMagic, sizeof header.magic);
    header.nameCount = encoder.Count();
    header.namesPerBlock = kNamesPerBlock;
    header.coding = static_cast<std::uint32_t>(NameCoding::PackedKeys);
    header.blockCount = encoder.Blocks();
    header.blocksBytes = blocksBytes;
    header.indexOffset = indexOffset;
    file.WriteAt(offset, std::string_view(reinterpret_cast<const char *>(&header), sizeof header));
    return indexOffset + indexBytes;
}

} // namespace rankindex
