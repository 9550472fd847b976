#include "registry/WhoisReply.h"

#include "base/AsciiCase.h"
#include "base/TextEncoding.h"

#include <algorithm>
#include <array>
#include <optional>

namespace registry {
namespace {

using Phrases = std::vector<std::string_view>;

// Words that make a reply unfit to call a name free, whatever else it says. They are matched as
// whole phrases, so "All rights reserved" in a registry's terms of use is no reservation and
// "high volume" in them no limit.
//
// Facts from two maintained WHOIS parsers, read 2026-09, no text of theirs:
//   - likexian/whois-parser (Apache-2.0 licence), error.go: reserved "reserved domain name",
//     "reserved by the registry", "can not be registered online"; blocked "dpml brand
//     protection", "subscribes to the uni eps", "subscribes to the adultblock"; premium "premium
//     domain is available for purchase", "platinum domain is available for purchase"; limits
//     "limit exceeded", "server too busy".
//   - weppos/whois-parser (MIT licence): DENIC's "access control limit reached"
//     (whois.denic.de.rb), EURid's "Still in grace period" (whois.eu.rb), and .io's "Reserved by
//     Registry" (its recorded .io reply for a reserved name).
// The rest are this program's own wording of the same cases.
const Phrases kReserved = {
    "reserved domain name",
    "reserved by the registry",
    "reserved by registry",
    "can not be registered online",
    "cannot be registered online",
    "not available for registration",
    "status: reserved",
};
// Blocks by a registry's brand protection: the name is kept back as a reserved one is.
const Phrases kBlocked = {
    "status: blocked",
    "dpml brand protection",
    "subscribes to the uni eps",
    "subscribes to the adultblock",
};
const Phrases kLimits = {
    "limit exceeded",        "server too busy",   "access control limit reached",
    "still in grace period", "quota exceeded",    "exceeded your quota",
    "too many queries",      "too many requests", "try again later",
};
const Phrases kPremium = {
    "premium domain is available for purchase",
    "platinum domain is available for purchase",
    "premium domain",
    "premium name",
};
// Status values that say there is no registration rather than describe one.
const Phrases kAbsentStatus = {"free", "available", "not found", "no object found", "no match"};

// The labels of the lines that make a record. Values follow a colon ("Domain Name: x.us") or a
// bracketed label ("[Domain Name]  X.JP").
const Phrases kDomainLabels = {"domain name", "domain", "domainname", "domain_name"};
const Phrases kRegistrarLabels = {"registrar", "sponsoring registrar", "registrar name"};
const Phrases kCreatedLabels = {
    "creation date", "created",           "created on",        "registered",
    "registered on", "registration date", "registration time", "domain registration date",
};
const Phrases kExpiryLabels = {
    "registry expiry date",
    "registrar registration expiration date",
    "expiration date",
    "expiry date",
    "expires",
    "expires on",
    "expire date",
    "domain expiration date",
    "paid-till",
    "expiration time",
};
const Phrases kStatusLabels = {"domain status", "status", "state"};

constexpr std::size_t kLongestLabel = 48;
constexpr std::size_t kLongestRegistrar = 128;
constexpr std::size_t kLongestStatusWord = 48;
constexpr std::size_t kMostStatusWords = 8;

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F;
}

bool IsWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Lower case, every run of white space and control bytes one space, none at either end.
std::string Folded(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    bool gap = false;
    for (const char c : text) {
        if (IsBlank(c)) {
            gap = true;
            continue;
        }
        if (gap && !folded.empty())
            folded += ' ';
        gap = false;
        folded += base::AsciiLowerChar(c);
    }
    return folded;
}

bool HoldsFolded(std::string_view text, std::string_view phrase) {
    if (phrase.empty())
        return false;
    for (auto at = text.find(phrase); at != std::string_view::npos;
         at = text.find(phrase, at + 1)) {
        const std::size_t end = at + phrase.size();
        const bool startFree =
            !IsWordCharacter(phrase.front()) || at == 0 || !IsWordCharacter(text[at - 1]);
        const bool endFree =
            !IsWordCharacter(phrase.back()) || end == text.size() || !IsWordCharacter(text[end]);
        if (startFree && endFree)
            return true;
    }
    return false;
}

bool HoldsAny(std::string_view folded, const Phrases &phrases) {
    return std::any_of(phrases.begin(), phrases.end(),
                       [&](std::string_view phrase) { return HoldsFolded(folded, phrase); });
}

bool IsOneOf(std::string_view label, const Phrases &labels) {
    return std::find(labels.begin(), labels.end(), label) != labels.end();
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Printable text of at most size bytes: control bytes dropped, and bytes beyond ASCII kept only
// when they are valid UTF-8.
std::string Cleaned(std::string_view value, std::size_t size) {
    std::string text;
    for (const char c : Trimmed(value))
        if (!IsBlank(c) || c == ' ')
            text += c;
    if (!base::IsValidUtf8(text))
        std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (text.size() > size) {
        text.resize(size);
        // Not in the middle of a character.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0)
            text.pop_back();
    }
    return std::string(Trimmed(text));
}

struct Labelled {
    std::string label;
    std::string_view value;
};

// A line's label and value, for "Label: value" and "[Label] value" (optionally after a list
// mark such as "a. ").
std::optional<Labelled> ReadLabelled(std::string_view line) {
    line = Trimmed(line);
    if (line.size() > 3 && IsWordCharacter(line[0]) && line[1] == '.' && line[2] == ' ' &&
        Trimmed(line.substr(3)).starts_with('['))
        line = Trimmed(line.substr(3));
    std::size_t labelEnd = 0;
    std::size_t valueStart = 0;
    std::size_t labelStart = 0;
    if (line.starts_with('[')) {
        labelStart = 1;
        labelEnd = line.find(']');
        valueStart = labelEnd + 1;
    } else {
        labelEnd = line.find(':');
        valueStart = labelEnd + 1;
    }
    if (labelEnd == std::string_view::npos || labelEnd <= labelStart ||
        labelEnd - labelStart > kLongestLabel)
        return std::nullopt;
    return Labelled{Folded(line.substr(labelStart, labelEnd - labelStart)),
                    Trimmed(line.substr(valueStart))};
}

std::string_view FirstWord(std::string_view value) {
    const auto end = std::find_if(value.begin(), value.end(), IsBlank);
    return value.substr(0, static_cast<std::size_t>(end - value.begin()));
}

bool SameName(std::string_view value, std::string_view name) {
    std::string_view word = FirstWord(value);
    while (word.ends_with('.'))
        word.remove_suffix(1);
    while (name.ends_with('.'))
        name.remove_suffix(1);
    return !word.empty() && base::SameTextAscii(word, name);
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// YYYY-MM-DD from a value that starts with a date written with '-', '/' or '.' between its parts
// ("2026-05-31T23:59:59Z", "2026/05/31"); empty for any other form.
std::string DateOf(std::string_view value) {
    if (value.size() < 10 || value[4] != value[7] ||
        (value[4] != '-' && value[4] != '/' && value[4] != '.'))
        return {};
    const std::string_view year = value.substr(0, 4);
    const std::string_view month = value.substr(5, 2);
    const std::string_view day = value.substr(8, 2);
    if (!IsDigits(year) || !IsDigits(month) || !IsDigits(day) ||
        (value.size() > 10 && IsWordCharacter(value[10]) && !(value[10] == 'T')))
        return {};
    if (month < "01" || month > "12" || day < "01" || day > "31")
        return {};
    return std::string(year) + "-" + std::string(month) + "-" + std::string(day);
}

// A status value as the registry's words: "clientTransferProhibited https://..." becomes
// "client transfer prohibited", "ACTIVE" becomes "active". Empty when it is no word.
std::string StatusWords(std::string_view value) {
    const std::string_view word = FirstWord(value);
    if (word.empty() || word.size() > kLongestStatusWord)
        return {};
    std::string words;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (c == '_' || c == '-') {
            words += ' ';
            continue;
        }
        if (!IsWordCharacter(c))
            return {};
        const bool startsWord =
            c >= 'A' && c <= 'Z' && i > 0 && word[i - 1] >= 'a' && word[i - 1] <= 'z';
        if (startsWord)
            words += ' ';
        words += base::AsciiLowerChar(c);
    }
    return words;
}

// What the lines of a reply say about a registration of the name.
class RecordReader {
public:
    explicit RecordReader(std::string_view name) : name_(name) {}

    void Read(std::string_view reply) {
        while (!reply.empty()) {
            const auto end = reply.find('\n');
            ReadLine(reply.substr(0, end));
            reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        }
    }

    bool IsRecord() const { return namesTheName_ && (hasRegistrar_ || hasCreated_ || hasStatus_); }
    bool SaysReserved() const { return saysReserved_; }
    bool SaysBlocked() const { return saysBlocked_; }
    void Fill(WhoisAnswer &answer) const {
        answer.expires = expires_;
        answer.registrar = registrar_;
        answer.status = status_;
    }

private:
    void ReadLine(std::string_view line) {
        if (Trimmed(line).empty()) {
            inRegistrarSection_ = false;
            return;
        }
        const auto labelled = ReadLabelled(line);
        if (!labelled)
            return;
        const std::string &label = labelled->label;
        const std::string_view value = labelled->value;
        if (IsOneOf(label, kDomainLabels) && SameName(value, name_))
            namesTheName_ = true;
        else if (IsOneOf(label, kRegistrarLabels))
            ReadRegistrar(value);
        else if (label == "name" && inRegistrarSection_)
            ReadRegistrar(value);
        else if (IsOneOf(label, kCreatedLabels) && !value.empty())
            hasCreated_ = true;
        else if (IsOneOf(label, kExpiryLabels) && expires_.empty())
            expires_ = DateOf(value);
        else if (IsOneOf(label, kStatusLabels))
            ReadStatus(value);
    }

    // A registrar is named on its line or, when that line is a section heading, on the "Name:"
    // line of the section below it.
    void ReadRegistrar(std::string_view value) {
        inRegistrarSection_ = value.empty();
        if (value.empty() || !registrar_.empty())
            return;
        registrar_ = Cleaned(value, kLongestRegistrar);
        hasRegistrar_ = !registrar_.empty();
    }

    void ReadStatus(std::string_view value) {
        const std::string folded = Folded(value);
        if (folded.empty() || HoldsAny(folded, kAbsentStatus))
            return;
        hasStatus_ = true;
        if (HoldsFolded(folded, "reserved"))
            saysReserved_ = true;
        if (HoldsFolded(folded, "blocked"))
            saysBlocked_ = true;
        const std::string words = StatusWords(value);
        if (!words.empty() && status_.size() < kMostStatusWords &&
            std::find(status_.begin(), status_.end(), words) == status_.end())
            status_.push_back(words);
    }

    std::string_view name_;
    bool namesTheName_ = false;
    bool hasRegistrar_ = false;
    bool hasCreated_ = false;
    bool hasStatus_ = false;
    bool saysReserved_ = false;
    bool saysBlocked_ = false;
    bool inRegistrarSection_ = false;
    std::string expires_;
    std::string registrar_;
    std::vector<std::string> status_;
};

WhoisAnswer Verdict(WhoisVerdict verdict, WhoisReason reason) {
    WhoisAnswer answer;
    answer.verdict = verdict;
    answer.reason = reason;
    return answer;
}

bool HoldsOwnPhrase(std::string_view folded, const std::vector<std::string> &notFound) {
    return std::any_of(notFound.begin(), notFound.end(), [&](const std::string &phrase) {
        return HoldsFolded(folded, Folded(phrase));
    });
}

} // namespace

WhoisAnswer ReadWhoisReply(std::string_view reply, bool cut, std::string_view name,
                           const std::vector<std::string> &notFound) {
    if (reply.size() > kLargestWhoisReply) {
        reply = reply.substr(0, kLargestWhoisReply);
        cut = true;
    }
    const std::string folded = Folded(reply);
    if (folded.empty())
        return Verdict(WhoisVerdict::Unknown, WhoisReason::EmptyReply);
    RecordReader record(name);
    record.Read(reply);
    const bool blocked = record.SaysBlocked() || HoldsAny(folded, kBlocked);
    if (blocked || record.SaysReserved() || HoldsAny(folded, kReserved)) {
        WhoisAnswer answer = Verdict(WhoisVerdict::Reserved, WhoisReason::Reserved);
        record.Fill(answer);
        // The status says why the name is kept back, whatever else the record lists.
        answer.status = {blocked ? "blocked" : "reserved"};
        return answer;
    }
    if (record.IsRecord()) {
        WhoisAnswer answer = Verdict(WhoisVerdict::Taken, WhoisReason::None);
        record.Fill(answer);
        return answer;
    }
    if (HoldsAny(folded, kLimits))
        return Verdict(WhoisVerdict::Unknown, WhoisReason::LimitExceeded);
    if (HoldsAny(folded, kPremium))
        return Verdict(WhoisVerdict::Unknown, WhoisReason::Premium);
    // The end of a cut reply is unseen; it might have taken back what the start said.
    if (cut)
        return Verdict(WhoisVerdict::Unknown, WhoisReason::ReplyCut);
    if (HoldsOwnPhrase(folded, notFound))
        return Verdict(WhoisVerdict::Free, WhoisReason::None);
    return Verdict(WhoisVerdict::Unknown, WhoisReason::NotUnderstood);
}

std::string_view WhoisReasonText(WhoisReason reason) {
    switch (reason) {
    case WhoisReason::None:
        return {};
    case WhoisReason::Reserved:
        return "whois: reserved";
    case WhoisReason::EmptyReply:
        return "whois: empty reply";
    case WhoisReason::LimitExceeded:
        return "whois: limit exceeded";
    case WhoisReason::Premium:
        return "whois: premium name";
    case WhoisReason::ReplyCut:
        return "whois: reply cut at 64 KiB";
    case WhoisReason::NotUnderstood:
        return "whois: reply not understood";
    }
    return "whois: reply not understood";
}

bool HoldsPhrase(std::string_view text, std::string_view phrase) {
    return HoldsFolded(Folded(text), Folded(phrase));
}

} // namespace registry
