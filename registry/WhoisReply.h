#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What a WHOIS server's reply says about one name. WHOIS text has no standard form, so the
// reader is careful in one direction: a name is free only on the server's own "not found" words
// with nothing in the reply that speaks of limits, reservations, blocks or premium prices; a
// record of the name makes it taken; everything else is unknown, with its reason. Any bytes give
// a result; nothing raises.
namespace registry {

// A reply is read up to this size; the client stops there too.
constexpr std::size_t kLargestWhoisReply = 64 * 1024;

enum class WhoisVerdict {
    Free,
    Taken,
    // Reserved or blocked by the registry: not free, whatever else the reply says. The answer's
    // status is then "reserved" or "blocked".
    Reserved,
    Unknown,
};

enum class WhoisReason {
    None,
    Reserved,
    EmptyReply,
    LimitExceeded,
    Premium,
    ReplyCut,
    NotUnderstood,
};

struct WhoisAnswer {
    WhoisVerdict verdict = WhoisVerdict::Unknown;
    WhoisReason reason = WhoisReason::NotUnderstood;
    // For a record: the expiry date as YYYY-MM-DD, the registrar, and the status words in the
    // registry's order ("client transfer prohibited", "active"), each when the reply has them.
    std::string expires;
    std::string registrar;
    std::vector<std::string> status;
};

// reply is the server's text, cut says whether the client stopped reading at the size limit,
// name is the name asked in its ASCII form, notFound the server's own "not found" phrases.
WhoisAnswer ReadWhoisReply(std::string_view reply, bool cut, std::string_view name,
                           const std::vector<std::string> &notFound);

// The reason in a few words for a person: "whois: limit exceeded"; empty for None.
std::string_view WhoisReasonText(WhoisReason reason);

// Whether text holds phrase as a whole phrase: without ASCII case, any run of white space
// matching any other, and no letter or digit right before or after it.
bool HoldsPhrase(std::string_view text, std::string_view phrase);

} // namespace registry
