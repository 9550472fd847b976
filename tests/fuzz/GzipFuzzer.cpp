// Feeds arbitrary bytes to the reader of data files as a whole file: told apart as plain, gzip or
// zip, then read in pieces of sizes the first byte chooses. For gzip, whatever the reader gives
// must be what zlib alone makes of the same members, and a file that zlib reads whole must read
// whole. A crash, a leak, undefined behaviour, an exception other than EImportError or a
// difference from zlib is a finding.
#include "rankindex/CompressedFile.h"
#include "rankindex/ImportError.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Enough for any real test of the decoder; a small input that inflates further (a bomb) is cut
// here by both readers alike.
constexpr std::size_t kMostText = 8 << 20;

// The members one after another through zlib, zero padding after them allowed; none on damage.
std::optional<std::string> ZlibText(const std::uint8_t *data, std::size_t size) {
    std::string text;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return std::nullopt;
    std::size_t at = 0;
    std::optional<std::string> result;
    char out[65536];
    for (;;) {
        while (at < size && data[at] == 0)
            ++at;
        if (at == size) {
            result = text;
            break;
        }
        if (data[at] != 0x1F)
            break;
        inflateReset(&stream);
        stream.next_in = const_cast<Bytef *>(data + at);
        stream.avail_in = static_cast<uInt>(size - at);
        int status = Z_OK;
        while (status == Z_OK && text.size() < kMostText) {
            stream.next_out = reinterpret_cast<Bytef *>(out);
            stream.avail_out = sizeof out;
            status = inflate(&stream, Z_NO_FLUSH);
            text.append(out, sizeof out - stream.avail_out);
        }
        if (text.size() >= kMostText) {
            result = text.substr(0, kMostText);
            break;
        }
        if (status != Z_STREAM_END)
            break;
        at = size - stream.avail_in;
    }
    inflateEnd(&stream);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t piece = 1 + data[0] * 37;
    ++data;
    --size;
    const int file = ::memfd_create("gzip-fuzz", MFD_CLOEXEC);
    if (file < 0 || ::write(file, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(file);
    std::string text;
    bool whole = false;
    bool gzip = false;
    try {
        rankindex::CompressedFile compressed(path);
        gzip = compressed.GetFormat() == rankindex::CompressedFile::Format::Gzip;
        std::vector<char> buffer(piece);
        for (;;) {
            const std::size_t got = compressed.Read(buffer.data(), buffer.size());
            if (got == 0) {
                whole = true;
                break;
            }
            text.append(buffer.data(), got);
            if (text.size() >= kMostText) {
                text.resize(kMostText);
                whole = true;
                break;
            }
        }
    } catch (const rankindex::EImportError &) {
    }
    ::close(file);
    if (!gzip)
        return 0;
    const std::optional<std::string> reference = ZlibText(data, size);
    // Where either reader was cut at the limit, damage just behind it is seen by one alone.
    if (text.size() >= kMostText || (reference && reference->size() >= kMostText))
        return 0;
    if (reference.has_value() != whole || (reference && *reference != text))
        std::abort();
    return 0;
}
