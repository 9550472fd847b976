#include "rankindex/NameSection.h"

#include "base/DomainNameLimits.h"
#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cstring>
#include <string.h> // memrchr

namespace rankindex {
namespace {

char Lower(char c) {
    // Without a branch: the bit that makes a capital small, set only for capitals.
    const bool capital = static_cast<unsigned char>(c - 'A') < 26;
    return static_cast<char>(c | (capital << 5));
}

// The parts of a block in the packed coding, once they are known to lie inside the block.
struct PackedBlock {
    const unsigned char *bits;
    std::uint64_t bitsBytes;
    const unsigned char *names;
    std::uint32_t harmonicWidth;
    std::uint32_t pageRankWidth;
    std::uint32_t hostsWidth;
    std::uint64_t count;
};

std::optional<PackedBlock> OpenPackedBlock(const unsigned char *begin, const unsigned char *end,
                                           std::uint64_t count) {
    if (end - begin < static_cast<std::ptrdiff_t>(kPackedBlockHeaderBytes))
        return std::nullopt;
    PackedBlock block{};
    block.harmonicWidth = begin[0];
    block.pageRankWidth = begin[1];
    block.hostsWidth = begin[2];
    if (block.harmonicWidth > kMaxNumberBits || block.pageRankWidth > kMaxNumberBits ||
        block.hostsWidth > kMaxNumberBits)
        return std::nullopt;
    block.bits = begin + kPackedBlockHeaderBytes;
    block.bitsBytes =
        (count * (block.harmonicWidth + block.pageRankWidth + block.hostsWidth) + 7) / 8;
    if (block.bitsBytes > static_cast<std::uint64_t>(end - block.bits))
        return std::nullopt;
    block.names = block.bits + block.bitsBytes;
    block.count = count;
    return block;
}

// width bits from bit `at` on, the lowest first; at + width lies inside the bits.
std::uint32_t ReadBits(const PackedBlock &block, std::uint64_t at, std::uint32_t width) {
    if (width == 0)
        return 0;
    const std::uint64_t byte = at / 8;
    std::uint64_t word = 0;
    // A read of a known size is a single load; only the last bytes of the bits are read apart.
    if (block.bitsBytes - byte >= sizeof word)
        std::memcpy(&word, block.bits + byte, sizeof word);
    else
        for (std::uint64_t i = byte; i < block.bitsBytes; ++i)
            word |= std::uint64_t{block.bits[i]} << (8 * (i - byte));
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    return static_cast<std::uint32_t>((word >> (at % 8)) & mask);
}

// The numbers of the place-th name of a block, each at its width after those of the names before.
NameFacts ReadNumbers(const PackedBlock &block, std::uint64_t place) {
    const std::uint64_t pageRanks = block.count * block.harmonicWidth;
    const std::uint64_t hosts = pageRanks + block.count * block.pageRankWidth;
    NameFacts facts;
    facts.harmonicPosition = ReadBits(block, place * block.harmonicWidth, block.harmonicWidth);
    facts.pageRankPosition =
        ReadBits(block, pageRanks + place * block.pageRankWidth, block.pageRankWidth);
    facts.hosts = ReadBits(block, hosts + place * block.hostsWidth, block.hostsWidth);
    return facts;
}

// A name's two lengths (shared with the name before, then its own bytes); the bytes they take, 0
// when the block ends first.
std::size_t ReadLengths(NameCoding coding, const unsigned char *at, const unsigned char *end,
                        std::size_t &shared, std::size_t &rest) {
    const std::size_t left = static_cast<std::size_t>(end - at);
    if (coding == NameCoding::Packed && left >= 1 && at[0] != kLongLengths) {
        shared = at[0] >> 4;
        rest = at[0] & 0x0F;
        return 1;
    }
    const std::size_t skip = coding == NameCoding::Packed ? 1 : 0;
    if (left < skip + 2)
        return 0;
    shared = at[skip];
    rest = at[skip + 1];
    return skip + 2;
}

} // namespace

std::uint64_t NamePrefixKey(std::string_view reversedName, std::size_t from) {
    if (from <= reversedName.size() && reversedName.size() - from >= 8) {
        std::uint64_t bytes;
        std::memcpy(&bytes, reversedName.data() + from, sizeof bytes);
        return __builtin_bswap64(bytes);
    }
    std::uint64_t key = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        key = (key << 8) |
              (i < reversedName.size() ? static_cast<unsigned char>(reversedName[i]) : 0);
    return key;
}

std::string TurnLabels(std::string_view name) {
    std::string turned;
    turned.reserve(name.size());
    while (!name.empty()) {
        const std::size_t dot = name.rfind('.');
        const std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
        if (!turned.empty())
            turned += '.';
        turned.append(name.substr(start));
        name.remove_suffix(name.size() - (dot == std::string_view::npos ? 0 : dot));
    }
    return turned;
}

std::optional<std::string> StoredName(std::string_view name) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    if (name.size() > base::kLongestDomainName)
        return std::nullopt;
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
    return TurnLabels(lower);
}

NameBlockReader::NameBlockReader(const unsigned char *begin, const unsigned char *end,
                                 NameCoding coding, std::uint64_t count)
    : at_(begin), end_(end), coding_(coding), count_(count) {
    if (coding_ == NameCoding::Fixed)
        return;
    const auto block = OpenPackedBlock(begin, end, count);
    if (!block) {
        Stop();
        return;
    }
    at_ = block->names;
    bits_ = block->bits;
    bitsBytes_ = block->bitsBytes;
    harmonicWidth_ = block->harmonicWidth;
    pageRankWidth_ = block->pageRankWidth;
    hostsWidth_ = block->hostsWidth;
}

bool NameBlockReader::Stop() {
    at_ = end_;
    index_ = count_;
    return false;
}

// The next name's bytes, with numbersBytes after them that the caller reads.
bool NameBlockReader::NextName(std::string_view &name, std::size_t numbersBytes) {
    std::size_t shared = 0;
    std::size_t rest = 0;
    const std::size_t taken =
        index_ < count_ ? ReadLengths(coding_, at_, end_, shared, rest) : std::size_t{0};
    if (taken == 0 || shared > length_ || shared + rest > sizeof name_ ||
        static_cast<std::size_t>(end_ - at_) < taken + rest + numbersBytes)
        return Stop();
    std::memcpy(name_ + shared, at_ + taken, rest);
    length_ = shared + rest;
    at_ += taken + rest;
    name = std::string_view(name_, length_);
    return true;
}

bool NameBlockReader::Next(std::string_view &name, NameFacts &facts) {
    if (coding_ == NameCoding::Fixed) {
        if (!NextName(name, kNameNumbersBytes))
            return false;
        facts.harmonicPosition = ReadAt<std::uint32_t>(at_);
        facts.pageRankPosition = ReadAt<std::uint32_t>(at_ + 4);
        facts.hosts = ReadAt<std::uint32_t>(at_ + 8);
        at_ += kNameNumbersBytes;
        ++index_;
        return true;
    }
    if (!NextName(name, 0))
        return false;
    const PackedBlock block{bits_,          bitsBytes_,  at_,   harmonicWidth_,
                            pageRankWidth_, hostsWidth_, count_};
    facts = ReadNumbers(block, index_++);
    return true;
}

namespace {

std::uint64_t AlignTo8(std::uint64_t bytes) {
    return (bytes + 7) & ~std::uint64_t{7};
}

// The bytes of a block index of `blocks` entries in the given coding; none when the header's
// numbers could not describe one.
std::optional<std::uint64_t> IndexBytes(NameCoding coding, std::uint64_t blocks,
                                        std::uint64_t blocksBytes) {
    // A bound far above any real index that keeps the products below from overflowing.
    if (blocks > (std::uint64_t{1} << 48))
        return std::nullopt;
    if (coding != NameCoding::PackedKeys)
        return blocks * kNameIndexEntryBytes;
    const std::uint64_t offsetBytes = OffsetBytes(blocksBytes);
    const std::uint64_t top = (blocks + kBlocksPerTopKey - 1) / kBlocksPerTopKey;
    return blocks * kNameKeyBytes + AlignTo8(blocks * offsetBytes) + top * kNameKeyBytes;
}

} // namespace

std::uint64_t OffsetBytes(std::uint64_t blocksBytes) {
    return blocksBytes <= 0xFFFFFFFFu ? sizeof(std::uint32_t) : sizeof(std::uint64_t);
}

std::optional<NameSection> NameSection::Open(const unsigned char *data, std::size_t size) {
    if (size < sizeof(NameSectionHeader))
        return std::nullopt;
    const auto header = ReadAt<NameSectionHeader>(data);
    const std::uint64_t perBlock = header.namesPerBlock;
    const auto coding = static_cast<NameCoding>(header.coding);
    const bool known = coding == NameCoding::Fixed || coding == NameCoding::Packed ||
                       coding == NameCoding::PackedKeys;
    const auto indexBytes = IndexBytes(coding, header.blockCount, header.blocksBytes);
    const bool fits = std::memcmp(header.magic, kNameSectionMagic, sizeof header.magic) == 0 &&
                      known && indexBytes && perBlock > 0 && header.nameCount <= 0xFFFFFFFFu &&
                      header.blockCount == (header.nameCount + perBlock - 1) / perBlock &&
                      header.blocksBytes <= size - sizeof header &&
                      header.indexOffset >= sizeof header + header.blocksBytes &&
                      header.indexOffset <= size && *indexBytes <= size - header.indexOffset;
    if (!fits)
        return std::nullopt;
    NameSection section;
    section.blocks_ = data + sizeof header;
    section.blocksBytes_ = header.blocksBytes;
    section.blockCount_ = header.blockCount;
    section.nameCount_ = header.nameCount;
    section.namesPerBlock_ = perBlock;
    section.coding_ = coding == NameCoding::Fixed ? NameCoding::Fixed : NameCoding::Packed;
    section.keys_ = data + header.indexOffset;
    if (coding == NameCoding::PackedKeys) {
        section.offsets_ = section.keys_ + header.blockCount * kNameKeyBytes;
        section.offsetStride_ = OffsetBytes(header.blocksBytes);
        section.top_ = section.offsets_ + AlignTo8(header.blockCount * section.offsetStride_);
        section.topCount_ = (header.blockCount + kBlocksPerTopKey - 1) / kBlocksPerTopKey;
    } else {
        section.keyStride_ = kNameIndexEntryBytes;
        section.offsets_ = section.keys_ + kNameKeyBytes;
        section.offsetStride_ = kNameIndexEntryBytes;
    }
    section.bytes_ = header.indexOffset + *indexBytes;
    return section;
}

std::uint64_t NameSection::BlockOffset(std::uint64_t block) const {
    if (block >= blockCount_)
        return blocksBytes_;
    const unsigned char *at = offsets_ + block * offsetStride_;
    const std::uint64_t offset = offsetStride_ == sizeof(std::uint32_t) ? ReadAt<std::uint32_t>(at)
                                                                        : ReadAt<std::uint64_t>(at);
    return std::min(offset, blocksBytes_);
}

NameBlockReader NameSection::Block(std::uint64_t block) const {
    const std::uint64_t begin = BlockOffset(block);
    const std::uint64_t end = std::max(begin, BlockOffset(block + 1));
    return NameBlockReader(blocks_ + begin, blocks_ + end, coding_, NamesIn(block));
}

// Every block is full but the last.
std::uint64_t NameSection::NamesIn(std::uint64_t block) const {
    if (block >= blockCount_)
        return 0;
    return std::min(namesPerBlock_, nameCount_ - block * namesPerBlock_);
}

// The first name shares nothing, so its bytes lie in the mapping as they are.
std::string_view NameSection::FirstName(std::uint64_t block) const {
    const unsigned char *at = blocks_ + BlockOffset(block);
    const unsigned char *const end = blocks_ + std::max(BlockOffset(block), BlockOffset(block + 1));
    if (coding_ == NameCoding::Packed) {
        const auto packed = OpenPackedBlock(at, end, NamesIn(block));
        if (!packed)
            return {};
        at = packed->names;
    }
    std::size_t shared = 0;
    std::size_t rest = 0;
    const std::size_t taken = ReadLengths(coding_, at, end, shared, rest);
    if (taken == 0 || shared != 0 || static_cast<std::size_t>(end - at) < taken + rest)
        return {};
    return std::string_view(reinterpret_cast<const char *>(at + taken), rest);
}

std::uint64_t NameSection::LastNotAfter(const unsigned char *keys, std::size_t stride,
                                        std::uint64_t low, std::uint64_t high, std::uint64_t blocks,
                                        const Sought &sought, bool prefetch) const {
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        // Both halves' next middles are asked for ahead: one of them is the next read, and the
        // bottom levels of a search over the whole index miss the cache.
        if (prefetch) {
            __builtin_prefetch(keys + (low + (middle - low) / 2) * stride);
            __builtin_prefetch(keys + (middle + (high - middle) / 2) * stride);
        }
        const unsigned char *entry = keys + middle * stride;
        const auto key0 = ReadAt<std::uint64_t>(entry);
        bool after = key0 > sought.key0;
        if (key0 == sought.key0) {
            const auto key1 = ReadAt<std::uint64_t>(entry + 8);
            after = key1 > sought.key1;
            if (key1 == sought.key1) [[unlikely]]
                after = FirstName(middle * blocks) > sought.name;
        }
        (after ? high : low) = middle;
    }
    return low;
}

// The top level narrows the search to the 64 keys of one group; the older forms have none.
std::uint64_t NameSection::BlockFor(std::string_view reversedName) const {
    const Sought sought{reversedName, NamePrefixKey(reversedName, 0),
                        NamePrefixKey(reversedName, 8)};
    std::uint64_t low = 0;
    std::uint64_t high = blockCount_;
    if (topCount_ > 0) {
        // The top level stays in the cache; the group's keys are asked for below, all at once.
        low = LastNotAfter(top_, kNameKeyBytes, 0, topCount_, kBlocksPerTopKey, sought, false) *
              kBlocksPerTopKey;
        high = std::min(blockCount_, low + kBlocksPerTopKey);
        // The group's keys and offsets are asked for at once: their misses overlap instead of
        // coming one after another as the search halves.
        for (std::uint64_t block = low; block < high; block += 64 / kNameKeyBytes)
            __builtin_prefetch(keys_ + block * kNameKeyBytes);
        for (std::uint64_t block = low; block < high; block += 64 / sizeof(std::uint32_t))
            __builtin_prefetch(offsets_ + block * offsetStride_);
    }
    return LastNotAfter(keys_, keyStride_, low, high, 1, sought, topCount_ == 0);
}

std::optional<NameFacts> NameSection::Find(std::string_view name) const {
    // Turned into its stored form on the stack: a lookup allocates nothing.
    if (name.ends_with('.'))
        name.remove_suffix(1);
    if (name.size() > base::kLongestDomainName)
        return std::nullopt;
    char stored[base::kLongestDomainName];
    std::size_t at = 0;
    // Labels from the last to the first, then lowered in one pass over the bytes.
    for (std::size_t end = name.size();;) {
        const void *dot = end == 0 ? nullptr : ::memrchr(name.data(), '.', end);
        const std::size_t start =
            dot ? static_cast<std::size_t>(static_cast<const char *>(dot) - name.data()) + 1 : 0;
        std::memcpy(stored + at, name.data() + start, end - start);
        at += end - start;
        if (start == 0)
            break;
        stored[at++] = '.';
        end = start - 1;
    }
    for (std::size_t i = 0; i < at; ++i)
        stored[i] = Lower(stored[i]);
    return FindStored(std::string_view(stored, at));
}

namespace {

// Where a name sought stands against the names of a block as they are walked.
enum class Step { Before, Found, After };

// How many of the first `count` bytes of a and b are the same, eight at a time while eight are
// left: names differ mostly within their first few new bytes, and a byte loop costs a branch each.
std::size_t SameBytes(const unsigned char *a, const unsigned char *b, std::size_t count) {
    std::size_t same = 0;
    for (; same + 8 <= count; same += 8) {
        const std::uint64_t difference =
            ReadAt<std::uint64_t>(a + same) ^ ReadAt<std::uint64_t>(b + same);
        if (difference != 0)
            return same + static_cast<std::size_t>(__builtin_ctzll(difference)) / 8;
    }
    while (same < count && a[same] == b[same])
        ++same;
    return same;
}

// Front coding lets the scan compare only what is new: with `matched` bytes of the name sought
// equal to the name before, a name sharing more than that sorts before the one sought, a name
// sharing less sorts after it, and only a name sharing exactly that many needs its bytes compared.
// `matched` grows by what this name adds to it.
Step Compare(std::size_t shared, const unsigned char *bytes, std::size_t rest,
             std::string_view sought, std::size_t &matched) {
    if (shared > matched)
        return Step::Before;
    if (shared < matched)
        return Step::After;
    const auto *wanted = reinterpret_cast<const unsigned char *>(sought.data()) + matched;
    const std::size_t both = std::min(rest, sought.size() - matched);
    const std::size_t same = SameBytes(bytes, wanted, both);
    if (same == rest && matched + same == sought.size())
        return Step::Found;
    const bool before = same == rest || (same < both && bytes[same] < wanted[same]);
    matched += same;
    return before ? Step::Before : Step::After;
}

} // namespace

// The scan reads the names only; in the packed coding the numbers of the one found are then taken
// by its place.
std::optional<NameFacts> NameSection::FindStored(std::string_view reversedName) const {
    if (blockCount_ == 0)
        return std::nullopt;
    const std::uint64_t block = BlockFor(reversedName);
    const unsigned char *at = blocks_ + BlockOffset(block);
    const unsigned char *const end = blocks_ + std::max(BlockOffset(block), BlockOffset(block + 1));
    // The whole block is asked for at once: the scan reads it front to back, and its lines would
    // otherwise miss one after another.
    for (const unsigned char *line = at; line < end; line += 64)
        __builtin_prefetch(line);
    const std::uint64_t count = NamesIn(block);
    std::optional<PackedBlock> packed;
    std::size_t numbersBytes = kNameNumbersBytes;
    if (coding_ == NameCoding::Packed) {
        packed = OpenPackedBlock(at, end, count);
        if (!packed)
            return std::nullopt;
        at = packed->names;
        numbersBytes = 0;
    }
    std::size_t matched = 0;
    for (std::uint64_t place = 0; place < count; ++place) {
        std::size_t shared = 0;
        std::size_t rest = 0;
        const std::size_t taken = ReadLengths(coding_, at, end, shared, rest);
        if (taken == 0 || static_cast<std::size_t>(end - at) < taken + rest + numbersBytes ||
            (place == 0 && shared != 0))
            return std::nullopt;
        const unsigned char *bytes = at + taken;
        at = bytes + rest + numbersBytes;
        const Step step = Compare(shared, bytes, rest, reversedName, matched);
        if (step == Step::After)
            return std::nullopt;
        if (step != Step::Found)
            continue;
        if (packed)
            return ReadNumbers(*packed, place);
        NameFacts facts;
        facts.harmonicPosition = ReadAt<std::uint32_t>(bytes + rest);
        facts.pageRankPosition = ReadAt<std::uint32_t>(bytes + rest + 4);
        facts.hosts = ReadAt<std::uint32_t>(bytes + rest + 8);
        return facts;
    }
    return std::nullopt;
}

} // namespace rankindex
