#include "rankindex/GramSection.h"

#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cstring>

namespace rankindex {

bool RankCursor::Next(std::uint64_t &rank) {
    std::uint64_t value = 0;
    for (int shift = 0; at_ < end_; shift += 7) {
        const unsigned char byte = *at_++;
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            if (value >= ranks_ || next_ + value >= ranks_)
                break;
            rank = next_ + value;
            next_ = rank + 1;
            return true;
        }
        if (shift == 28)
            break; // longer than any rank of 32 bits
    }
    at_ = end_;
    return false;
}

std::optional<GramSection> GramSection::Open(const unsigned char *data, std::size_t size,
                                             std::uint64_t nameCount) {
    if (size < kFirstGramHeaderBytes || nameCount > 0xFFFFFFFFu)
        return std::nullopt;
    GramSectionHeader header{};
    std::memcpy(&header, data, kFirstGramHeaderBytes);
    GramSection section;
    std::uint64_t headerBytes = kFirstGramHeaderBytes;
    if (std::memcmp(header.magic, kGramSectionMagic, sizeof header.magic) == 0) {
        if (size < sizeof header)
            return std::nullopt;
        header = ReadAt<GramSectionHeader>(data);
        headerBytes = sizeof header;
        section.rankCount_ = header.rankCount;
        section.mapBias_ = 1;
        section.inPositionOrder_ = (header.flags & kRanksInPositionOrder) != 0;
    } else if (std::memcmp(header.magic, kFirstGramSectionMagic, sizeof header.magic) == 0) {
        section.rankCount_ = nameCount;
    } else {
        return std::nullopt;
    }
    if (header.nameCount != nameCount || section.rankCount_ > 0xFFFFFFFFu)
        return std::nullopt;
    const std::uint64_t mapEnd = headerBytes + section.rankCount_ * 4;
    const bool fits = mapEnd <= size && header.listsOffset >= mapEnd &&
                      header.listsOffset <= size &&
                      header.listsBytes <= size - header.listsOffset &&
                      header.directoryOffset >= header.listsOffset + header.listsBytes &&
                      header.directoryOffset % 8 == 0 && header.directoryOffset <= size &&
                      header.gramCount <= (size - header.directoryOffset) / kGramEntryBytes;
    if (!fits)
        return std::nullopt;
    section.map_ = data + headerBytes;
    section.lists_ = data + header.listsOffset;
    section.listsBytes_ = header.listsBytes;
    section.directory_ = data + header.directoryOffset;
    section.gramCount_ = header.gramCount;
    section.nameCount_ = nameCount;
    section.bytes_ = header.directoryOffset + header.gramCount * kGramEntryBytes;
    return section;
}

std::uint64_t GramSection::ListOffset(std::uint64_t entry) const {
    if (entry >= gramCount_)
        return listsBytes_;
    return std::min(ReadAt<std::uint64_t>(directory_ + entry * kGramEntryBytes + 8), listsBytes_);
}

std::optional<GramSection::List> GramSection::Find(std::uint32_t gram) const {
    std::uint64_t low = 0;
    std::uint64_t high = gramCount_;
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (ReadAt<std::uint32_t>(directory_ + middle * kGramEntryBytes) < gram)
            low = middle + 1;
        else
            high = middle;
    }
    if (low >= gramCount_ || ReadAt<std::uint32_t>(directory_ + low * kGramEntryBytes) != gram)
        return std::nullopt;
    const std::uint64_t begin = ListOffset(low);
    const std::uint64_t end = std::max(begin, ListOffset(low + 1));
    return List{RankCursor(lists_ + begin, lists_ + end, rankCount_),
                ReadAt<std::uint32_t>(directory_ + low * kGramEntryBytes + 4)};
}

std::optional<std::uint32_t> GramSection::NameOfRank(std::uint64_t rank) const {
    if (rank >= rankCount_)
        return std::nullopt;
    const auto mapped = ReadAt<std::uint32_t>(map_ + rank * 4);
    if (mapped < mapBias_ || mapped - mapBias_ >= nameCount_)
        return std::nullopt;
    return mapped - mapBias_;
}

} // namespace rankindex
