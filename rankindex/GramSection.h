#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The n-gram section of a web-graph index: for every three bytes that occur in the name parts of
// the names (the stored name after its first label: example.co of uk.co.example), the list of
// the names that hold them, in rank order; and for every suffix (the first label of a stored
// name), the names under it. A name's rank is the place of its line among the file's entry lines,
// so the lists are made while the file is read. The graph and the rank lists come in position
// order, and then rank order is position order; a file that does not is marked in the header, and
// its searches read every name on their lists.
// A keyword search walks the shortest lists of its keyword's trigrams side by side and reads only
// the names on all of them, best first, so it can stop after the best `limit` matches instead of
// reading every name. Lists hold ranks, not names: a rank is turned into the name's place in the
// names section by the rank map, so the lists are small numbers apart and code in a few bits.
//
//   section header  64 bytes, GramSectionHeader
//   rank map        RankMapBytes(rankCount, mapBits): per rank, the place in the names section of
//                   its name plus one, 0 for a line whose name came again with a better position,
//                   bit-packed at mapBits (the bit length of nameCount) from the least significant
//                   bit of the first byte up; zeros after the last, so that eight bytes can be
//                   loaded at any entry
//   lists           listsBytes at listsOffset: per trigram, its ranks ascending, Rice-coded: one
//                   byte k, then per rank its gap (the first rank itself, then each rank less the
//                   one before less one) as gap >> k zero bits, a one bit and the k low bits of
//                   the gap, least significant bit first; zero bits up to the list's last byte
//   directory       gramCount x 16 bytes at directoryOffset (a multiple of 8), sorted by key:
//                   u32 key (a trigram's bytes as a big-endian number, or SuffixKey of a
//                   suffix), u32 ranks in its list, u64 the list's offset from listsOffset; the
//                   list ends where the next begins
//
// The section's first form (magic kFirstGramSectionMagic, a 48-byte header without rankCount and
// flags) ranked the names themselves by position, mapped each rank to its place as it is in u32
// numbers and coded the gaps of its lists in LEB128; it is still read as it was. A form between
// the two (NMBGRAM2, a u32 map and LEB128 lists) was never released and is not read.
namespace rankindex {

inline constexpr char kGramSectionMagic[8] = {'N', 'M', 'B', 'G', 'R', 'A', 'M', '3'};
inline constexpr char kFirstGramSectionMagic[8] = {'N', 'M', 'B', 'G', 'R', 'A', 'M', 'S'};
inline constexpr std::size_t kGramLength = 3;
inline constexpr std::size_t kGramEntryBytes = 16;

struct GramSectionHeader {
    char magic[8];
    std::uint64_t nameCount;
    std::uint64_t gramCount;
    std::uint64_t listsOffset; // from the start of the section
    std::uint64_t listsBytes;
    std::uint64_t directoryOffset;
    // Not in the first form, whose header ends here.
    std::uint64_t rankCount;
    std::uint32_t flags;   // GramFlags
    std::uint32_t mapBits; // the width of a rank map entry, 1 to 32
};
static_assert(sizeof(GramSectionHeader) == 64);
inline constexpr std::size_t kFirstGramHeaderBytes = 48;

// Bits of GramSectionHeader::flags.
enum GramFlags : std::uint32_t {
    // Every entry line's position is at least the one before: a rank after another is never
    // better placed, so a search may stop at the first name placed after the matches it keeps.
    kRanksInPositionOrder = 1,
};

// The bytes of a rank map of rankCount entries of `bits` bits, a multiple of 8 with at least 8
// bytes after the last entry's first.
inline constexpr std::uint64_t RankMapBytes(std::uint64_t rankCount, unsigned bits) {
    return (rankCount * bits + 63) / 64 * 8 + 8;
}

// The largest Rice parameter of a list; a list whose byte says more is read as empty.
inline constexpr unsigned kMostRiceBits = 31;

// Three bytes as the number the directory sorts by.
inline std::uint32_t GramKey(std::string_view text, std::size_t at) {
    return std::uint32_t{static_cast<unsigned char>(text[at])} << 16 |
           std::uint32_t{static_cast<unsigned char>(text[at + 1])} << 8 |
           static_cast<unsigned char>(text[at + 2]);
}

// The key of a suffix's list: the first label of a stored name (com of com.example) hashed into
// the keys above every trigram's (FNV-1a, 24 bits). Two suffixes may share a list; the names on
// it are checked anyway.
inline std::uint32_t SuffixKey(std::string_view label) {
    std::uint32_t hash = 2166136261u;
    for (const char c : label)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return (hash & 0xFFFFFFu) | 0x1000000u;
}

// The part of a stored name whose trigrams are listed: all but its first label (the suffix
// every query keeps out of its keywords); empty for a name of one label.
inline std::string_view GramText(std::string_view reversedName) {
    const std::size_t dot = reversedName.find('.');
    return dot == std::string_view::npos ? std::string_view() : reversedName.substr(dot + 1);
}

// Reads one list's ranks in order, Rice-coded or, in the section's first form, LEB128-coded;
// every read is bounded by the list, and a rank past the ranks, a number too long or a run of
// zero bits longer than any gap up to the last rank ends the list, so damaged bytes cannot lead
// outside it.
class RankCursor {
public:
    enum class Coding : std::uint8_t { Rice, Leb128 };

    RankCursor() = default;
    RankCursor(const unsigned char *begin, const unsigned char *end, std::uint64_t ranks,
               Coding coding);
    // The next rank; false at the end of the list.
    bool Next(std::uint64_t &rank) {
        if (taken_ == filled_ && !Fill())
            return false;
        rank = buffered_[taken_++];
        return true;
    }

private:
    // Ranks are decoded a few dozen at a time in a loop that holds the cursor's state in
    // registers: a search steps through several lists by turns, and a state kept in memory
    // between two ranks would cost each rank the round trip.
    static constexpr unsigned kBuffered = 32;

    // Decodes the next ranks into buffered_; false at the end of the list.
    bool Fill();
    bool NextRice(std::uint64_t &rank);
    bool NextLeb128(std::uint64_t &rank);
    // Moves whole bytes of the list into bits_ while they fit; false when none are left.
    bool Refill();
    bool End();

    const unsigned char *at_ = nullptr;
    const unsigned char *end_ = nullptr;
    std::uint64_t ranks_ = 0;
    std::uint64_t next_ = 0; // the smallest rank the list may hold next
    std::uint64_t bits_ = 0; // the list's next bits, the first lowest; held_ of them taken from it
    unsigned held_ = 0;
    unsigned k_ = 0;
    Coding coding_ = Coding::Rice;
    unsigned taken_ = 0;
    unsigned filled_ = 0;
    std::uint32_t buffered_[kBuffered] = {};
};

// The n-gram section of a mapped index, read in place; offsets and numbers read from it are
// checked or clamped, so a damaged section cannot make a search read outside its bytes.
class GramSection {
public:
    // None when the bytes are no n-gram section (of either form) for nameCount names or name
    // regions outside themselves.
    static std::optional<GramSection> Open(const unsigned char *data, std::size_t size,
                                           std::uint64_t nameCount);

    struct List {
        RankCursor cursor;
        std::uint32_t ranks = 0;
    };
    // None when no name part holds the trigram.
    std::optional<List> Find(std::uint32_t gram) const;
    // The place in the names section of the name of a rank; none past the ranks, for a line whose
    // name was kept from another line, or when the map points past the names.
    std::optional<std::uint32_t> NameOfRank(std::uint64_t rank) const;
    std::uint64_t NameCount() const { return nameCount_; }
    std::uint64_t RankCount() const { return rankCount_; }
    // Whether a later rank is never better placed than an earlier one.
    bool InPositionOrder() const { return inPositionOrder_; }
    std::uint64_t GramCount() const { return gramCount_; }
    // The bytes of the section, from its header to the end of its directory.
    std::uint64_t Bytes() const { return bytes_; }

private:
    GramSection() = default;
    std::uint64_t ListOffset(std::uint64_t entry) const;
    std::uint32_t PackedEntry(std::uint64_t rank) const;

    const unsigned char *map_ = nullptr;
    const unsigned char *lists_ = nullptr;
    std::uint64_t listsBytes_ = 0;
    const unsigned char *directory_ = nullptr;
    std::uint64_t gramCount_ = 0;
    std::uint64_t nameCount_ = 0;
    std::uint64_t rankCount_ = 0;
    unsigned mapBits_ = 32; // of a packed map; the first form's is an array of u32
    bool packedMap_ = false;
    RankCursor::Coding coding_ = RankCursor::Coding::Leb128;
    std::uint32_t mapBias_ = 0; // what the map adds to a place: 1, or 0 in the first form
    bool inPositionOrder_ = true;
    std::uint64_t bytes_ = 0;
};

} // namespace rankindex
