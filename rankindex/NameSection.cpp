#include "rankindex/NameSection.h"

#include "base/DomainNameLimits.h"
#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cstring>

namespace rankindex {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The parts of a block in the packed coding, once they are known to lie inside the block.
struct PackedBlock {
    const unsigned char *names;
    const unsigned char *namesEnd;
    const unsigned char *bits;
    std::uint64_t bitsBytes;
    const unsigned char *hosts;
    const unsigned char *end;
    std::uint32_t harmonicWidth;
    std::uint32_t pageRankWidth;
    std::uint64_t count;
};

std::optional<PackedBlock> OpenPackedBlock(const unsigned char *begin, const unsigned char *end,
                                           std::uint64_t count) {
    if (end - begin < static_cast<std::ptrdiff_t>(kPackedBlockHeaderBytes))
        return std::nullopt;
    PackedBlock block{};
    block.harmonicWidth = begin[0];
    block.pageRankWidth = begin[1];
    const std::uint64_t namesBytes = ReadAt<std::uint16_t>(begin + 2);
    block.names = begin + kPackedBlockHeaderBytes;
    if (block.harmonicWidth > kMaxNumberBits || block.pageRankWidth > kMaxNumberBits ||
        namesBytes > static_cast<std::uint64_t>(end - block.names))
        return std::nullopt;
    block.namesEnd = block.names + namesBytes;
    block.bitsBytes = (count * (block.harmonicWidth + block.pageRankWidth) + 7) / 8;
    if (block.bitsBytes > static_cast<std::uint64_t>(end - block.namesEnd))
        return std::nullopt;
    block.bits = block.namesEnd;
    block.hosts = block.bits + block.bitsBytes;
    block.end = end;
    block.count = count;
    return block;
}

// width bits from bit `at` on, the lowest first; at + width lies inside the bits.
std::uint32_t ReadBits(const PackedBlock &block, std::uint64_t at, std::uint32_t width) {
    if (width == 0)
        return 0;
    const std::uint64_t byte = at / 8;
    std::uint64_t word = 0;
    std::memcpy(&word, block.bits + byte, std::min<std::uint64_t>(8, block.bitsBytes - byte));
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    return static_cast<std::uint32_t>((word >> (at % 8)) & mask);
}

// A LEB128 number of at most 32 bits; false when the bytes end first or it is longer.
bool ReadHosts(const unsigned char *&at, const unsigned char *end, std::uint32_t &value) {
    value = 0;
    for (std::uint32_t shift = 0; at < end && shift < 7 * kMaxHostsBytes; shift += 7) {
        const unsigned char byte = *at++;
        if (shift == 28 && byte > 0x0F)
            return false;
        value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

// The positions of the place-th name of a block; its hosts are read apart.
void ReadPositions(const PackedBlock &block, std::uint64_t place, NameFacts &facts) {
    facts.harmonicPosition = ReadBits(block, place * block.harmonicWidth, block.harmonicWidth);
    facts.pageRankPosition =
        ReadBits(block, block.count * block.harmonicWidth + place * block.pageRankWidth,
                 block.pageRankWidth);
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
        at_ = end_;
        return;
    }
    at_ = block->names;
    end_ = block->namesEnd;
    bits_ = block->bits;
    bitsBytes_ = block->bitsBytes;
    hosts_ = block->hosts;
    blockEnd_ = block->end;
    harmonicWidth_ = block->harmonicWidth;
    pageRankWidth_ = block->pageRankWidth;
}

bool NameBlockReader::Stop() {
    at_ = end_;
    index_ = count_;
    return false;
}

// The next name's bytes, with numbersBytes after them that the caller reads.
bool NameBlockReader::NextName(std::string_view &name, std::size_t numbersBytes) {
    if (index_ >= count_ || end_ - at_ < 2)
        return Stop();
    const std::size_t shared = at_[0];
    const std::size_t rest = at_[1];
    if (shared > length_ || shared + rest > sizeof name_ ||
        static_cast<std::size_t>(end_ - at_) < 2 + rest + numbersBytes)
        return Stop();
    std::memcpy(name_ + shared, at_ + 2, rest);
    length_ = shared + rest;
    at_ += 2 + rest;
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
    const PackedBlock block{nullptr,   nullptr,        bits_,          bitsBytes_, hosts_,
                            blockEnd_, harmonicWidth_, pageRankWidth_, count_};
    ReadPositions(block, index_, facts);
    if (!ReadHosts(hosts_, blockEnd_, facts.hosts))
        return Stop();
    ++index_;
    return true;
}

std::optional<NameSection> NameSection::Open(const unsigned char *data, std::size_t size) {
    if (size < sizeof(NameSectionHeader))
        return std::nullopt;
    const auto header = ReadAt<NameSectionHeader>(data);
    const std::uint64_t perBlock = header.namesPerBlock;
    const bool fits = std::memcmp(header.magic, kNameSectionMagic, sizeof header.magic) == 0 &&
                      perBlock > 0 && header.nameCount <= 0xFFFFFFFFu &&
                      (header.coding == static_cast<std::uint32_t>(NameCoding::Fixed) ||
                       header.coding == static_cast<std::uint32_t>(NameCoding::Packed)) &&
                      header.blockCount == (header.nameCount + perBlock - 1) / perBlock &&
                      header.blocksBytes <= size - sizeof header &&
                      header.indexOffset >= sizeof header + header.blocksBytes &&
                      header.indexOffset <= size &&
                      header.blockCount <= (size - header.indexOffset) / kNameIndexEntryBytes;
    if (!fits)
        return std::nullopt;
    NameSection section;
    section.blocks_ = data + sizeof header;
    section.blocksBytes_ = header.blocksBytes;
    section.index_ = data + header.indexOffset;
    section.blockCount_ = header.blockCount;
    section.nameCount_ = header.nameCount;
    section.namesPerBlock_ = perBlock;
    section.coding_ = static_cast<NameCoding>(header.coding);
    section.bytes_ = header.indexOffset + header.blockCount * kNameIndexEntryBytes;
    return section;
}

std::uint64_t NameSection::BlockOffset(std::uint64_t block) const {
    if (block >= blockCount_)
        return blocksBytes_;
    return std::min(ReadAt<std::uint64_t>(index_ + block * kNameIndexEntryBytes + 16),
                    blocksBytes_);
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
    const std::uint64_t begin =
        BlockOffset(block) + (coding_ == NameCoding::Packed ? kPackedBlockHeaderBytes : 0);
    const std::uint64_t end = BlockOffset(block + 1);
    if (end < begin + 2 || blocks_[begin] != 0 || end - begin - 2 < blocks_[begin + 1])
        return {};
    return std::string_view(reinterpret_cast<const char *>(blocks_ + begin + 2),
                            blocks_[begin + 1]);
}

std::uint64_t NameSection::BlockFor(std::string_view reversedName) const {
    const std::uint64_t high0 = NamePrefixKey(reversedName, 0);
    const std::uint64_t high1 = NamePrefixKey(reversedName, 8);
    // The last block whose first name is not after the name.
    std::uint64_t low = 0;
    std::uint64_t high = blockCount_;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        // Both halves' next middles are asked for ahead: one of them is the next read, and the
        // bottom levels of the search miss the cache.
        __builtin_prefetch(index_ + (low + (middle - low) / 2) * kNameIndexEntryBytes);
        __builtin_prefetch(index_ + (middle + (high - middle) / 2) * kNameIndexEntryBytes);
        const unsigned char *entry = index_ + middle * kNameIndexEntryBytes;
        const auto key0 = ReadAt<std::uint64_t>(entry);
        const auto key1 = ReadAt<std::uint64_t>(entry + 8);
        bool after = key0 > high0 || (key0 == high0 && key1 > high1);
        if (key0 == high0 && key1 == high1)
            after = FirstName(middle) > reversedName;
        (after ? high : low) = middle;
    }
    return low;
}

std::optional<NameFacts> NameSection::Find(std::string_view name) const {
    // Turned into its stored form on the stack: a lookup allocates nothing.
    if (name.ends_with('.'))
        name.remove_suffix(1);
    if (name.size() > base::kLongestDomainName)
        return std::nullopt;
    char stored[base::kLongestDomainName];
    std::size_t at = 0;
    for (std::size_t end = name.size(); at < name.size();) {
        const std::size_t dot = name.rfind('.', end == 0 ? 0 : end - 1);
        const std::size_t start = dot == std::string_view::npos || end == 0 ? 0 : dot + 1;
        if (at > 0)
            stored[at++] = '.';
        for (std::size_t i = start; i < end; ++i)
            stored[at++] = Lower(name[i]);
        if (start == 0)
            break;
        end = dot;
    }
    return FindStored(std::string_view(stored, at));
}

std::optional<NameFacts> NameSection::FindStored(std::string_view reversedName) const {
    if (blockCount_ == 0)
        return std::nullopt;
    const std::uint64_t block = BlockFor(reversedName);
    if (coding_ == NameCoding::Fixed)
        return FindInFixedBlock(block, reversedName);
    return FindInPackedBlock(block, reversedName);
}

namespace {

// Where a name sought stands against the names of a block as they are walked.
enum class Step { Before, Found, After };

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
    std::size_t same = 0;
    while (same < rest && matched + same < sought.size() &&
           bytes[same] == static_cast<unsigned char>(sought[matched + same]))
        ++same;
    if (same == rest && matched + same == sought.size())
        return Step::Found;
    const bool before =
        same == rest || (matched + same < sought.size() &&
                         bytes[same] < static_cast<unsigned char>(sought[matched + same]));
    matched += same;
    return before ? Step::Before : Step::After;
}

} // namespace

std::optional<NameFacts> NameSection::FindInFixedBlock(std::uint64_t block,
                                                       std::string_view reversedName) const {
    const unsigned char *at = blocks_ + BlockOffset(block);
    const unsigned char *const end = blocks_ + std::max(BlockOffset(block), BlockOffset(block + 1));
    std::size_t matched = 0;
    for (bool first = true; end - at >= 2; first = false) {
        const std::size_t shared = at[0];
        const std::size_t rest = at[1];
        if (static_cast<std::size_t>(end - at) < 2 + rest + kNameNumbersBytes ||
            (first && shared != 0))
            return std::nullopt;
        const unsigned char *bytes = at + 2;
        at += 2 + rest + kNameNumbersBytes;
        const Step step = Compare(shared, bytes, rest, reversedName, matched);
        if (step == Step::After)
            return std::nullopt;
        if (step == Step::Found) {
            NameFacts facts;
            facts.harmonicPosition = ReadAt<std::uint32_t>(bytes + rest);
            facts.pageRankPosition = ReadAt<std::uint32_t>(bytes + rest + 4);
            facts.hosts = ReadAt<std::uint32_t>(bytes + rest + 8);
            return facts;
        }
    }
    return std::nullopt;
}

// The scan reads the names only; the numbers of the one found are taken by its place.
std::optional<NameFacts> NameSection::FindInPackedBlock(std::uint64_t block,
                                                        std::string_view reversedName) const {
    const auto packed = OpenPackedBlock(
        blocks_ + BlockOffset(block),
        blocks_ + std::max(BlockOffset(block), BlockOffset(block + 1)), NamesIn(block));
    if (!packed)
        return std::nullopt;
    const unsigned char *at = packed->names;
    std::size_t matched = 0;
    for (std::uint64_t place = 0; place < packed->count && packed->namesEnd - at >= 2; ++place) {
        const std::size_t shared = at[0];
        const std::size_t rest = at[1];
        if (static_cast<std::size_t>(packed->namesEnd - at) < 2 + rest ||
            (place == 0 && shared != 0))
            return std::nullopt;
        const unsigned char *bytes = at + 2;
        at += 2 + rest;
        const Step step = Compare(shared, bytes, rest, reversedName, matched);
        if (step == Step::After)
            return std::nullopt;
        if (step == Step::Found) {
            NameFacts facts;
            ReadPositions(*packed, place, facts);
            const unsigned char *hosts = packed->hosts;
            for (std::uint64_t skip = 0; skip <= place; ++skip) {
                if (!ReadHosts(hosts, packed->end, facts.hosts))
                    return std::nullopt;
            }
            return facts;
        }
    }
    return std::nullopt;
}

} // namespace rankindex
