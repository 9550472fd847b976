#include "rankindex/NameSection.h"

#include "base/DomainNameLimits.h"

#include <algorithm>
#include <cstring>

namespace rankindex {
namespace {

template <typename T> T ReadAt(const unsigned char *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::uint64_t NamePrefixKey(std::string_view reversedName) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i)
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
    return section;
}

std::uint64_t NameSection::BlockOffset(std::uint64_t block) const {
    if (block >= blockCount_)
        return blocksBytes_;
    return std::min(ReadAt<std::uint64_t>(index_ + block * kNameIndexEntryBytes + 8), blocksBytes_);
}

NameBlockReader NameSection::Block(std::uint64_t block) const {
    const std::uint64_t begin = BlockOffset(block);
    const std::uint64_t end = std::max(begin, BlockOffset(block + 1));
    return NameBlockReader(blocks_ + begin, blocks_ + end);
}

std::string_view NameSection::FirstName(std::uint64_t block, NameFacts &facts) const {
    NameBlockReader reader = Block(block);
    std::string_view name;
    if (!reader.Next(name, facts))
        return {};
    // The first name shares nothing, so its bytes lie in the mapping as they are.
    const unsigned char *at = blocks_ + BlockOffset(block) + 2;
    return std::string_view(reinterpret_cast<const char *>(at), name.size());
}

std::uint64_t NameSection::BlockFor(std::string_view reversedName) const {
    const std::uint64_t key = NamePrefixKey(reversedName);
    // The last block whose first name is not after the name.
    std::uint64_t low = 0;
    std::uint64_t high = blockCount_;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        const auto blockKey = ReadAt<std::uint64_t>(index_ + middle * kNameIndexEntryBytes);
        bool after = blockKey > key;
        if (blockKey == key) {
            NameFacts unused;
            after = FirstName(middle, unused) > reversedName;
        }
        (after ? high : low) = middle;
    }
    return low;
}

std::optional<NameFacts> NameSection::Find(std::string_view name) const {
    const std::optional<std::string> stored = StoredName(name);
    if (!stored)
        return std::nullopt;
    return FindStored(*stored);
}

std::optional<NameFacts> NameSection::FindStored(std::string_view reversedName) const {
    if (blockCount_ == 0)
        return std::nullopt;
    NameBlockReader reader = Block(BlockFor(reversedName));
    std::string_view name;
    NameFacts facts;
    while (reader.Next(name, facts)) {
        if (name == reversedName)
            return facts;
        if (name > reversedName)
            break;
    }
    return std::nullopt;
}

} // namespace rankindex
