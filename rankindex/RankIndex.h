#pragma once

#include "rankindex/GramSection.h"
#include "rankindex/NameSection.h"
#include "rankindex/RankIndexFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace rankindex {

// A rank index file mapped into memory, read in place: opening costs no reading of the records,
// and a lookup touches a few bytes of the file. The header's sizes are checked against the file
// on opening, and every bound read from the file is clamped, so a damaged file cannot make a
// lookup read outside the mapping. The mapping goes with the object.
class RankIndex {
public:
    // EIndexError when the file is missing, no rank index, of another version or damaged.
    explicit RankIndex(const std::filesystem::path &path);
    ~RankIndex();
    RankIndex(RankIndex &&other) noexcept;
    RankIndex &operator=(RankIndex &&other) noexcept;
    RankIndex(const RankIndex &) = delete;
    RankIndex &operator=(const RankIndex &) = delete;

    // The position listed for the name (ASCII case and a final dot do not count); none when
    // the name is not listed. Reads only, so several threads may look up at once.
    std::optional<std::uint32_t> Find(std::string_view name) const;
    // By DomainKey, in the files that have hash records (versions 1 and 2); none in others.
    std::optional<std::uint32_t> FindKey(std::uint64_t key) const;

    const RankIndexInfo &Info() const { return info_; }
    // The names section; none in a hash-only index (Info().searchable is false).
    const NameSection *Names() const { return names_ ? &*names_ : nullptr; }
    // The n-gram section that speeds up keyword searches; none in an index imported before it.
    const GramSection *Grams() const { return grams_ ? &*grams_ : nullptr; }

private:
    void Release() noexcept;
    void OpenNames(const std::filesystem::path &path, const RankIndexHeader &header);

    const unsigned char *data_ = nullptr;
    std::size_t size_ = 0;
    const unsigned char *buckets_ = nullptr;
    const unsigned char *records_ = nullptr;
    std::uint32_t bucketBits_ = 0;
    bool lookUpNames_ = false; // no records: lookups go through the names
    std::optional<NameSection> names_;
    std::optional<GramSection> grams_;
    RankIndexInfo info_;
};

// An index's import time as UTC text in a strftime format; none when it lies outside the years
// 1970 to 9999, which only a damaged or forged index can say and no date text should pretend to.
std::optional<std::string> ImportTimeText(std::int64_t seconds, const char *format);

} // namespace rankindex
