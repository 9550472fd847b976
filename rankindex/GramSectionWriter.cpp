#include "rankindex/GramSectionWriter.h"

#include "rankindex/GramSection.h"
#include "rankindex/ImportError.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <queue>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace rankindex {
namespace {

constexpr std::size_t kOutputBufferBytes = 1 << 20;
constexpr std::size_t kTemporaryBufferBytes = 1 << 16;
constexpr std::uint64_t kCheckEvery = 1 << 20;

std::uint64_t AlignTo8(std::uint64_t offset) {
    return (offset + 7) & ~std::uint64_t{7};
}

// An unnamed temporary file beside the index, written and then read back through a buffer.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::filesystem::path &folder) : buffer_(kTemporaryBufferBytes) {
        std::string pattern = (folder / ".nimbrel-grams-XXXXXX").string();
        const int descriptor = ::mkstemp(pattern.data());
        if (descriptor < 0)
            throw EImportError("cannot create a temporary file in " + folder.string());
        ::unlink(pattern.c_str());
        file_ = ::fdopen(descriptor, "w+b");
        if (!file_) {
            ::close(descriptor);
            throw EImportError("cannot create a temporary file in " + folder.string());
        }
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    }
    ~TemporaryFile() { std::fclose(file_); }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    void Put(const void *bytes, std::size_t size) {
        if (std::fwrite(bytes, 1, size, file_) != size)
            throw EImportError(std::string("cannot write a temporary file: ") +
                               std::strerror(errno));
    }
    // False at the end; EImportError when the file ends inside the bytes.
    bool Get(void *bytes, std::size_t size) {
        const std::size_t read = std::fread(bytes, 1, size, file_);
        if (read != 0 && read != size)
            throw EImportError("a temporary file of the import came back short");
        return read == size && size != 0;
    }
    // Up to size bytes; how many came, 0 at the end.
    std::size_t GetSome(void *bytes, std::size_t size) { return std::fread(bytes, 1, size, file_); }
    // A LEB128 number; EImportError when the file ends inside it.
    std::uint64_t GetNumber() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const int byte = getc_unlocked(file_);
            if (byte == EOF)
                throw EImportError("a temporary file of the import came back short");
            value |= std::uint64_t(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                return value;
        }
        throw EImportError("a temporary file of the import came back damaged");
    }
    void Rewind() {
        if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
            throw EImportError(std::string("cannot read a temporary file: ") +
                               std::strerror(errno));
    }

private:
    std::vector<char> buffer_;
    std::FILE *file_ = nullptr;
};

// Appends at its own place in the index through a buffer.
class Output {
public:
    Output(platform::AtomicFileWriter &file, std::uint64_t offset) : file_(file), offset_(offset) {
        buffer_.reserve(kOutputBufferBytes);
    }
    void Append(const void *bytes, std::size_t size) {
        if (buffer_.size() + size > kOutputBufferBytes)
            Flush();
        buffer_.append(static_cast<const char *>(bytes), size);
        written_ += size;
    }
    void AppendNumber(std::uint64_t value) {
        unsigned char bytes[10];
        std::size_t length = 0;
        for (; value >= 0x80; value >>= 7)
            bytes[length++] = static_cast<unsigned char>(value | 0x80);
        bytes[length++] = static_cast<unsigned char>(value);
        Append(bytes, length);
    }
    void Flush() {
        file_.WriteAt(offset_, buffer_);
        offset_ += buffer_.size();
        buffer_.clear();
    }
    std::uint64_t Written() const { return written_; }

private:
    platform::AtomicFileWriter &file_;
    std::uint64_t offset_;
    std::string buffer_;
    std::uint64_t written_ = 0;
};

void AppendNumber(std::string &out, std::uint64_t value) {
    for (; value >= 0x80; value >>= 7)
        out += static_cast<char>(value | 0x80);
    out += static_cast<char>(value);
}

// Sorts 64-bit numbers of any count in runs of bounded size and hands them back merged.
class NumberSorter {
public:
    NumberSorter(const std::filesystem::path &folder, std::size_t runBytes)
        : folder_(folder), runNumbers_(std::max<std::size_t>(runBytes / 8, 1024)) {}

    void Add(std::uint64_t number) {
        if (run_.size() == runNumbers_)
            Spill();
        run_.push_back(number);
    }
    // Ends the adding; Next then hands the numbers back in order.
    void Finish() {
        if (!run_.empty())
            Spill();
        std::vector<std::uint64_t>().swap(run_);
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            runs_[i]->Rewind();
            Advance(i);
        }
    }
    bool Next(std::uint64_t &number) {
        if (heap_.empty())
            return false;
        const auto [value, run] = heap_.top();
        heap_.pop();
        number = value;
        Advance(run);
        return true;
    }

private:
    void Spill() {
        std::sort(run_.begin(), run_.end());
        auto file = std::make_unique<TemporaryFile>(folder_);
        file->Put(run_.data(), run_.size() * sizeof(std::uint64_t));
        runs_.push_back(std::move(file));
        run_.clear();
    }
    void Advance(std::size_t run) {
        std::uint64_t value = 0;
        if (runs_[run]->Get(&value, sizeof value))
            heap_.push({value, run});
    }

    std::filesystem::path folder_;
    std::size_t runNumbers_;
    std::vector<std::uint64_t> run_;
    std::vector<std::unique_ptr<TemporaryFile>> runs_;
    using Head = std::pair<std::uint64_t, std::size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heap_;
};

// One trigram's piece of list in a run: the ranks after the first are in the run's list file.
struct RunEntry {
    std::uint32_t gram;
    std::uint32_t ranks;
    std::uint32_t firstRank;
    std::uint32_t lastRank;
    std::uint64_t bytes;
};

// Sorts (key, rank) pairs by key and then rank: stable counting passes of 13 bits each, first
// over the rank's bits in use, then two over the key, as keys are below 2^25. Five passes for up
// to 2^26 names instead of a comparison sort's twenty-odd.
void SortPairs(std::vector<std::uint64_t> &pairs, std::vector<std::uint64_t> &scratch,
               int rankBits) {
    constexpr int kBits = 13;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    scratch.resize(pairs.size());
    std::vector<std::size_t> starts(kBuckets);
    std::vector<int> shifts;
    for (int shift = 0; shift < rankBits; shift += kBits)
        shifts.push_back(shift);
    shifts.insert(shifts.end(), {32, 32 + kBits});
    for (const int shift : shifts) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const std::uint64_t pair : pairs)
            ++starts[(pair >> shift) & (kBuckets - 1)];
        std::size_t sum = 0;
        for (std::size_t &start : starts)
            sum += std::exchange(start, sum);
        for (const std::uint64_t pair : pairs)
            scratch[starts[(pair >> shift) & (kBuckets - 1)]++] = pair;
        pairs.swap(scratch);
    }
}

// The (trigram, rank) pairs in runs, each a list file and its directory. Names come in the names
// section's order, so a run's ranks are anywhere in the whole range: the final list of a trigram
// is its pieces from all runs merged. A run of n pairs takes 16n bytes while it is sorted.
class ListRuns {
public:
    ListRuns(const std::filesystem::path &folder, std::size_t runBytes, std::uint64_t nameCount)
        : folder_(folder), runPairs_(std::max<std::size_t>(runBytes / 16, 1024)),
          rankBits_(static_cast<int>(std::bit_width(nameCount))) {
        pairs_.reserve(runPairs_);
    }

    std::size_t RunPairs() const { return runPairs_; }
    void Add(std::uint64_t pair) {
        if (pairs_.size() == runPairs_)
            Spill();
        pairs_.push_back(pair);
    }
    // Ends a run here, so that the next pairs go to runs of their own.
    void EndRun() {
        if (!pairs_.empty())
            Spill();
    }
    // Writes the merged lists; their directory goes to the given file. Returns the trigrams.
    std::uint64_t WriteTo(Output &lists, TemporaryFile &directory) {
        if (!pairs_.empty())
            Spill();
        std::vector<std::uint64_t>().swap(pairs_);
        std::vector<std::uint64_t>().swap(scratch_);
        std::vector<Run> runs(files_.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            files_[i].first->Rewind();
            files_[i].second->Rewind();
            runs[i].valid = files_[i].first->Get(&runs[i].entry, sizeof(RunEntry));
        }
        std::uint64_t grams = 0;
        std::vector<std::size_t> holding;
        for (;;) {
            std::uint32_t gram = 0xFFFFFFFFu;
            for (const Run &run : runs) {
                if (run.valid)
                    gram = std::min(gram, run.entry.gram);
            }
            if (gram == 0xFFFFFFFFu)
                break;
            holding.clear();
            std::uint64_t ranks = 0;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                if (runs[i].valid && runs[i].entry.gram == gram) {
                    holding.push_back(i);
                    ranks += runs[i].entry.ranks;
                }
            }
            const std::uint64_t start = lists.Written();
            if (InRankOrder(runs, holding)) {
                std::uint64_t next = 0;
                for (const std::size_t i : holding)
                    next = CopyPiece(runs[i], i, next, lists);
            } else {
                MergePieces(runs, holding, lists);
            }
            for (const std::size_t i : holding)
                runs[i].valid = files_[i].first->Get(&runs[i].entry, sizeof(RunEntry));
            const std::array<std::uint32_t, 2> head{gram, static_cast<std::uint32_t>(ranks)};
            directory.Put(head.data(), sizeof head);
            directory.Put(&start, sizeof start);
            ++grams;
        }
        return grams;
    }

private:
    struct Run {
        RunEntry entry{};
        bool valid = false;
    };

    // Whether each run's piece of the trigram's list comes after the one before, as when the runs
    // hold ranks of one range each.
    static bool InRankOrder(const std::vector<Run> &runs, const std::vector<std::size_t> &holding) {
        for (std::size_t j = 1; j < holding.size(); ++j) {
            if (runs[holding[j]].entry.firstRank <= runs[holding[j - 1]].entry.lastRank)
                return false;
        }
        return true;
    }

    // A piece after all ranks before next: its coded gaps are the list's as they stand. Returns
    // the next rank the list may hold.
    std::uint64_t CopyPiece(const Run &run, std::size_t index, std::uint64_t next, Output &lists) {
        lists.AppendNumber(run.entry.firstRank - next);
        copy_.resize(kTemporaryBufferBytes);
        for (std::uint64_t left = run.entry.bytes; left > 0;) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, copy_.size()));
            if (!files_[index].second->Get(copy_.data(), take))
                throw EImportError("a temporary file of the import came back short");
            lists.Append(copy_.data(), take);
            left -= take;
        }
        return std::uint64_t{run.entry.lastRank} + 1;
    }

    // The runs' pieces of one trigram's list merged by rank: each piece is read once, in order.
    // The heads are a heap whose top is replaced by its run's next rank, one sift down a step.
    void MergePieces(const std::vector<Run> &runs, const std::vector<std::size_t> &holding,
                     Output &lists) {
        heads_.clear();
        for (const std::size_t i : holding)
            heads_.push_back({runs[i].entry.firstRank, runs[i].entry.ranks - 1, i});
        std::make_heap(heads_.begin(), heads_.end(), After);
        std::uint64_t next = 0;
        while (!heads_.empty()) {
            PieceHead &top = heads_.front();
            lists.AppendNumber(top.rank - next);
            next = std::uint64_t{top.rank} + 1;
            if (top.left == 0) {
                std::pop_heap(heads_.begin(), heads_.end(), After);
                heads_.pop_back();
                continue;
            }
            --top.left;
            const std::uint64_t following = next + files_[top.run].second->GetNumber();
            if (following > 0xFFFFFFFFu)
                throw EImportError("a temporary file of the import came back damaged");
            top.rank = static_cast<std::uint32_t>(following);
            SiftDown();
        }
    }

    struct PieceHead {
        std::uint32_t rank;
        std::uint32_t left;
        std::size_t run;
    };
    static bool After(const PieceHead &a, const PieceHead &b) { return a.rank > b.rank; }

    void SiftDown() {
        const std::size_t size = heads_.size();
        for (std::size_t at = 0;;) {
            std::size_t least = at;
            for (const std::size_t child : {2 * at + 1, 2 * at + 2}) {
                if (child < size && heads_[child].rank < heads_[least].rank)
                    least = child;
            }
            if (least == at)
                return;
            std::swap(heads_[at], heads_[least]);
            at = least;
        }
    }

    void Spill() {
        SortPairs(pairs_, scratch_, rankBits_);
        auto entries = std::make_unique<TemporaryFile>(folder_);
        auto bytes = std::make_unique<TemporaryFile>(folder_);
        std::string coded;
        for (std::size_t i = 0; i < pairs_.size();) {
            RunEntry entry{};
            entry.gram = static_cast<std::uint32_t>(pairs_[i] >> 32);
            entry.firstRank = static_cast<std::uint32_t>(pairs_[i]);
            entry.lastRank = entry.firstRank;
            entry.ranks = 1;
            coded.clear();
            for (++i; i < pairs_.size() && pairs_[i] >> 32 == entry.gram; ++i) {
                const auto rank = static_cast<std::uint32_t>(pairs_[i]);
                AppendNumber(coded, rank - entry.lastRank - 1);
                entry.lastRank = rank;
                ++entry.ranks;
            }
            entry.bytes = coded.size();
            entries->Put(&entry, sizeof entry);
            bytes->Put(coded.data(), coded.size());
        }
        files_.emplace_back(std::move(entries), std::move(bytes));
        pairs_.clear();
    }

    std::filesystem::path folder_;
    std::size_t runPairs_;
    int rankBits_;
    std::vector<std::uint64_t> pairs_;
    std::vector<std::uint64_t> scratch_;
    std::vector<char> copy_;
    std::vector<PieceHead> heads_;
    std::vector<std::pair<std::unique_ptr<TemporaryFile>, std::unique_ptr<TemporaryFile>>> files_;
};

// The keys of the lists a stored name goes on, sorted, into `keys`: the distinct trigrams of its
// name part and its suffix; none for a name of one label, which no query can match.
void KeysOf(std::string_view reversedName, std::vector<std::uint32_t> &keys) {
    keys.clear();
    const std::size_t dot = reversedName.find('.');
    if (dot == std::string_view::npos)
        return;
    keys.push_back(SuffixKey(reversedName.substr(0, dot)));
    const std::string_view text = GramText(reversedName);
    for (std::size_t at = 0; at + kGramLength <= text.size(); ++at)
        keys.push_back(GramKey(text, at));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

// Hands every name of the section to `use` in the section's order; EImportError when the
// section holds other than the names its header counts.
template <typename Use> void ForEachName(const NameSection &names, Use &&use) {
    std::uint64_t count = 0;
    for (std::uint64_t block = 0; block < names.BlockCount(); ++block) {
        NameBlockReader reader = names.Block(block);
        std::string_view name;
        NameFacts facts;
        for (; reader.Next(name, facts); ++count)
            use(name, facts);
    }
    if (count != names.NameCount())
        throw EImportError("the names section of the import came back damaged");
}

// The names section's bytes mapped for reading back; unmapped with the object.
class ReadMapping {
public:
    ReadMapping(int descriptor, std::size_t size) : size_(size) {
        void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
        if (mapped == MAP_FAILED)
            throw EImportError(std::string("cannot read the index back: ") + std::strerror(errno));
        data_ = static_cast<const unsigned char *>(mapped);
    }
    ~ReadMapping() { ::munmap(const_cast<unsigned char *>(data_), size_); }
    ReadMapping(const ReadMapping &) = delete;
    ReadMapping &operator=(const ReadMapping &) = delete;
    const unsigned char *Data() const { return data_; }

private:
    const unsigned char *data_ = nullptr;
    std::size_t size_;
};

} // namespace

GramSectionWriter::GramSectionWriter(const std::filesystem::path &folder, std::size_t runBytes)
    : folder_(folder.empty() ? std::filesystem::path(".") : folder), runBytes_(runBytes) {}

std::uint64_t GramSectionWriter::WriteTo(platform::AtomicFileWriter &file, const NameSection &names,
                                         std::uint64_t offset, const GoOn &goOn) {
    auto check = [&](std::uint64_t done) {
        if (done % kCheckEvery == 0 && goOn && !goOn())
            throw EImportCancelled("import cancelled");
    };
    // Each sort's merge feeds the next sort's runs, so two hold memory at once: each gets half.
    // Every pass reads the names section in order; reading a name by its rank would jump about it.
    Output map(file, offset + sizeof(GramSectionHeader));
    NumberSorter places(folder_, runBytes_ / 2);
    std::uint64_t mostPairs = 0; // the trigrams and suffix of every name part, counted over
    {
        NumberSorter order(folder_, runBytes_ / 2);
        std::uint64_t place = 0;
        ForEachName(names, [&](std::string_view name, const NameFacts &facts) {
            check(place);
            order.Add(std::uint64_t{facts.harmonicPosition} << 32 | place++);
            mostPairs += GramText(name).size() + 1;
        });
        order.Finish();
        std::uint64_t key = 0;
        for (std::uint32_t rank = 0; order.Next(key); ++rank) {
            check(rank);
            const auto at = static_cast<std::uint32_t>(key);
            map.Append(&at, sizeof at);
            places.Add(std::uint64_t{at} << 32 | rank);
        }
        map.Flush();
    }
    places.Finish();

    // The (trigram, rank) pairs go to files by range of ranks, each range about a run's worth, so
    // that each run holds ranks after the runs before and the final merge only copies pieces.
    ListRuns runs(folder_, runBytes_ / 2, names.NameCount());
    const std::uint64_t ranges =
        std::max<std::uint64_t>((mostPairs + runs.RunPairs() - 1) / runs.RunPairs(), 1);
    const std::uint64_t ranksPerRange =
        std::max<std::uint64_t>((names.NameCount() + ranges - 1) / ranges, 1);
    std::vector<std::unique_ptr<TemporaryFile>> byRange;
    for (std::uint64_t i = 0; i < ranges; ++i)
        byRange.push_back(std::make_unique<TemporaryFile>(folder_));
    std::vector<std::uint32_t> grams;
    std::uint64_t place = 0;
    ForEachName(names, [&](std::string_view name, const NameFacts &) {
        check(place);
        std::uint64_t key = 0;
        if (!places.Next(key) || key >> 32 != place++)
            throw EImportError("the names section of the import came back damaged");
        const auto rank = static_cast<std::uint32_t>(key);
        KeysOf(name, grams);
        TemporaryFile &range = *byRange[rank / ranksPerRange];
        for (const std::uint32_t gram : grams) {
            const std::uint64_t pair = std::uint64_t{gram} << 32 | rank;
            range.Put(&pair, sizeof pair);
        }
    });
    std::vector<std::uint64_t> chunk(kTemporaryBufferBytes / 8);
    for (std::unique_ptr<TemporaryFile> &range : byRange) {
        range->Rewind();
        while (const std::size_t bytes = range->GetSome(chunk.data(), chunk.size() * 8)) {
            if (bytes % 8 != 0)
                throw EImportError("a temporary file of the import came back short");
            for (std::size_t i = 0; i < bytes / 8; ++i)
                runs.Add(chunk[i]);
        }
        runs.EndRun();
        range.reset();
    }

    GramSectionHeader header{};
    std::memcpy(header.magic, kGramSectionMagic, sizeof header.magic);
    header.nameCount = names.NameCount();
    header.listsOffset = sizeof header + header.nameCount * 4;
    Output lists(file, offset + header.listsOffset);
    TemporaryFile directory(folder_);
    header.gramCount = runs.WriteTo(lists, directory);
    header.listsBytes = lists.Written();
    header.directoryOffset = AlignTo8(header.listsOffset + header.listsBytes);
    const char zeros[8] = {};
    lists.Append(zeros, header.directoryOffset - header.listsOffset - header.listsBytes);
    directory.Rewind();
    std::array<char, kGramEntryBytes> entry{};
    for (std::uint64_t i = 0; i < header.gramCount; ++i) {
        if (!directory.Get(entry.data(), entry.size()))
            throw EImportError("a temporary file of the import came back short");
        lists.Append(entry.data(), entry.size());
    }
    lists.Flush();
    file.WriteAt(offset, std::string_view(reinterpret_cast<const char *>(&header), sizeof header));
    return header.directoryOffset + header.gramCount * kGramEntryBytes;
}

std::uint64_t AppendGramSection(platform::AtomicFileWriter &file, std::uint64_t namesOffset,
                                std::uint64_t namesBytes, const std::filesystem::path &folder,
                                std::size_t runBytes, const GramSectionWriter::GoOn &goOn) {
    const ReadMapping mapping(file.Descriptor(), namesOffset + namesBytes);
    const auto names = NameSection::Open(mapping.Data() + namesOffset, namesBytes);
    if (!names)
        throw EImportError("the names section of the import came back damaged");
    const std::uint64_t offset = AlignTo8(namesOffset + namesBytes);
    return offset + GramSectionWriter(folder, runBytes).WriteTo(file, *names, offset, goOn);
}

} // namespace rankindex
