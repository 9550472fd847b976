#include "rankindex/GramSectionWriter.h"

#include "rankindex/GramSection.h"
#include "rankindex/ImportError.h"
#include "rankindex/TemporaryFile.h"

#include <algorithm>
#include <array>
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

// The build's temporary files, with a larger buffer than stdio's: they are read and written in
// long streams.
class BuildFile : public TemporaryFile {
public:
    explicit BuildFile(const std::filesystem::path &folder)
        : TemporaryFile(folder, ".nimbrel-grams", kTemporaryBufferBytes) {}
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
        auto file = std::make_unique<BuildFile>(folder_);
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
    std::vector<std::unique_ptr<BuildFile>> runs_;
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

// The (trigram, rank) pairs in runs, each a list file and its directory; ranks are added in
// order, so a run holds ranks all after those of the runs before it. A run of n pairs takes 16n
// bytes while it is sorted.
class ListRuns {
public:
    ListRuns(const std::filesystem::path &folder, std::size_t runBytes)
        : folder_(folder), runPairs_(std::max<std::size_t>(runBytes / 16, 1024)) {
        pairs_.reserve(runPairs_);
    }

    void Add(std::uint32_t gram, std::uint32_t rank) {
        if (pairs_.size() == runPairs_)
            Spill();
        pairs_.push_back(std::uint64_t{gram} << 32 | rank);
    }
    // Writes the merged lists; their directory goes to the given file. Returns the trigrams.
    std::uint64_t WriteTo(Output &lists, BuildFile &directory) {
        if (!pairs_.empty())
            Spill();
        std::vector<std::uint64_t>().swap(pairs_);
        std::vector<Run> runs(files_.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            files_[i].first->Rewind();
            files_[i].second->Rewind();
            runs[i].valid = files_[i].first->Get(&runs[i].entry, sizeof(RunEntry));
        }
        std::uint64_t grams = 0;
        std::vector<char> copy(kTemporaryBufferBytes);
        for (;;) {
            std::uint32_t gram = 0xFFFFFFFFu;
            for (const Run &run : runs) {
                if (run.valid)
                    gram = std::min(gram, run.entry.gram);
            }
            if (gram == 0xFFFFFFFFu)
                break;
            const std::uint64_t start = lists.Written();
            std::uint64_t ranks = 0;
            std::uint64_t next = 0;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                Run &run = runs[i];
                if (!run.valid || run.entry.gram != gram)
                    continue;
                lists.AppendNumber(run.entry.firstRank - next);
                for (std::uint64_t left = run.entry.bytes; left > 0;) {
                    const std::size_t take =
                        static_cast<std::size_t>(std::min<std::uint64_t>(left, copy.size()));
                    if (!files_[i].second->Get(copy.data(), take))
                        throw EImportError("a temporary file of the import came back short");
                    lists.Append(copy.data(), take);
                    left -= take;
                }
                ranks += run.entry.ranks;
                next = std::uint64_t{run.entry.lastRank} + 1;
                run.valid = files_[i].first->Get(&run.entry, sizeof(RunEntry));
            }
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

    void Spill() {
        SortByKey(pairs_, scratch_);
        auto entries = std::make_unique<BuildFile>(folder_);
        auto bytes = std::make_unique<BuildFile>(folder_);
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
    std::vector<std::uint64_t> pairs_;
    std::vector<std::uint64_t> scratch_;
    std::vector<std::pair<std::unique_ptr<BuildFile>, std::unique_ptr<BuildFile>>> files_;
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
    // The ranks' merge feeds the lists' runs, so both sorts hold memory at once: each gets half.
    NumberSorter order(folder_, runBytes_ / 2);
    std::uint64_t place = 0;
    for (std::uint64_t block = 0; block < names.BlockCount(); ++block) {
        NameBlockReader reader = names.Block(block);
        std::string_view name;
        NameFacts facts;
        while (reader.Next(name, facts)) {
            check(place);
            order.Add(std::uint64_t{facts.harmonicPosition} << 32 | place++);
        }
    }
    if (place != names.NameCount())
        throw EImportError("the names section of the import came back damaged");
    order.Finish();

    Output map(file, offset + sizeof(GramSectionHeader));
    ListRuns runs(folder_, runBytes_ / 2);
    std::vector<std::uint32_t> grams;
    std::uint64_t key = 0;
    for (std::uint32_t rank = 0; order.Next(key); ++rank) {
        check(rank);
        const auto at = static_cast<std::uint32_t>(key);
        map.Append(&at, sizeof at);
        NameBlockReader reader = names.Block(at / names.NamesPerBlock());
        std::string_view name;
        NameFacts facts;
        for (std::uint64_t skip = at % names.NamesPerBlock() + 1; skip > 0; --skip) {
            if (!reader.Next(name, facts))
                throw EImportError("the names section of the import came back damaged");
        }
        KeysOf(name, grams);
        for (const std::uint32_t gram : grams)
            runs.Add(gram, rank);
    }
    map.Flush();

    GramSectionHeader header{};
    std::memcpy(header.magic, kGramSectionMagic, sizeof header.magic);
    header.nameCount = names.NameCount();
    header.listsOffset = sizeof header + header.nameCount * 4;
    Output lists(file, offset + header.listsOffset);
    BuildFile directory(folder_);
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
