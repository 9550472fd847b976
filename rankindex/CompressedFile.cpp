#include "rankindex/CompressedFile.h"

#include "rankindex/ImportError.h"

#include <isa-l/igzip_lib.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rankindex {
namespace {

[[noreturn]] void Fail(const std::filesystem::path &path, const std::string &what) {
    throw EImportError(path.string() + ": " + what);
}

constexpr std::size_t kHeadBytes = 6;

// The open file, closed with the object. It is opened once and its first bytes are read through
// the same handle that reads the rest, so a FIFO or a pipe (which can be neither reopened nor
// read twice) is read like a file.
class FileHandle {
public:
    explicit FileHandle(const std::filesystem::path &path)
        : path_(path), descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (descriptor_ < 0)
            Fail(path, std::string("cannot open: ") + std::strerror(errno));
        struct stat info {};
        if (::fstat(descriptor_, &info) != 0 || S_ISDIR(info.st_mode)) {
            ::close(descriptor_);
            Fail(path, "cannot read: not a file");
        }
        regular_ = S_ISREG(info.st_mode);
        size_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
        try {
            ReadHead();
        } catch (...) {
            ::close(descriptor_);
            throw;
        }
    }
    ~FileHandle() { ::close(descriptor_); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    // The first bytes come from the head read on opening, the rest from the file.
    std::size_t Read(char *buffer, std::size_t size) {
        std::size_t got = 0;
        if (headUsed_ < head_.size()) {
            got = std::min(size, head_.size() - headUsed_);
            std::memcpy(buffer, head_.data() + headUsed_, got);
            headUsed_ += got;
        } else {
            got = ReadFile(buffer, size);
        }
        position_ += got;
        return got;
    }
    // Up to kHeadBytes from the start; fewer only when the file is shorter.
    const std::string &Head() const { return head_; }
    // A regular file, which can be read at any offset.
    bool Regular() const { return regular_; }
    int Descriptor() const { return descriptor_; }
    // 0 for a pipe or a device, whose size is not known.
    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return position_; }

private:
    void ReadHead() {
        head_.resize(kHeadBytes);
        std::size_t got = 0;
        while (got < kHeadBytes) {
            const std::size_t more = ReadFile(head_.data() + got, kHeadBytes - got);
            if (more == 0)
                break;
            got += more;
        }
        head_.resize(got);
    }
    std::size_t ReadFile(char *buffer, std::size_t size) {
        for (;;) {
            const ssize_t got = ::read(descriptor_, buffer, size);
            if (got >= 0)
                return static_cast<std::size_t>(got);
            if (errno != EINTR)
                Fail(path_, std::string("cannot read: ") + std::strerror(errno));
        }
    }

    std::filesystem::path path_;
    int descriptor_;
    bool regular_ = false;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::string head_;
    std::size_t headUsed_ = 0;
};

// Archive kinds that are recognised only to say that they cannot be imported.
const char *UnsupportedCompression(const std::string &head) {
    if (head.starts_with("BZh"))
        return "bzip2";
    if (head.starts_with("\xFD"
                         "7zXZ"))
        return "xz";
    if (head.starts_with("\x28\xB5\x2F\xFD"))
        return "zstd";
    if (head.starts_with("7z\xBC\xAF"))
        return "7-Zip";
    return nullptr;
}

CompressedFile::Format DetectFormat(const std::filesystem::path &path, const std::string &head) {
    if (head.starts_with("\x1F\x8B"))
        return CompressedFile::Format::Gzip;
    if (head.starts_with("PK\x03\x04") || head.starts_with("PK\x05\x06"))
        return CompressedFile::Format::Zip;
    if (const char *kind = UnsupportedCompression(head))
        Fail(path, std::string("is ") + kind +
                       "-compressed; only plain text, gzip and zip files can be imported");
    return CompressedFile::Format::Plain;
}

} // namespace

class CompressedFile::Decoder {
public:
    virtual ~Decoder() = default;
    virtual std::size_t Read(char *buffer, std::size_t size) = 0;
    virtual std::uint64_t Position() const = 0;
    virtual std::uint64_t FileSize() const = 0;
    Format format = Format::Plain;
};

namespace {

class PlainDecoder : public CompressedFile::Decoder {
public:
    explicit PlainDecoder(std::unique_ptr<FileHandle> file) : file_(std::move(file)) {}
    std::size_t Read(char *buffer, std::size_t size) override { return file_->Read(buffer, size); }
    std::uint64_t Position() const override { return file_->Position(); }
    std::uint64_t FileSize() const override { return file_->Size(); }

private:
    std::unique_ptr<FileHandle> file_;
};

// The gzip members of the file one after another, as gunzip reads them. ISA-L's igzip decodes
// deflate several times as fast as zlib on x86-64, so it takes every member but two kinds, which
// common compressors do not write and which go to zlib: a header with its own CRC (the FHCRC
// flag), which igzip checks wrongly when the header reaches it in more than one piece (as it does
// after the first bytes were read to tell the file's kind, or through a pipe), and a header with
// reserved flags set, which igzip reads where gunzip and zlib refuse it. Both check each member's
// CRC-32 and length.
class GzipDecoder : public CompressedFile::Decoder {
public:
    GzipDecoder(const std::filesystem::path &path, std::unique_ptr<FileHandle> file)
        : path_(path), file_(std::move(file)), input_(256 * 1024),
          igzip_(std::make_unique<inflate_state>()) {
        isal_inflate_init(igzip_.get());
        // 16 + 15: a gzip header and trailer around deflate data with the largest window.
        if (inflateInit2(&zlib_, 16 + MAX_WBITS) != Z_OK)
            Fail(path_, "cannot start the gzip decoder");
    }
    ~GzipDecoder() override { inflateEnd(&zlib_); }

    std::size_t Read(char *buffer, std::size_t size) override {
        const auto wanted = static_cast<std::uint32_t>(std::min<std::size_t>(size, 1u << 30));
        out_ = reinterpret_cast<std::uint8_t *>(buffer);
        outLeft_ = wanted;
        while (outLeft_ == wanted && !finished_) {
            if (inLeft_ == 0 && !inputEnded_)
                Refill();
            if (atMemberStart_)
                StartMember();
            else
                Step();
        }
        return wanted - outLeft_;
    }
    std::uint64_t Position() const override { return file_->Position() - inLeft_; }
    std::uint64_t FileSize() const override { return file_->Size(); }

private:
    // Reads more behind the bytes not yet taken, which move to the front.
    void Refill() {
        if (inLeft_ > 0 && in_ != input_.data())
            std::memmove(input_.data(), in_, inLeft_);
        in_ = input_.data();
        const std::size_t got =
            file_->Read(reinterpret_cast<char *>(input_.data()) + inLeft_, input_.size() - inLeft_);
        inLeft_ += static_cast<std::uint32_t>(got);
        inputEnded_ = got == 0;
    }

    // Zero padding at the end is ignored as gunzip does; anything but another member is damage.
    void StartMember() {
        while (inLeft_ > 0 && in_[0] == 0) {
            ++in_;
            --inLeft_;
        }
        if (inLeft_ == 0) {
            finished_ = inputEnded_;
            return;
        }
        if (in_[0] != 0x1F)
            Fail(path_, "is corrupt: unexpected data after the end of the gzip data (at byte " +
                            std::to_string(Position()) + ")");
        constexpr std::uint32_t kFlagsAt = 3;
        if (inLeft_ <= kFlagsAt && !inputEnded_) {
            Refill();
            return;
        }
        // FHCRC, and the reserved flags that igzip ignores where gunzip and zlib refuse them.
        constexpr std::uint8_t kForZlib = 0x02 | 0xE0;
        useZlib_ = inLeft_ > kFlagsAt && (in_[kFlagsAt] & kForZlib) != 0;
        if (useZlib_) {
            inflateReset(&zlib_);
        } else {
            isal_inflate_reset(igzip_.get());
            igzip_->crc_flag = ISAL_GZIP;
        }
        atMemberStart_ = false;
    }

    // One step of the member's decoder. A step that takes no input and gives no output is stuck:
    // at the end of the file that is a member cut short, elsewhere damage no decoder named.
    void Step() {
        const std::uint32_t inBefore = inLeft_;
        const std::uint32_t outBefore = outLeft_;
        if (useZlib_ ? ZlibStep() : IgzipStep()) {
            atMemberStart_ = true;
            return;
        }
        if (inLeft_ != inBefore || outLeft_ != outBefore)
            return;
        if (inputEnded_)
            Fail(path_, "is truncated: the gzip data ends before its end mark (after " +
                            std::to_string(file_->Position()) + " bytes)");
        if (inBefore > 0)
            Fail(path_, "is corrupt: the gzip data cannot be decoded (near byte " +
                            std::to_string(Position()) + ")");
    }

    // True at the end of the member.
    bool IgzipStep() {
        igzip_->next_in = in_;
        igzip_->avail_in = inLeft_;
        igzip_->next_out = out_;
        igzip_->avail_out = outLeft_;
        const int status = isal_inflate(igzip_.get());
        in_ = igzip_->next_in;
        inLeft_ = igzip_->avail_in;
        out_ = igzip_->next_out;
        outLeft_ = igzip_->avail_out;
        if (status < 0 || status == ISAL_NEED_DICT)
            Corrupt(IgzipError(status));
        return igzip_->block_state == ISAL_BLOCK_FINISH;
    }

    bool ZlibStep() {
        zlib_.next_in = in_;
        zlib_.avail_in = inLeft_;
        zlib_.next_out = out_;
        zlib_.avail_out = outLeft_;
        const int status = inflate(&zlib_, Z_NO_FLUSH);
        in_ = zlib_.next_in;
        inLeft_ = zlib_.avail_in;
        out_ = zlib_.next_out;
        outLeft_ = zlib_.avail_out;
        if (status == Z_DATA_ERROR || status == Z_NEED_DICT)
            Corrupt(zlib_.msg ? zlib_.msg : "bad gzip data");
        if (status == Z_MEM_ERROR)
            Fail(path_, "cannot be decompressed: out of memory");
        return status == Z_STREAM_END;
    }

    [[noreturn]] void Corrupt(const char *what) {
        Fail(path_, std::string("is corrupt: ") + what + " (near byte " +
                        std::to_string(Position()) + ")");
    }

    static const char *IgzipError(int status) {
        switch (status) {
        case ISAL_INVALID_BLOCK:
            return "invalid deflate block";
        case ISAL_INVALID_SYMBOL:
            return "invalid deflate symbol";
        case ISAL_INVALID_LOOKBACK:
            return "invalid distance too far back";
        case ISAL_INVALID_WRAPPER:
            return "invalid gzip header";
        case ISAL_UNSUPPORTED_METHOD:
            return "unknown compression method";
        case ISAL_INCORRECT_CHECKSUM:
            return "incorrect data check";
        case ISAL_NEED_DICT:
            return "a preset dictionary is needed";
        default:
            return "bad gzip data";
        }
    }

    std::filesystem::path path_;
    std::unique_ptr<FileHandle> file_;
    std::vector<std::uint8_t> input_;
    std::uint8_t *in_ = nullptr;
    std::uint32_t inLeft_ = 0;
    std::uint8_t *out_ = nullptr;
    std::uint32_t outLeft_ = 0;
    // About 100 KB of tables and window: on the heap rather than in the object.
    std::unique_ptr<inflate_state> igzip_;
    z_stream zlib_{};
    bool useZlib_ = false;
    bool inputEnded_ = false;
    bool atMemberStart_ = true;
    bool finished_ = false;
};

struct ZipArchiveCloser {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};

// The one file of a zip archive through libzip, which checks the archive's directory on opening
// and each entry's checksum at its end. The directory sits at the end of the archive, so libzip
// reads the file out of order: a zip archive coming through a pipe is refused rather than copied
// to a temporary file of a size nobody asked for.
class ZipDecoder : public CompressedFile::Decoder {
public:
    ZipDecoder(const std::filesystem::path &path, std::unique_ptr<FileHandle> file)
        : path_(path), fileSize_(file->Size()) {
        if (!file->Regular())
            Fail(path_, "is a zip archive that comes through a pipe; a zip archive can only be "
                        "read from a file (save it to a file first, or send it gzip-compressed)");
        archive_.reset(OpenArchive(*file));
        file.reset();
        if (!archive_) {
            zip_error_t error;
            zip_error_init_with_code(&error, code_);
            const std::string message = zip_error_strerror(&error);
            zip_error_fini(&error);
            Fail(path_, "is not a readable zip archive (truncated or corrupt?): " + message);
        }
        const zip_uint64_t entry = TheOneFile();
        zip_stat_t info;
        zip_stat_init(&info);
        if (zip_stat_index(archive_.get(), entry, 0, &info) == 0 && (info.valid & ZIP_STAT_SIZE))
            textSize_ = info.size;
        file_.reset(zip_fopen_index(archive_.get(), entry, 0));
        if (!file_)
            Fail(path_, std::string("cannot read the file in the zip archive: ") +
                            zip_strerror(archive_.get()));
    }

    std::size_t Read(char *buffer, std::size_t size) override {
        const zip_int64_t got = zip_fread(file_.get(), buffer, size);
        if (got < 0)
            Fail(path_, std::string("is corrupt: ") + zip_file_strerror(file_.get()));
        textRead_ += static_cast<std::uint64_t>(got);
        return static_cast<std::size_t>(got);
    }
    // The archive is not read in order, so the share of the text read stands for the position.
    std::uint64_t Position() const override {
        if (textSize_ == 0)
            return 0;
        const double share = std::min(1.0, static_cast<double>(textRead_) / textSize_);
        return static_cast<std::uint64_t>(share * static_cast<double>(fileSize_));
    }
    std::uint64_t FileSize() const override { return fileSize_; }

private:
    // libzip reads the already open file from its start through a duplicate of its descriptor
    // that it closes with the archive.
    zip_t *OpenArchive(const FileHandle &file) {
        const int copy = ::fcntl(file.Descriptor(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0 || ::lseek(copy, 0, SEEK_SET) != 0) {
            code_ = ZIP_ER_READ;
            if (copy >= 0)
                ::close(copy);
            return nullptr;
        }
        zip_t *archive = zip_fdopen(copy, ZIP_CHECKCONS, &code_);
        if (!archive)
            ::close(copy);
        return archive;
    }

    // Folders and the resource entries some archivers add do not count.
    zip_uint64_t TheOneFile() {
        const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
        zip_uint64_t first = 0;
        std::uint64_t files = 0;
        for (zip_int64_t i = 0; i < count; ++i) {
            const char *name = zip_get_name(archive_.get(), static_cast<zip_uint64_t>(i), 0);
            const std::string_view entry = name ? name : "";
            if (entry.empty() || entry.ends_with('/') || entry.starts_with("__MACOSX/"))
                continue;
            if (files++ == 0)
                first = static_cast<zip_uint64_t>(i);
        }
        if (files != 1)
            Fail(path_, "the zip archive holds " + std::to_string(files) +
                            " files; it should hold exactly one");
        return first;
    }

    std::filesystem::path path_;
    std::uint64_t fileSize_;
    int code_ = 0;
    // Closed however the constructor is left; the file before its archive.
    std::unique_ptr<zip_t, ZipArchiveCloser> archive_;
    std::unique_ptr<zip_file_t, ZipFileCloser> file_;
    std::uint64_t textSize_ = 0;
    std::uint64_t textRead_ = 0;
};

std::unique_ptr<CompressedFile::Decoder> OpenDecoder(const std::filesystem::path &path) {
    auto file = std::make_unique<FileHandle>(path);
    const CompressedFile::Format format = DetectFormat(path, file->Head());
    std::unique_ptr<CompressedFile::Decoder> decoder;
    switch (format) {
    case CompressedFile::Format::Gzip:
        decoder = std::make_unique<GzipDecoder>(path, std::move(file));
        break;
    case CompressedFile::Format::Zip:
        decoder = std::make_unique<ZipDecoder>(path, std::move(file));
        break;
    case CompressedFile::Format::Plain:
        decoder = std::make_unique<PlainDecoder>(std::move(file));
        break;
    }
    decoder->format = format;
    return decoder;
}

} // namespace

CompressedFile::CompressedFile(const std::filesystem::path &path) : decoder_(OpenDecoder(path)) {}

CompressedFile::~CompressedFile() = default;

std::size_t CompressedFile::Read(char *buffer, std::size_t size) {
    return size == 0 ? 0 : decoder_->Read(buffer, size);
}

CompressedFile::Format CompressedFile::GetFormat() const {
    return decoder_->format;
}

std::uint64_t CompressedFile::FileSize() const {
    return decoder_->FileSize();
}

std::uint64_t CompressedFile::Position() const {
    return decoder_->Position();
}

const char *FormatName(CompressedFile::Format format) {
    switch (format) {
    case CompressedFile::Format::Gzip:
        return "gzip";
    case CompressedFile::Format::Zip:
        return "zip";
    case CompressedFile::Format::Plain:
        break;
    }
    return "plain text";
}

} // namespace rankindex
