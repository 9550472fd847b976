#include "registry/DnsAnswer.h"

#include "base/AsciiCase.h"

namespace registry {
namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kLongestName = 255;
constexpr std::uint16_t kClassInternet = 1;

class Reader {
public:
    Reader(const std::uint8_t *bytes, std::size_t length) : bytes_(bytes), length_(length) {}

    std::uint16_t Word(std::size_t at) const {
        Need(at, 2);
        return static_cast<std::uint16_t>((bytes_[at] << 8) | bytes_[at + 1]);
    }

    void Need(std::size_t at, std::size_t count) const {
        if (at > length_ || count > length_ - at)
            throw EDnsFormatError("The DNS reply ends too early.");
    }

    // The offset just past the name that starts at `at` (a pointer ends a name).
    std::size_t SkipName(std::size_t at) const {
        for (std::size_t labels = 0; labels <= kLongestName; ++labels) {
            Need(at, 1);
            const std::uint8_t length = bytes_[at];
            if ((length & 0xC0) == 0xC0) {
                Need(at, 2);
                return at + 2;
            }
            if ((length & 0xC0) != 0)
                throw EDnsFormatError("The DNS reply holds an unknown label type.");
            if (length == 0)
                return at + 1;
            at += 1 + length;
        }
        throw EDnsFormatError("The DNS reply holds a name that is too long.");
    }

    // The name that starts at `at`, following compression pointers, which must point to an
    // earlier offset each time, so that no loop is possible.
    // A TXT record's data: its character-strings, each behind a length byte, joined. A length
    // that runs past the record's data makes the reply malformed.
    std::string Text(std::size_t data, std::size_t dataLength) const {
        std::string text;
        const std::size_t end = data + dataLength;
        for (std::size_t at = data; at < end;) {
            const std::size_t length = bytes_[at];
            if (length > end - at - 1)
                throw EDnsFormatError("The DNS reply holds a TXT string longer than its record.");
            text.append(reinterpret_cast<const char *>(bytes_ + at + 1), length);
            at += 1 + length;
        }
        return text;
    }

    std::string Name(std::size_t at) const {
        std::string name;
        std::size_t limit = at;
        for (;;) {
            Need(at, 1);
            const std::uint8_t length = bytes_[at];
            if ((length & 0xC0) == 0xC0) {
                const std::size_t target = Word(at) & 0x3FFF;
                if (target >= limit)
                    throw EDnsFormatError("The DNS reply holds a pointer that does not go back.");
                at = limit = target;
                continue;
            }
            if ((length & 0xC0) != 0)
                throw EDnsFormatError("The DNS reply holds an unknown label type.");
            if (length == 0)
                return name;
            Need(at + 1, length);
            if (!name.empty())
                name += '.';
            name.append(reinterpret_cast<const char *>(bytes_ + at + 1), length);
            if (name.size() > kLongestName)
                throw EDnsFormatError("The DNS reply holds a name that is too long.");
            at += 1 + length;
        }
    }

private:
    const std::uint8_t *bytes_;
    std::size_t length_;
};

} // namespace

DnsAnswer ReadDnsAnswer(const std::uint8_t *bytes, std::size_t length) {
    const Reader reader(bytes, length);
    reader.Need(0, kHeaderSize);
    DnsAnswer answer;
    answer.id = reader.Word(0);
    const std::uint16_t flags = reader.Word(2);
    answer.isResponse = (flags & 0x8000) != 0;
    answer.truncated = (flags & 0x0200) != 0;
    answer.responseCode = flags & 0x000F;
    const int questions = reader.Word(4);
    answer.answerCount = reader.Word(6);

    std::size_t at = kHeaderSize;
    for (int i = 0; i < questions; ++i) {
        at = reader.SkipName(at);
        reader.Need(at, 4);
        at += 4;
    }
    for (int i = 0; i < answer.answerCount; ++i) {
        at = reader.SkipName(at);
        const std::uint16_t type = reader.Word(at);
        const std::uint16_t recordClass = reader.Word(at + 2);
        const std::uint16_t dataLength = reader.Word(at + 8);
        const std::size_t data = at + 10;
        reader.Need(data, dataLength);
        if (type == kDnsTypeNs && recordClass == kClassInternet) {
            if (reader.SkipName(data) > data + dataLength)
                throw EDnsFormatError("The DNS reply holds an NS record longer than its data.");
            answer.nameServers.push_back(base::AsciiLower(reader.Name(data)));
        }
        if (type == kDnsTypeTxt && recordClass == kClassInternet)
            answer.texts.push_back(reader.Text(data, dataLength));
        at = data + dataLength;
    }
    return answer;
}

std::string DnsResponseCodeName(int code) {
    switch (code) {
    case 0:
        return "NOERROR";
    case 1:
        return "FORMERR";
    case 2:
        return "SERVFAIL";
    case 3:
        return "NXDOMAIN";
    case 4:
        return "NOTIMP";
    case 5:
        return "REFUSED";
    default:
        return "RCODE " + std::to_string(code);
    }
}

} // namespace registry
