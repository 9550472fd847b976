#pragma once

#include "rankindex/RankLineParser.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The layout of a rank index file, shared by its writer and its reader. All numbers are
// little-endian.
//
//   header      80 bytes, RankIndexHeader
//   source name sourceNameLength bytes (the imported file's name), zero-padded to 8
//   buckets     versions 1 and 2 only: (2^bucketBits + 1) x 32 bits, zero-padded to 8: bucket b's
//               records start at buckets[b] and end at buckets[b + 1]; a key's bucket is its top
//               bucketBits bits
//   records     versions 1 and 2 only: entryCount x 12 bytes: the 64-bit key of a name, then its
//               32-bit position; sorted by key, one record per key
//   names       from NamesOffset(header), zero-padded to 8 before: the names section
//               (NameSection.h); in version 2 only when the import kept names, always in 3
//   n-grams     from the end of the names section, zero-padded to 8, to fileSize: the n-gram
//               section (GramSection.h) that keyword searches go through; not in indexes
//               imported before it, which are searched by a scan of the names
//
// Version 3 looks a name up in the names section, which holds every name anyway: the hash
// records cost 12 bytes a name and their buckets 3 more, a third of the file, for lookups only
// about twice as fast. Its bucketBits is 0 and bucketsOffset and recordsOffset are both where the
// names start; entryCount is the number of names.
//
// In versions 1 and 2 a name's key is DomainKey(name): a lookup of a position hashes the name,
// reads two bucket bounds and scans the one or two records between them. Version 1 files hold no
// names at all; they are still read, as hash-only indexes that answer lookups but cannot be
// searched by keyword.
namespace rankindex {

static_assert(std::endian::native == std::endian::little, "the index is read in place");

// A number of the mapped file at any alignment.
template <typename T> T ReadAt(const unsigned char *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline constexpr char kRankIndexMagic[8] = {'N', 'M', 'B', 'R', 'A', 'N', 'K', '\x1A'};
inline constexpr std::uint32_t kRankIndexVersion = 3;
inline constexpr std::uint32_t kNamedRecordsRankIndexVersion = 2;
inline constexpr std::uint32_t kHashOnlyRankIndexVersion = 1;
inline constexpr std::size_t kRankRecordBytes = 12;
inline constexpr std::uint32_t kMaxBucketBits = 32;
inline constexpr std::uint32_t kMaxSourceNameLength = 4096;

struct RankIndexHeader {
    char magic[8];
    std::uint32_t version;
    std::uint32_t kind; // RankKind
    std::uint64_t entryCount;
    std::uint64_t sourceLines;  // every line of the imported file
    std::uint64_t skippedLines; // malformed ones among them
    std::int64_t importTime;    // seconds since 1970, UTC
    std::uint32_t bucketBits;
    std::uint32_t sourceNameLength;
    std::uint64_t recordsOffset;
    std::uint64_t bucketsOffset;
    std::uint64_t fileSize;
};
static_assert(sizeof(RankIndexHeader) == 80);

// What an index file says about itself. The writer takes the source fields; entries and fileSize
// come from what it wrote.
struct RankIndexInfo {
    RankKind kind = RankKind::WebGraph;
    std::string sourceName;
    std::uint64_t sourceLines = 0;
    std::uint64_t skippedLines = 0;
    std::uint64_t entries = 0;
    std::int64_t importTime = 0;
    std::uint64_t fileSize = 0;
    std::uint32_t version = kRankIndexVersion;
    // False for an index of the older, hash-only form (or one imported without names): it answers
    // lookups, but only an import again makes it searchable by keyword.
    bool searchable = false;
    std::uint64_t names = 0;
};

// Whether the file has hash buckets and records: versions before 3.
inline bool HasRecords(const RankIndexHeader &header) {
    return header.version < kRankIndexVersion;
}

// The bytes of the bucket table and of the records; 0 in a file without them. A bucketBits out
// of bounds is the caller's to refuse.
inline std::uint64_t BucketsBytes(const RankIndexHeader &header) {
    if (!HasRecords(header) || header.bucketBits > kMaxBucketBits)
        return 0;
    return ((std::uint64_t{1} << header.bucketBits) + 1) * 4;
}
inline std::uint64_t RecordsBytes(const RankIndexHeader &header) {
    return HasRecords(header) ? header.entryCount * kRankRecordBytes : 0;
}

// Where the names section would start: after the records, aligned to 8.
inline std::uint64_t NamesOffset(const RankIndexHeader &header) {
    return (header.recordsOffset + RecordsBytes(header) + 7) & ~std::uint64_t{7};
}

// The 64-bit key of a domain name: ASCII case and one final dot do not count. The function is
// part of the file format and must never change without a new version.
inline std::uint64_t DomainKey(std::string_view name) {
    if (name.ends_with('.'))
        name.remove_suffix(1);
    auto mix = [](std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    };
    std::uint64_t key = 0x6A09E667F3BCC908ULL ^ name.size();
    while (!name.empty()) {
        std::uint64_t word = 0;
        const std::size_t take = name.size() < 8 ? name.size() : 8;
        for (std::size_t i = 0; i < take; ++i) {
            std::uint64_t c = static_cast<unsigned char>(name[i]);
            if (c - 'A' < 26)
                c += 'a' - 'A';
            word |= c << (8 * i);
        }
        key = mix(key ^ word) + 0x9E3779B97F4A7C15ULL;
        name.remove_prefix(take);
    }
    return mix(key);
}

inline std::uint64_t BucketOf(std::uint64_t key, std::uint32_t bucketBits) {
    return bucketBits == 0 ? 0 : key >> (64 - bucketBits);
}

// Bits so that there are about two records to a bucket.
inline std::uint32_t BucketBitsFor(std::uint64_t entries) {
    std::uint32_t bits = 0;
    while (bits < kMaxBucketBits && (std::uint64_t{2} << bits) < entries)
        ++bits;
    return bits;
}

} // namespace rankindex
