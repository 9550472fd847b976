#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The names of a web-graph index, kept so that they can be looked up and searched by keyword in
// place, without reading the section into memory. Names are stored reversed as the graph gives
// them (com.example), sorted, so that the names of one suffix lie together and a suffix is a
// range of blocks. Blocks of kNamesPerBlock names are front-coded: each name is the length of the
// prefix it shares with the name before it, then its other bytes. A sparse index holds, per block,
// the first 16 bytes of its first name and its offset: a lookup searches that dense array, mostly
// without touching a block, then reads one block. Front coding about halves the names (their
// reversed suffixes repeat); the cost is a scan of up to 16 names per lookup, which compares only
// the bytes a name does not share with the one before.
//
// A name's numbers come in one of two codings, named by the section header:
//   NameCoding::Fixed (older imports): after each name's bytes, u32 harmonic position, u32
//       PageRank position, u32 hosts; 12 bytes a name.
//   NameCoding::Packed: the numbers of a block come first, bit-packed, then its names, so that a
//       lookup's scan reads names only and takes the numbers of the one it found by its place.
//       Names are in name order, so their positions are at random and each needs about
//       log2(names) bits; host counts are mostly small. Each is packed at the width of the
//       block's largest. The two lengths of a name mostly fit in a nibble each and share a byte.
//       About 7 bytes of numbers a name instead of 12, and one byte of lengths instead of two.
//
//   section header  48 bytes, NameSectionHeader
//   blocks          blocksBytes; a block holds namesPerBlock names, the last one those left; the
//                   first name of a block shares 0.
//                   Fixed: per name u8 shared, u8 rest length, rest bytes, the three numbers.
//                   Packed: u8 harmonic width, u8 PageRank width, u8 hosts width (bits, at most
//                     32); the harmonic positions, then the PageRank positions, then the hosts,
//                     each at its width, the lowest bit first, zero-padded to a byte; then per
//                     name its lengths, (shared << 4) | rest when both are below 16 and the byte
//                     is not kLongLengths, else kLongLengths, u8 shared, u8 rest; then its rest
//                     bytes.
//   block index     Fixed and Packed: blockCount x 24 bytes: the first name's bytes 0-7 and 8-15,
//                   each as a number read big-endian (zero-padded, so that it sorts as the bytes
//                   do), then u64 the block's offset from the start of the blocks.
//                   PackedKeys: blockCount x 16 bytes of those keys alone, which is all the
//                   search touches; then the blocks' offsets, u32 when blocksBytes is below 2^32,
//                   else u64, zero-padded to 8; then every 64th key (blocks 0, 64, ...), a top
//                   level small enough to stay in the cache, searched first, so that the search
//                   of the keys reads at most 64 of them.
//                   The index starts at indexOffset, zero-padded to 8 before it.
namespace rankindex {

inline constexpr char kNameSectionMagic[8] = {'N', 'M', 'B', 'N', 'A', 'M', 'E', 'S'};
inline constexpr std::uint32_t kNamesPerBlock = 16;
inline constexpr std::size_t kNameIndexEntryBytes = 24; // Fixed and Packed
inline constexpr std::size_t kNameKeyBytes = 16;
inline constexpr std::uint64_t kBlocksPerTopKey = 64;
inline constexpr std::size_t kNameNumbersBytes = 12;      // fixed coding
inline constexpr std::size_t kPackedBlockHeaderBytes = 3; // packed coding
inline constexpr std::uint32_t kMaxNumberBits = 32;
inline constexpr unsigned char kLongLengths = 0xFF; // packed coding: two length bytes follow

// The header's coding: how blocks hold their numbers, and how the block index is laid out.
enum class NameCoding : std::uint32_t { Fixed = 0, Packed = 1, PackedKeys = 2 };

struct NameSectionHeader {
    char magic[8];
    std::uint64_t nameCount;
    std::uint32_t namesPerBlock;
    std::uint32_t coding; // NameCoding; 0 in sections written before there were others
    std::uint64_t blockCount;
    std::uint64_t blocksBytes;
    std::uint64_t indexOffset; // from the start of the section
};
static_assert(sizeof(NameSectionHeader) == 48);

// What the graph says about one name.
struct NameFacts {
    std::uint32_t harmonicPosition = 0; // 1 is the best
    std::uint32_t pageRankPosition = 0;
    std::uint32_t hosts = 0;
    friend bool operator==(const NameFacts &, const NameFacts &) = default;
};

// The bytes of each block offset in the PackedKeys coding, by the bytes of the blocks.
std::uint64_t OffsetBytes(std::uint64_t blocksBytes);
// Eight bytes of a name from `from` on as a number that sorts as the bytes do.
std::uint64_t NamePrefixKey(std::string_view reversedName, std::size_t from);
// A name in reading order (Example.COM.) as stored: lower case, reversed (com.example); none when
// it is longer than a domain name can be.
std::optional<std::string> StoredName(std::string_view name);
// Labels turned round: com.example <-> example.com.
std::string TurnLabels(std::string_view name);

// Walks the names of one block; every read is bounded by the block, so damaged bytes end the walk
// instead of reading past it.
class NameBlockReader {
public:
    // A block of count names; coding is Fixed or Packed.
    NameBlockReader(const unsigned char *begin, const unsigned char *end, NameCoding coding,
                    std::uint64_t count);
    // The next name, reversed, valid until the next call; false at the end or on damage.
    bool Next(std::string_view &name, NameFacts &facts);

private:
    bool NextName(std::string_view &name, std::size_t numbersBytes);
    bool Stop();

    const unsigned char *at_;
    const unsigned char *end_; // of the names
    NameCoding coding_;
    // The packed coding's numbers, each at its width.
    const unsigned char *bits_ = nullptr;
    std::uint64_t bitsBytes_ = 0;
    std::uint32_t harmonicWidth_ = 0;
    std::uint32_t pageRankWidth_ = 0;
    std::uint32_t hostsWidth_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t index_ = 0;
    char name_[256];
    std::size_t length_ = 0;
};

// The names section of a mapped index, read in place. Open checks the header against the bytes;
// block offsets are clamped when read, so damaged bytes cannot lead outside the section.
class NameSection {
public:
    // None when the bytes are no names section or name regions outside themselves.
    static std::optional<NameSection> Open(const unsigned char *data, std::size_t size);

    std::optional<NameFacts> Find(std::string_view name) const; // in reading order
    std::optional<NameFacts> FindStored(std::string_view reversedName) const;

    std::uint64_t NameCount() const { return nameCount_; }
    std::uint64_t BlockCount() const { return blockCount_; }
    std::uint64_t NamesPerBlock() const { return namesPerBlock_; }
    // The bytes of the section, from its header to the end of its block index.
    std::uint64_t Bytes() const { return bytes_; }
    NameBlockReader Block(std::uint64_t block) const;
    // The first block that may hold a name not before reversedName (0 when none is before it).
    std::uint64_t BlockFor(std::string_view reversedName) const;

private:
    NameSection() = default;
    std::uint64_t BlockOffset(std::uint64_t block) const;
    // The name sought with its first 16 bytes as two numbers that sort as the bytes do.
    struct Sought {
        std::string_view name;
        std::uint64_t key0;
        std::uint64_t key1;
    };
    // The last of the keys [low, high) (a key every `blocks` blocks) not after the name sought.
    std::uint64_t LastNotAfter(const unsigned char *keys, std::size_t stride, std::uint64_t low,
                               std::uint64_t high, std::uint64_t blocks, const Sought &sought,
                               bool prefetch) const;
    std::uint64_t NamesIn(std::uint64_t block) const;
    std::string_view FirstName(std::uint64_t block) const;

    const unsigned char *blocks_ = nullptr;
    std::uint64_t blocksBytes_ = 0;
    // The keys, the offsets and the top level; in the older forms keys and offsets interleave.
    const unsigned char *keys_ = nullptr;
    std::size_t keyStride_ = kNameKeyBytes;
    const unsigned char *offsets_ = nullptr;
    std::size_t offsetStride_ = sizeof(std::uint32_t);
    const unsigned char *top_ = nullptr;
    std::uint64_t topCount_ = 0;
    std::uint64_t blockCount_ = 0;
    std::uint64_t nameCount_ = 0;
    std::uint64_t namesPerBlock_ = kNamesPerBlock;
    NameCoding coding_ = NameCoding::Packed; // of the blocks: Fixed or Packed
    std::uint64_t bytes_ = 0;
};

} // namespace rankindex
