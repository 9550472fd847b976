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

bool NameBlockReader::Next(std::string_view &name, NameFacts &facts) {
    if (end_ - at_ < 2)
        return false;
    const std::size_t shared = at_[0];
    const std::size_t rest = at_[1];
    if (shared > length_ || shared + rest > sizeof name_ ||
        static_cast<std::size_t>(end_ - at_) < 2 + rest + kNameNumbersBytes) {
        at_ = end_;
        return false;
    }
    std::memcpy(name_ + shared, at_ + 2, rest);
    length_ = shared + rest;
    at_ += 2 + rest;
    facts.harmonicPosition = ReadAt<std::uint32_t>(at_);
    facts.pageRankPosition = ReadAt<std::uint32_t>(at_ + 4);
    facts.hosts = ReadAt<std::uint32_t>(at_ + 8);
    at_ += kNameNumbersBytes;
    name = std::string_view(name_, length_);
    return true;
}

std::optional<NameSection> NameSection::Open(const unsigned char *data, std::size_t size) {
    if (size < sizeof(NameSectionHeader))
        return std::nullopt;
    const auto header = ReadAt<NameSectionHeader>(data);
    const std::uint64_t perBlock = header.namesPerBlock;
    const bool fits = std::memcmp(header.magic, kNameSectionMagic, sizeof header.magic) == 0 &&
                      perBlock > 0 && header.nameCount <= 0xFFFFFFFFu &&
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
    return NameBlockReader(blocks_ + begin, blocks_ + end);
}

// The first name shares nothing, so its bytes lie in the mapping as they are.
std::string_view NameSection::FirstName(std::uint64_t block) const {
    const std::uint64_t begin = BlockOffset(block);
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

// Front coding lets the scan compare only what is new: with `matched` bytes of the name sought
// equal to the name before, a name sharing more than that sorts before the one sought, a name
// sharing less sorts after it, and only a name sharing exactly that many needs its bytes compared.
std::optional<NameFacts> NameSection::FindStored(std::string_view reversedName) const {
    if (blockCount_ == 0)
        return std::nullopt;
    const std::uint64_t block = BlockFor(reversedName);
    const unsigned char *at = blocks_ + BlockOffset(block);
    const unsigned char *const end = blocks_ + std::max(BlockOffset(block), BlockOffset(block + 1));
    std::size_t matched = 0;
    for (bool first = true; end - at >= 2; first = false) {
        const std::size_t shared = at[0];
        const std::size_t rest = at[1];
        if (static_cast<std::size_t>(end - at) < 2 + rest + kNameNumbersBytes ||
            (first && shared != 0) || shared < matched)
            return std::nullopt;
        const unsigned char *bytes = at + 2;
        at += 2 + rest + kNameNumbersBytes;
        if (shared > matched)
            continue;
        std::size_t same = 0;
        while (same < rest && matched + same < reversedName.size() &&
               bytes[same] == static_cast<unsigned char>(reversedName[matched + same]))
            ++same;
        if (same == rest && matched + same == reversedName.size()) {
            NameFacts facts;
            facts.harmonicPosition = ReadAt<std::uint32_t>(bytes + rest);
            facts.pageRankPosition = ReadAt<std::uint32_t>(bytes + rest + 4);
            facts.hosts = ReadAt<std::uint32_t>(bytes + rest + 8);
            return facts;
        }
        const bool before =
            same == rest ||
            (matched + same < reversedName.size() &&
             bytes[same] < static_cast<unsigned char>(reversedName[matched + same]));
        if (!before)
            return std::nullopt;
        matched += same;
    }
    return std::nullopt;
}

} // namespace rankindex
