#include "rankindex/RankIndex.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace rankindex {
namespace {

[[noreturn]] void Damaged(const std::filesystem::path &path, const std::string &what) {
    throw EIndexError(path.string() + " is not a usable index: " + what);
}

// The header, once every region it names is known to lie inside a file of this size.
RankIndexHeader CheckedHeader(const std::filesystem::path &path, const unsigned char *data,
                              std::uint64_t size) {
    if (size < sizeof(RankIndexHeader))
        Damaged(path, "too short");
    const auto header = ReadAt<RankIndexHeader>(data);
    if (std::memcmp(header.magic, kRankIndexMagic, sizeof header.magic) != 0)
        Damaged(path, "not a rank index");
    if (header.version != kRankIndexVersion && header.version != kNamedRecordsRankIndexVersion &&
        header.version != kHashOnlyRankIndexVersion)
        Damaged(path, "version " + std::to_string(header.version) + " (this program reads " +
                          std::to_string(kRankIndexVersion) + "); import the file again");
    if (header.kind != static_cast<std::uint32_t>(RankKind::WebGraph) &&
        header.kind != static_cast<std::uint32_t>(RankKind::RankList))
        Damaged(path, "unknown kind of data");
    if (header.fileSize != size)
        Damaged(path, "its size is " + std::to_string(size) + " bytes, its header says " +
                          std::to_string(header.fileSize) + " (cut short?)");
    const std::uint64_t bucketsBytes = BucketsBytes(header);
    const bool fits = header.sourceNameLength <= kMaxSourceNameLength &&
                      header.bucketBits <= kMaxBucketBits && header.entryCount <= 0xFFFFFFFFu &&
                      header.bucketsOffset >= sizeof header + header.sourceNameLength &&
                      header.bucketsOffset <= size && bucketsBytes <= size - header.bucketsOffset &&
                      header.recordsOffset >= header.bucketsOffset + bucketsBytes &&
                      header.recordsOffset <= size &&
                      RecordsBytes(header) <= size - header.recordsOffset;
    if (!fits)
        Damaged(path, "its header names regions outside the file");
    return header;
}

} // namespace

RankIndex::RankIndex(const std::filesystem::path &path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        throw EIndexError("cannot open " + path.string() + ": " + std::strerror(errno));
    struct stat fileInfo {};
    if (::fstat(descriptor, &fileInfo) != 0 || !S_ISREG(fileInfo.st_mode)) {
        ::close(descriptor);
        throw EIndexError("cannot read " + path.string() + ": not a file");
    }
    size_ = static_cast<std::size_t>(fileInfo.st_size);
    if (size_ >= sizeof(RankIndexHeader)) {
        void *mapped = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, descriptor, 0);
        data_ = mapped == MAP_FAILED ? nullptr : static_cast<const unsigned char *>(mapped);
    }
    const int mapError = errno;
    ::close(descriptor);
    if (!data_ && size_ >= sizeof(RankIndexHeader))
        throw EIndexError("cannot map " + path.string() + ": " + std::strerror(mapError));
    try {
        const RankIndexHeader header = CheckedHeader(path, data_, size_);
        buckets_ = data_ + header.bucketsOffset;
        records_ = data_ + header.recordsOffset;
        bucketBits_ = header.bucketBits;
        info_.kind = static_cast<RankKind>(header.kind);
        info_.sourceName.assign(reinterpret_cast<const char *>(data_) + sizeof header,
                                header.sourceNameLength);
        info_.sourceLines = header.sourceLines;
        info_.skippedLines = header.skippedLines;
        info_.entries = header.entryCount;
        info_.importTime = header.importTime;
        info_.fileSize = header.fileSize;
        info_.version = header.version;
        OpenNames(path, header);
    } catch (...) {
        Release();
        throw;
    }
    // Lookups jump about; reading ahead around them would only waste the page cache.
    ::madvise(const_cast<unsigned char *>(data_), size_, MADV_RANDOM);
}

// Names follow the records when the import kept them; from version 3 on they are always there
// and lookups go through them.
void RankIndex::OpenNames(const std::filesystem::path &path, const RankIndexHeader &header) {
    const std::uint64_t offset = NamesOffset(header);
    const bool required = !HasRecords(header);
    if (header.version == kHashOnlyRankIndexVersion || (offset >= size_ && !required))
        return;
    if (offset < size_)
        names_ = NameSection::Open(data_ + offset, size_ - offset);
    if (!names_ || (required && names_->NameCount() != header.entryCount))
        Damaged(path, "its names section is damaged");
    lookUpNames_ = required;
    info_.searchable = true;
    info_.names = names_->NameCount();
    // The n-gram section follows the names in indexes imported since it came. It only speeds
    // searches up: without it, or with it damaged, they scan the names.
    const std::uint64_t grams = (offset + names_->Bytes() + 7) & ~std::uint64_t{7};
    if (grams < size_)
        grams_ = GramSection::Open(data_ + grams, size_ - grams, names_->NameCount());
}

RankIndex::~RankIndex() {
    Release();
}

RankIndex::RankIndex(RankIndex &&other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      buckets_(other.buckets_), records_(other.records_), bucketBits_(other.bucketBits_),
      lookUpNames_(other.lookUpNames_), names_(std::exchange(other.names_, std::nullopt)),
      grams_(std::exchange(other.grams_, std::nullopt)), info_(std::move(other.info_)) {}

RankIndex &RankIndex::operator=(RankIndex &&other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        buckets_ = other.buckets_;
        records_ = other.records_;
        bucketBits_ = other.bucketBits_;
        lookUpNames_ = other.lookUpNames_;
        names_ = std::exchange(other.names_, std::nullopt);
        grams_ = std::exchange(other.grams_, std::nullopt);
        info_ = std::move(other.info_);
    }
    return *this;
}

void RankIndex::Release() noexcept {
    if (data_)
        ::munmap(const_cast<unsigned char *>(data_), size_);
    data_ = nullptr;
}

std::optional<std::uint32_t> RankIndex::Find(std::string_view name) const {
    if (!lookUpNames_)
        return FindKey(DomainKey(name));
    if (const auto facts = names_->Find(name))
        return facts->harmonicPosition;
    return std::nullopt;
}

std::optional<std::uint32_t> RankIndex::FindKey(std::uint64_t key) const {
    if (lookUpNames_)
        return std::nullopt;
    const std::uint64_t bucket = BucketOf(key, bucketBits_);
    // Bounds from a damaged table are kept inside the records.
    const std::uint64_t entries = info_.entries;
    const std::uint64_t end =
        std::min<std::uint64_t>(ReadAt<std::uint32_t>(buckets_ + 4 * (bucket + 1)), entries);
    std::uint64_t at = std::min<std::uint64_t>(ReadAt<std::uint32_t>(buckets_ + 4 * bucket), end);
    for (; at < end; ++at) {
        const unsigned char *record = records_ + at * kRankRecordBytes;
        const auto recordKey = ReadAt<std::uint64_t>(record);
        if (recordKey == key)
            return ReadAt<std::uint32_t>(record + 8);
        if (recordKey > key)
            break;
    }
    return std::nullopt;
}

std::optional<std::string> ImportTimeText(std::int64_t seconds, const char *format) {
    constexpr std::int64_t kEndOf9999 = 253402300799; // 9999-12-31 23:59:59 UTC
    if (seconds < 0 || seconds > kEndOf9999)
        return std::nullopt;
    const auto time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!::gmtime_r(&time, &parts))
        return std::nullopt;
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &parts);
    if (length == 0)
        return std::nullopt;
    return std::string(text, length);
}

} // namespace rankindex
