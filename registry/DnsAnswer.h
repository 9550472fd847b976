#pragma once

#include "base/Exception.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reading a DNS reply (RFC 1035 wire format) far enough to tell a delegation and to read TXT
// records: the header, the questions skipped, the answer records walked. Safe on any bytes: every
// length is checked and compression pointers may only point backwards.
namespace registry {

// A reply that is not a well-formed DNS message.
class EDnsFormatError : public base::Exception {
public:
    using base::Exception::Exception;
};

constexpr int kDnsNoError = 0;
constexpr int kDnsServerFailure = 2;
constexpr int kDnsNameError = 3;
constexpr std::uint16_t kDnsTypeNs = 2;
constexpr std::uint16_t kDnsTypeTxt = 16;

struct DnsAnswer {
    std::uint16_t id = 0;
    bool isResponse = false;
    bool truncated = false;
    int responseCode = 0;
    int answerCount = 0;
    // The targets of the NS records of the answer section, lower-cased, without the final dot.
    std::vector<std::string> nameServers;
    // The TXT records of the answer section, each one's character-strings joined as one text
    // (the bytes as they came, which need not be text at all).
    std::vector<std::string> texts;
};

// Raises EDnsFormatError for bytes that are not a DNS message.
DnsAnswer ReadDnsAnswer(const std::uint8_t *bytes, std::size_t length);

// "NOERROR", "SERVFAIL", "NXDOMAIN", ... or "RCODE n".
std::string DnsResponseCodeName(int code);

} // namespace registry
