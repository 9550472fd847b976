#include "rankindex/GramSectionWriter.h"

#include "rankindex/GramSection.h"
#include "rankindex/ImportError.h"
#include "rankindex/SectionOutput.h"
#include "rankindex/TemporaryFile.h"
#include "rankindex/WorkerPriority.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
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

constexpr std::size_t kTemporaryBufferBytes = 1 << 16;
constexpr std::uint64_t kCheckEvery = 1 << 16; // trigrams written between asking to go on
// A batch of names handed to the thread: large enough that handing costs nothing beside the
// names' work, small enough that two in flight cost little memory.
constexpr std::size_t kBatchNames = 1 << 14;
constexpr std::size_t kBatchBytes = 1 << 20;

std::uint64_t AlignTo8(std::uint64_t offset) {
    return (offset + 7) & ~std::uint64_t{7};
}

// The build's temporary files, with a larger buffer than stdio's: they are read and written in
// long streams.
class BuildFile : public TemporaryFile {
public:
    explicit BuildFile(const std::filesystem::path &folder)
        : TemporaryFile(folder, ".nimbrel-grams", kTemporaryBufferBytes) {}
};

// Codes one list's gaps in Rice's code with parameter k (see GramSection.h) to the output, 32 bits
// at a time.
class RiceList {
public:
    // written counts the bytes put.
    RiceList(BuildFile &out, std::uint64_t &written, unsigned k)
        : out_(out), written_(written), k_(k) {
        const auto byte = static_cast<unsigned char>(k);
        out_.Put(&byte, 1);
        ++written_;
    }
    void Put(std::uint64_t gap) {
        std::uint64_t quotient = gap >> k_;
        for (; quotient >= 32; quotient -= 32)
            PutBits(0, 32);
        PutBits(std::uint64_t{1} << quotient, static_cast<unsigned>(quotient) + 1);
        PutBits(gap & ((std::uint64_t{1} << k_) - 1), k_);
    }
    // Puts the gaps of a run's piece of list, LEB128-coded in [at, end), up to a number the bytes
    // end inside. The bits are held in locals and the words gathered in a block of their own: the
    // members' bits would go through memory for every gap, as the file's Put could change them.
    void PutLeb128(const unsigned char *at, const unsigned char *end) {
        std::uint64_t bits = bits_;
        unsigned held = held_;
        const unsigned k = k_;
        const std::uint64_t low = (std::uint64_t{1} << k) - 1;
        std::array<std::uint32_t, 512> words;
        std::size_t filled = 0;
        // Up to 32 bits. The low word is stored whether or not it is full and kept only when it
        // is, without a branch that would go either way as the gaps come.
        const auto put = [&](std::uint64_t more, unsigned count) {
            bits |= more << held;
            held += count;
            words[filled] = static_cast<std::uint32_t>(bits);
            filled += held >> 5;
            bits >>= held & 32;
            held &= 31;
            if (filled == words.size()) {
                PutWords(words.data(), filled);
                filled = 0;
            }
        };
        while (at < end) {
            std::uint64_t gap = *at++;
            if (gap >= 0x80) {
                gap &= 0x7F;
                bool whole = false;
                for (int shift = 7; at < end && shift < 64 && !whole; shift += 7) {
                    const unsigned char byte = *at++;
                    gap |= std::uint64_t{byte & 0x7Fu} << shift;
                    whole = (byte & 0x80) == 0;
                }
                if (!whole)
                    break;
            }
            std::uint64_t quotient = gap >> k;
            for (; quotient >= 32; quotient -= 32)
                put(0, 32);
            const auto ones = static_cast<unsigned>(quotient) + 1;
            if (ones + k <= 32) {
                put(std::uint64_t{1} << quotient | (gap & low) << ones, ones + k);
            } else {
                put(std::uint64_t{1} << quotient, ones);
                put(gap & low, k);
            }
        }
        PutWords(words.data(), filled);
        bits_ = bits;
        held_ = held;
    }
    // The last bits, padded with zeros to a whole byte.
    void End() {
        const std::size_t bytes = (held_ + 7) / 8;
        const std::uint32_t word = static_cast<std::uint32_t>(bits_);
        out_.Put(&word, bytes);
        written_ += bytes;
        bits_ = 0;
        held_ = 0;
    }

    // The parameter that codes count gaps summing to below span in about the fewest bits: the
    // base-2 logarithm of the median gap of a geometric distribution of that mean. A list whose
    // best would be 1 gets 0: a few more bits a rank on lists of one name in six or denser, the
    // longest of a search (a common suffix's), which are then read as a bitmap of their ranks,
    // three times as fast.
    static unsigned Parameter(std::uint64_t count, std::uint64_t span) {
        const double median = std::log(2.0) * static_cast<double>(span) /
                              static_cast<double>(std::max<std::uint64_t>(count, 1));
        if (median < 4.0)
            return 0;
        return std::min(static_cast<unsigned>(std::floor(std::log2(median))), kMostRiceBits);
    }

private:
    void PutWords(const std::uint32_t *words, std::size_t count) {
        out_.Put(words, count * sizeof *words);
        written_ += count * sizeof *words;
    }
    // Up to 32 bits; fewer than 32 are held between calls.
    void PutBits(std::uint64_t bits, unsigned count) {
        bits_ |= bits << held_;
        held_ += count;
        if (held_ < 32)
            return;
        const auto word = static_cast<std::uint32_t>(bits_);
        out_.Put(&word, sizeof word);
        written_ += sizeof word;
        bits_ >>= 32;
        held_ -= 32;
    }

    BuildFile &out_;
    std::uint64_t &written_;
    unsigned k_;
    std::uint64_t bits_ = 0;
    unsigned held_ = 0;
};

// One trigram's piece of list in a run: the ranks after the first are in the run's list file.
struct RunEntry {
    std::uint32_t gram;
    std::uint32_t ranks;
    std::uint32_t firstRank;
    std::uint32_t lastRank;
    std::uint64_t bytes;
};

// Sorts (key, rank) pairs by key, ranks staying in the order they came: two stable counting
// passes over 13 bits each, as keys are below 2^25. Pairs come with their ranks ascending, so
// this is a full sort, in two passes instead of a comparison sort's twenty-odd.
void SortByKey(std::vector<std::uint64_t> &pairs, std::vector<std::uint64_t> &scratch) {
    constexpr int kBits = 13;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    scratch.resize(pairs.size());
    std::vector<std::size_t> starts(kBuckets);
    for (const int shift : {32, 32 + kBits}) {
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

// The letters of stored names in byte order, numbered from 0: a trigram of them has a dense
// number below kDenseGrams that sorts as its key does, so that a run's pairs of such trigrams
// sort in one counting pass; any other byte gets kNotDense.
constexpr std::uint8_t kNotDense = 0xFF;
constexpr std::uint32_t kNameLetters = 39;
constexpr std::uint32_t kDenseGrams = kNameLetters * kNameLetters * kNameLetters;
constexpr std::array<std::uint8_t, 256> kLetterNumbers = [] {
    std::array<std::uint8_t, 256> numbers{};
    numbers.fill(kNotDense);
    std::uint8_t next = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (c == '-' || c == '.' || (c >= '0' && c <= '9') || c == '_' || (c >= 'a' && c <= 'z'))
            numbers[c] = next++;
    }
    return numbers;
}();
static_assert(kLetterNumbers['z'] == kNameLetters - 1);
static_assert(kNameLetters <= 0x80 && (kNotDense & 0x80) != 0);
static_assert(kDenseGrams <= 0x10000, "a dense number fits 16 bits");

// The trigram key of a dense number.
std::uint32_t KeyOfDense(std::uint32_t dense) {
    static constexpr std::array<char, kNameLetters> kLetters = [] {
        std::array<char, kNameLetters> letters{};
        for (unsigned c = 0; c < 256; ++c) {
            if (kLetterNumbers[c] != kNotDense)
                letters[kLetterNumbers[c]] = static_cast<char>(c);
        }
        return letters;
    }();
    const char text[3] = {kLetters[dense / (kNameLetters * kNameLetters)],
                          kLetters[dense / kNameLetters % kNameLetters],
                          kLetters[dense % kNameLetters]};
    return GramKey(std::string_view(text, 3), 0);
}

// Codes one key's ranks of a run, ascending, as a run entry and its LEB128 gaps; a rank that
// comes twice (a trigram a name holds twice) once. The gaps go to the file through a block of
// bytes written by a pointer rather than appended one at a time.
constexpr std::size_t kCodedBytes = 1 << 14;
template <typename Ranks>
void PutPiece(std::uint32_t key, const Ranks &ranks, std::size_t count,
              std::array<unsigned char, kCodedBytes> &coded, TemporaryFile &entries,
              TemporaryFile &bytes) {
    RunEntry entry{};
    entry.gram = key;
    entry.firstRank = ranks(0);
    entry.lastRank = entry.firstRank;
    entry.ranks = 1;
    unsigned char *out = coded.data();
    unsigned char *const full = coded.data() + coded.size() - 5; // room for one more gap
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint32_t rank = ranks(i);
        if (rank == entry.lastRank)
            continue;
        if (out > full) {
            entry.bytes += static_cast<std::uint64_t>(out - coded.data());
            bytes.Put(coded.data(), static_cast<std::size_t>(out - coded.data()));
            out = coded.data();
        }
        std::uint32_t gap = rank - entry.lastRank - 1;
        for (; gap >= 0x80; gap >>= 7)
            *out++ = static_cast<unsigned char>(gap | 0x80);
        *out++ = static_cast<unsigned char>(gap);
        entry.lastRank = rank;
        ++entry.ranks;
    }
    entry.bytes += static_cast<std::uint64_t>(out - coded.data());
    entries.Put(&entry, sizeof entry);
    bytes.Put(coded.data(), static_cast<std::size_t>(out - coded.data()));
}

} // namespace

// The merged lists in Rice's code and their directory, each in a temporary file, waiting for the
// rank map to be placed before them.
struct GramSectionWriter::MergedLists {
    explicit MergedLists(const std::filesystem::path &folder) : lists(folder), directory(folder) {}
    BuildFile lists;
    BuildFile directory;
    std::uint64_t listsBytes = 0;
    std::uint64_t grams = 0;
};

// The (trigram, rank) pairs in runs, each a list file and its directory; ranks are added in
// order, so a run holds ranks all after those of the runs before it. A run of n pairs takes at
// most 16n bytes while it is put in order (a trigram of name letters about 6).
class GramSectionWriter::Lists {
public:
    Lists(const std::filesystem::path &folder, std::size_t runBytes)
        : folder_(folder), runPairs_(std::max<std::size_t>(runBytes / 16, 1024)),
          denseCounts_(kDenseGrams) {}

    // Puts a stored name on the lists of its suffix and of the trigrams of its name part; a name
    // of one label, which no query can match, on none. A trigram the name holds twice is paired
    // twice: the sort puts the pairs side by side, where Spill drops the second. The name's pairs
    // all go in one run, so that no rank is split between two. Trigrams of name letters are
    // counted by their dense number as they come and kept as that number alone, the name's rank
    // once for all of them; suffixes and other trigrams are paired by key.
    void Add(std::string_view reversedName, std::uint32_t rank) {
        const std::size_t dot = reversedName.find('.');
        if (dot == std::string_view::npos)
            return;
        if (dense_.size() + others_.size() + reversedName.size() > runPairs_)
            Spill();
        const std::size_t firstDense = dense_.size();
        others_.push_back(std::uint64_t{SuffixKey(reversedName.substr(0, dot))} << 32 | rank);
        const std::string_view text = reversedName.substr(dot + 1);
        if (text.size() >= kGramLength)
            AddGrams(text, rank);
        if (dense_.size() > firstDense)
            denseNames_.push_back({rank, static_cast<std::uint32_t>(dense_.size() - firstDense)});
    }
    // The name part's trigrams, one new letter a step: the letters' numbers roll through b and c.
    void AddGrams(std::string_view text, std::uint32_t rank) {
        const auto *letters = reinterpret_cast<const unsigned char *>(text.data());
        std::uint32_t a = 0;
        std::uint32_t b = kLetterNumbers[letters[0]];
        std::uint32_t c = kLetterNumbers[letters[1]];
        for (std::size_t at = 0; at + kGramLength <= text.size(); ++at) {
            a = std::exchange(b, std::exchange(c, kLetterNumbers[letters[at + 2]]));
            // kNotDense alone has the high bit: one test for the three letters.
            if (((a | b | c) & 0x80u) != 0) {
                others_.push_back(std::uint64_t{GramKey(text, at)} << 32 | rank);
                continue;
            }
            const std::uint32_t dense = (a * kNameLetters + b) * kNameLetters + c;
            ++denseCounts_[dense];
            dense_.push_back(static_cast<std::uint16_t>(dense));
        }
    }
    // Merges the runs; a stop asked for ends it with EImportCancelled.
    std::unique_ptr<MergedLists> Merge(const std::stop_token &stop) {
        auto merged = std::make_unique<MergedLists>(folder_);
        merged->grams = WriteTo(merged->lists, merged->listsBytes, merged->directory, stop);
        merged->lists.Rewind();
        merged->directory.Rewind();
        files_.clear();
        return merged;
    }

private:
    // Writes the merged lists; their directory goes to the given file. Returns the trigrams.
    std::uint64_t WriteTo(BuildFile &lists, std::uint64_t &written, BuildFile &directory,
                          const std::stop_token &stop) {
        if (!dense_.empty() || !others_.empty())
            Spill();
        std::vector<std::uint16_t>().swap(dense_);
        std::vector<DenseName>().swap(denseNames_);
        std::vector<std::uint64_t>().swap(others_);
        std::vector<std::uint32_t>().swap(denseRanks_);
        std::vector<std::uint64_t>().swap(scratch_);
        std::vector<Run> runs(files_.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            files_[i].first->Rewind();
            files_[i].second->Rewind();
            runs[i].valid = files_[i].first->Get(&runs[i].entry, sizeof(RunEntry));
        }
        std::uint64_t grams = 0;
        for (;;) {
            std::uint32_t gram = 0xFFFFFFFFu;
            for (const Run &run : runs) {
                if (run.valid)
                    gram = std::min(gram, run.entry.gram);
            }
            if (gram == 0xFFFFFFFFu)
                break;
            if (grams % kCheckEvery == 0 && stop.stop_requested())
                throw EImportCancelled("import cancelled");
            const std::uint64_t start = written;
            std::uint64_t ranks = 0;
            std::uint64_t lastRank = 0;
            for (const Run &run : runs) {
                if (run.valid && run.entry.gram == gram) {
                    ranks += run.entry.ranks;
                    lastRank = run.entry.lastRank;
                }
            }
            RiceList coded(lists, written, RiceList::Parameter(ranks, lastRank + 1));
            std::uint64_t next = 0;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                Run &run = runs[i];
                if (!run.valid || run.entry.gram != gram)
                    continue;
                coded.Put(run.entry.firstRank - next);
                Recode(*files_[i].second, run.entry.bytes, coded);
                next = std::uint64_t{run.entry.lastRank} + 1;
                run.valid = files_[i].first->Get(&run.entry, sizeof(RunEntry));
            }
            coded.End();
            const std::array<std::uint32_t, 2> head{gram, static_cast<std::uint32_t>(ranks)};
            directory.Put(head.data(), sizeof head);
            directory.Put(&start, sizeof start);
            ++grams;
        }
        return grams;
    }

    struct Run {
        RunEntry entry{};
        bool valid = false;
    };

    // A run's piece of list, LEB128-coded in its file, goes on in Rice's code: the gaps are the
    // same numbers.
    void Recode(BuildFile &file, std::uint64_t bytes, RiceList &coded) {
        piece_.resize(bytes);
        if (bytes > 0 && !file.Get(piece_.data(), piece_.size()))
            throw EImportError("a temporary file of the import came back short");
        coded.PutLeb128(piece_.data(), piece_.data() + piece_.size());
    }

    // Writes the run in key order: the dense trigrams' ranks put in place by their counts in one
    // pass, the others sorted, the two merged by key as they are coded.
    void Spill() {
        std::vector<std::uint32_t> &starts = denseCounts_;
        std::uint32_t sum = 0;
        for (std::uint32_t &start : starts)
            sum += std::exchange(start, sum);
        denseRanks_.resize(dense_.size());
        const std::uint16_t *code = dense_.data();
        const std::uint16_t *const last = code + dense_.size();
        // Each store goes to the line of its number's next place, nearly never the last one's:
        // the line of the store kAhead on is asked for now, so that several are on their way.
        constexpr std::size_t kAhead = 64;
        for (const DenseName &name : denseNames_) {
            for (const std::uint16_t *end = code + name.count; code != end; ++code) {
                if (last - code > static_cast<std::ptrdiff_t>(kAhead))
                    __builtin_prefetch(denseRanks_.data() + starts[code[kAhead]], 1);
                denseRanks_[starts[*code]++] = name.rank;
            }
        }
        // starts[d] is now where dense number d's ranks end.
        SortByKey(others_, scratch_);

        auto entries = std::make_unique<BuildFile>(folder_);
        auto bytes = std::make_unique<BuildFile>(folder_);
        std::size_t other = 0;
        const auto putOthersBelow = [&](std::uint64_t key) {
            while (other < others_.size() && others_[other] >> 32 < key) {
                const std::size_t first = other;
                const auto gram = static_cast<std::uint32_t>(others_[first] >> 32);
                while (other < others_.size() && others_[other] >> 32 == gram)
                    ++other;
                PutPiece(
                    gram,
                    [&](std::size_t i) { return static_cast<std::uint32_t>(others_[first + i]); },
                    other - first, coded_, *entries, *bytes);
            }
        };
        std::uint32_t begin = 0;
        for (std::uint32_t dense = 0; dense < kDenseGrams; ++dense) {
            const std::uint32_t end = starts[dense];
            if (end == begin)
                continue;
            const std::uint32_t key = KeyOfDense(dense);
            putOthersBelow(key);
            PutPiece(
                key, [&](std::size_t i) { return denseRanks_[begin + i]; }, end - begin, coded_,
                *entries, *bytes);
            begin = end;
        }
        putOthersBelow(std::uint64_t{1} << 32);
        files_.emplace_back(std::move(entries), std::move(bytes));
        dense_.clear();
        denseNames_.clear();
        others_.clear();
        std::fill(denseCounts_.begin(), denseCounts_.end(), 0);
    }

    std::filesystem::path folder_;
    std::size_t runPairs_;
    // A name's dense trigrams: the last count of dense_.
    struct DenseName {
        std::uint32_t rank;
        std::uint32_t count;
    };
    std::vector<std::uint16_t> dense_; // dense numbers, name after name
    std::vector<DenseName> denseNames_;
    std::vector<std::uint64_t> others_; // (key, rank)
    std::vector<std::uint32_t> denseCounts_;
    std::vector<std::uint32_t> denseRanks_;
    std::vector<std::uint64_t> scratch_;
    std::vector<std::pair<std::unique_ptr<BuildFile>, std::unique_ptr<BuildFile>>> files_;
    std::vector<unsigned char> piece_; // at most a run's pairs in bytes
    std::array<unsigned char, kCodedBytes> coded_{};
};

// The rank map, learnt in the names' order, written through a shared mapping of an unnamed
// temporary file: its pages are the page cache's, which can write them out under pressure, so a
// map of a hundred million ranks (400 MB) does not have to fit in memory beside the sorts.
class GramSectionWriter::RankMap {
public:
    // pendingPlaces: how many stores are gathered before they are made.
    RankMap(const std::filesystem::path &folder, std::uint64_t ranks, std::size_t pendingPlaces)
        : file_(folder), bytes_(ranks * 4) {
        // The file's new bytes read as zeros: every rank maps to no name until placed.
        if (::ftruncate(file_.Descriptor(), static_cast<off_t>(bytes_)) != 0)
            Fail("cannot size a temporary file");
        void *mapped =
            ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, file_.Descriptor(), 0);
        if (mapped == MAP_FAILED)
            Fail("cannot map a temporary file");
        map_ = static_cast<std::uint32_t *>(mapped);
        const auto rankBits = static_cast<unsigned>(std::bit_width(ranks));
        partShift_ = rankBits > kPartBits ? rankBits - kPartBits : 0;
        partStarts_.resize(std::size_t{1} << kPartBits);
        pending_.reserve(pendingPlaces);
    }
    ~RankMap() { ::munmap(map_, bytes_); }
    RankMap(const RankMap &) = delete;
    RankMap &operator=(const RankMap &) = delete;

    // Ranks come in the names' order, which is no order of theirs: stored as they come, nearly
    // each would wait for its line of memory and for its page's address. They are gathered and
    // stored a batch at a time, put in order first by their part of the map, so that each part's
    // stores fall on a few pages.
    void Set(std::uint32_t rank, std::uint32_t value) {
        pending_.push_back(std::uint64_t{rank} << 32 | value);
        if (pending_.size() == pending_.capacity())
            StorePending();
    }
    // Writes the map packed at `bits` bits an entry, padded to RankMapBytes.
    void CopyTo(platform::AtomicFileWriter &file, std::uint64_t offset, unsigned bits) {
        StorePending();
        const std::uint64_t ranks = bytes_ / 4;
        SectionOutput out(file, offset);
        // Whole words gathered in a block of their own, written a block at a time.
        std::array<std::uint32_t, 4096> words;
        std::size_t filledWords = 0;
        std::uint64_t word = 0;
        unsigned filled = 0;
        for (std::uint64_t rank = 0; rank < ranks; ++rank) {
            word |= std::uint64_t{map_[rank]} << filled;
            filled += bits;
            if (filled >= 32) {
                words[filledWords++] = static_cast<std::uint32_t>(word);
                word >>= 32;
                filled -= 32;
                if (filledWords == words.size()) {
                    out.Append(words.data(), sizeof words);
                    filledWords = 0;
                }
            }
        }
        out.Append(words.data(), filledWords * sizeof words[0]);
        out.Append(&word, sizeof word);
        const char zeros[8] = {};
        out.Append(zeros, RankMapBytes(ranks, bits) - out.Written());
        out.Flush();
    }

private:
    static constexpr unsigned kPartBits = 10;

    [[noreturn]] static void Fail(const std::string &what) {
        throw EImportError(what + ": " + std::strerror(errno));
    }
    // One counting pass by part, then the stores part after part.
    void StorePending() {
        std::fill(partStarts_.begin(), partStarts_.end(), 0);
        const unsigned shift = 32 + partShift_;
        for (const std::uint64_t place : pending_)
            ++partStarts_[place >> shift];
        std::uint32_t sum = 0;
        for (std::uint32_t &start : partStarts_)
            sum += std::exchange(start, sum);
        sorted_.resize(pending_.size());
        for (const std::uint64_t place : pending_)
            sorted_[partStarts_[place >> shift]++] = place;
        for (const std::uint64_t place : sorted_)
            map_[place >> 32] = static_cast<std::uint32_t>(place);
        pending_.clear();
    }

    BuildFile file_;
    std::size_t bytes_;
    std::uint32_t *map_ = nullptr;
    unsigned partShift_;                 // a rank's part of the map is rank >> partShift_
    std::vector<std::uint64_t> pending_; // (rank, value), up to its capacity
    std::vector<std::uint64_t> sorted_;  // the same by part
    std::vector<std::uint32_t> partStarts_;
};

GramSectionWriter::GramSectionWriter(const std::filesystem::path &folder, std::size_t runBytes)
    : folder_(folder.empty() ? std::filesystem::path(".") : folder),
      // The rank map's stores gathered take 16 bytes each: a small part of a run's memory.
      pendingPlaces_(std::clamp<std::size_t>(runBytes / 256, 1024, std::size_t{1} << 18)),
      // The lists' runs fill while the names' runs do: they get half of a run's memory.
      lists_(std::make_unique<Lists>(folder_, runBytes / 2)) {
    worker_ = std::jthread([this](std::stop_token stop) { Work(std::move(stop)); });
}

// The thread is stopped and joined first, before the lists and the batches it may be using go.
GramSectionWriter::~GramSectionWriter() {
    worker_.request_stop();
    if (worker_.joinable())
        worker_.join();
}

std::uint32_t GramSectionWriter::Add(std::string_view reversedName,
                                     std::uint32_t harmonicPosition) {
    if (ranks_ >= kNoRank || overflowed_) {
        overflowed_ = true;
        return kNoRank;
    }
    if (harmonicPosition < lastPosition_)
        inPositionOrder_ = false;
    lastPosition_ = harmonicPosition;
    if (filling_.ends.size() == kBatchNames ||
        filling_.text.size() + reversedName.size() > kBatchBytes)
        Hand();
    filling_.text.append(reversedName);
    filling_.ends.push_back(static_cast<std::uint32_t>(filling_.text.size()));
    return static_cast<std::uint32_t>(ranks_++);
}

// The full batch goes to the thread once it has taken the one before; a failure of the thread
// comes out here.
void GramSectionWriter::Hand() {
    handoff_.Hand(filling_);
    filling_.text.clear();
    filling_.ends.clear();
    filling_.firstRank = static_cast<std::uint32_t>(ranks_);
}

void GramSectionWriter::EndAdding() {
    if (ended_)
        return;
    if (!filling_.ends.empty())
        Hand();
    handoff_.Close();
    ended_ = true;
    if (ranks_ > 0 && !overflowed_)
        map_ = std::make_unique<RankMap>(folder_, ranks_, pendingPlaces_);
}

void GramSectionWriter::Place(std::uint32_t rank, std::uint64_t place) {
    ++places_;
    if (map_ && rank < ranks_)
        map_->Set(rank, static_cast<std::uint32_t>(place + 1));
}

// On the thread: batches until the adding ends, then the merge of the runs, which needs nothing
// of the names section and so goes on beside the names' merge; or nothing more once the writer
// goes.
void GramSectionWriter::Work(std::stop_token stop) {
    LowerThisThreadsPriority();
    while (auto batch = handoff_.Take(stop)) {
        try {
            std::uint32_t begin = 0;
            std::uint32_t rank = batch->firstRank;
            for (const std::uint32_t end : batch->ends) {
                lists_->Add(std::string_view(batch->text).substr(begin, end - begin), rank);
                begin = end;
                ++rank;
            }
        } catch (...) {
            handoff_.Fail(std::current_exception());
            return;
        }
        handoff_.GiveBack(std::move(*batch));
    }
    // No batch is left: the adding ended, or the writer goes and wants nothing more.
    if (stop.stop_requested())
        return;
    try {
        merged_ = lists_->Merge(stop);
    } catch (...) {
        handoff_.Fail(std::current_exception());
    }
}

// Waits for the thread to finish the names; its failure comes out here.
void GramSectionWriter::Finish() {
    EndAdding();
    if (worker_.joinable())
        worker_.join();
    handoff_.Rethrow();
}

std::uint64_t GramSectionWriter::WriteTo(platform::AtomicFileWriter &file, std::uint64_t offset,
                                         const GoOn &goOn) {
    Finish();
    if (!map_ || places_ == 0 || places_ > 0xFFFFFFFFu)
        return 0;
    if (goOn && !goOn())
        throw EImportCancelled("import cancelled");
    GramSectionHeader header{};
    std::memcpy(header.magic, kGramSectionMagic, sizeof header.magic);
    header.nameCount = places_;
    header.rankCount = ranks_;
    header.flags = inPositionOrder_ ? std::uint32_t{kRanksInPositionOrder} : 0;
    header.mapBits = static_cast<std::uint32_t>(std::bit_width(places_));
    header.listsOffset = sizeof header + RankMapBytes(ranks_, header.mapBits);
    map_->CopyTo(file, offset + sizeof header, header.mapBits);
    map_.reset();
    if (goOn && !goOn())
        throw EImportCancelled("import cancelled");

    header.gramCount = merged_->grams;
    header.listsBytes = merged_->listsBytes;
    header.directoryOffset = AlignTo8(header.listsOffset + header.listsBytes);
    const std::uint64_t directoryBytes = header.gramCount * kGramEntryBytes;
    file.CopyAt(offset + header.listsOffset, merged_->lists.Descriptor(), header.listsBytes);
    const char zeros[8] = {};
    file.WriteAt(
        offset + header.listsOffset + header.listsBytes,
        std::string_view(zeros, header.directoryOffset - header.listsOffset - header.listsBytes));
    file.CopyAt(offset + header.directoryOffset, merged_->directory.Descriptor(), directoryBytes);
    merged_.reset();
    file.WriteAt(offset, std::string_view(reinterpret_cast<const char *>(&header), sizeof header));
    return header.directoryOffset + directoryBytes;
}

} // namespace rankindex
