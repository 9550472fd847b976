#include "rankindex/GramSection.h"

#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cstring>

namespace rankindex {

RankCursor::RankCursor(const unsigned char *begin, const unsigned char *end, std::uint64_t ranks,
                       Coding coding)
    : at_(begin), end_(end), ranks_(ranks), coding_(coding) {
    if (coding_ != Coding::Rice || at_ >= end_)
        return;
    k_ = *at_++;
    if (k_ <= kMostRiceBits)
        return;
    k_ = 0;
    End();
}

bool RankCursor::End() {
    at_ = end_;
    bits_ = 0;
    held_ = 0;
    next_ = ranks_;
    return false;
}

namespace {

std::uint64_t HeldMask(unsigned held) {
    return held >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << held) - 1;
}

} // namespace

bool RankCursor::Fill() {
    taken_ = 0;
    filled_ = 0;
    std::uint64_t rank = 0;
    if (coding_ != Coding::Rice) {
        while (filled_ < kBuffered && NextLeb128(rank))
            buffered_[filled_++] = static_cast<std::uint32_t>(rank);
        return filled_ > 0;
    }
    const unsigned char *at = at_;
    std::uint64_t bits = bits_;
    unsigned held = held_;
    std::uint64_t next = next_;
    const unsigned k = k_;
    const std::uint64_t low = (std::uint64_t{1} << k) - 1;
    unsigned filled = 0;
    while (filled < kBuffered) {
        if (held < 40 && end_ - at >= 8) {
            // Bits above `held` are the list's next ones, loaded again by the next refill.
            std::uint64_t word;
            std::memcpy(&word, at, sizeof word);
            bits |= word << held;
            at += (63 - held) >> 3;
            held |= 56;
        }
        if (k == 0 && (bits & HeldMask(held)) != 0) {
            // With k = 0 a gap is its zeros alone, so each one bit is a rank, its place in the
            // bits: ranks come from the ones of a word without a shift between them.
            std::uint64_t ones = bits & HeldMask(held);
            unsigned used = 0;
            for (; ones != 0 && filled < kBuffered; ones &= ones - 1) {
                const auto place = static_cast<unsigned>(__builtin_ctzll(ones));
                if (place >= ranks_ - next) {
                    End();
                    filled_ = filled;
                    return filled > 0;
                }
                buffered_[filled++] = static_cast<std::uint32_t>(next + place);
                used = place + 1;
            }
            bits = bits >> (used - 1) >> 1;
            held -= used;
            next += used;
            continue;
        }
        const auto zeros = bits == 0 ? 64u : static_cast<unsigned>(__builtin_ctzll(bits));
        const unsigned used = zeros + 1 + k;
        if (used <= held && used < 64) {
            const std::uint64_t gap = std::uint64_t{zeros} << k | (bits >> zeros >> 1 & low);
            bits >>= used;
            held -= used;
            if (gap >= ranks_ - next) {
                End();
                filled_ = filled;
                return filled > 0;
            }
            buffered_[filled++] = static_cast<std::uint32_t>(next + gap);
            next += gap + 1;
            continue;
        }
        // The list's last bytes or a long run of zeros: the careful way.
        at_ = at;
        bits_ = bits;
        held_ = held;
        next_ = next;
        const bool more = NextRice(rank);
        if (!more)
            break;
        buffered_[filled++] = static_cast<std::uint32_t>(rank);
        at = at_;
        bits = bits_;
        held = held_;
        next = next_;
    }
    if (filled == kBuffered) {
        at_ = at;
        bits_ = bits;
        held_ = held;
        next_ = next;
    }
    filled_ = filled;
    return filled > 0;
}

bool RankCursor::Refill() {
    if (at_ >= end_)
        return false;
    if (end_ - at_ >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at_, sizeof word);
        const unsigned take = (64 - held_) / 8;
        if (take < 8)
            word &= (std::uint64_t{1} << (take * 8)) - 1;
        bits_ |= word << held_;
        at_ += take;
        held_ += take * 8;
        return true;
    }
    for (; at_ < end_ && held_ <= 56; held_ += 8)
        bits_ |= std::uint64_t{*at_++} << held_;
    return true;
}

// A gap is below the ranks left after the one before, so a run of zeros that says more ends the
// list: a damaged list of zeros is not read to its end one gap at a time.
bool RankCursor::NextRice(std::uint64_t &rank) {
    if (next_ >= ranks_)
        return End();
    // The fast refill may leave bits above those held; this way reads only what it holds.
    if (held_ < 64)
        bits_ &= (std::uint64_t{1} << held_) - 1;
    const std::uint64_t room = ranks_ - next_;
    const std::uint64_t most = (room - 1) >> k_;
    std::uint64_t quotient = 0;
    while (bits_ == 0) {
        quotient += held_;
        held_ = 0;
        if (quotient > most || !Refill())
            return End();
    }
    const auto zeros = static_cast<unsigned>(__builtin_ctzll(bits_));
    quotient += zeros;
    bits_ = bits_ >> zeros >> 1;
    held_ -= zeros + 1;
    if (quotient > most)
        return End();
    if (held_ < k_) {
        Refill();
        if (held_ < k_)
            return End();
    }
    const std::uint64_t gap = quotient << k_ | (bits_ & ((std::uint64_t{1} << k_) - 1));
    bits_ >>= k_;
    held_ -= k_;
    if (gap >= room)
        return End();
    rank = next_ + gap;
    next_ = rank + 1;
    return true;
}

bool RankCursor::NextLeb128(std::uint64_t &rank) {
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
    return End();
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
        section.mapBits_ = header.mapBits;
        section.packedMap_ = true;
        section.coding_ = RankCursor::Coding::Rice;
        section.inPositionOrder_ = (header.flags & kRanksInPositionOrder) != 0;
    } else if (std::memcmp(header.magic, kFirstGramSectionMagic, sizeof header.magic) == 0) {
        section.rankCount_ = nameCount;
    } else {
        return std::nullopt;
    }
    if (header.nameCount != nameCount || section.rankCount_ > 0xFFFFFFFFu ||
        section.mapBits_ == 0 || section.mapBits_ > 32)
        return std::nullopt;
    const std::uint64_t mapEnd =
        headerBytes + (section.packedMap_ ? RankMapBytes(section.rankCount_, section.mapBits_)
                                          : section.rankCount_ * 4);
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
    return List{RankCursor(lists_ + begin, lists_ + end, rankCount_, coding_),
                ReadAt<std::uint32_t>(directory_ + low * kGramEntryBytes + 4)};
}

// One load of eight bytes: an entry of up to 32 bits starts within the first byte's eight bits, and
// the map's padding keeps the load inside it.
std::uint32_t GramSection::PackedEntry(std::uint64_t rank) const {
    const std::uint64_t bit = rank * mapBits_;
    const auto word = ReadAt<std::uint64_t>(map_ + bit / 8);
    return static_cast<std::uint32_t>((word >> (bit % 8)) & ((std::uint64_t{1} << mapBits_) - 1));
}

std::optional<std::uint32_t> GramSection::NameOfRank(std::uint64_t rank) const {
    if (rank >= rankCount_)
        return std::nullopt;
    const std::uint32_t mapped =
        packedMap_ ? PackedEntry(rank) : ReadAt<std::uint32_t>(map_ + rank * 4);
    if (mapped < mapBias_ || mapped - mapBias_ >= nameCount_)
        return std::nullopt;
    return mapped - mapBias_;
}

} // namespace rankindex
