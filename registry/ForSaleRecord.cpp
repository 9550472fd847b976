#include "registry/ForSaleRecord.h"

#include "base/TextEncoding.h"
#include "base/WebLink.h"

#include <algorithm>
#include <array>
#include <utility>

namespace registry {
namespace {

constexpr std::string_view kVersionStart = "v=FORSALE";
constexpr std::string_view kVersion = "v=FORSALE1;";
constexpr std::size_t kTagLength = 5; // "ftxt="

struct TagName {
    std::string_view text;
    ForSaleTag tag;
};
constexpr std::array<TagName, 4> kTags{{{"ftxt=", ForSaleTag::Text},
                                        {"furi=", ForSaleTag::Link},
                                        {"fval=", ForSaleTag::Price},
                                        {"fcod=", ForSaleTag::Code}}};

std::optional<ForSaleTag> TagOf(std::string_view content) {
    for (const TagName &name : kTags)
        if (content.starts_with(name.text))
            return name.tag;
    return std::nullopt;
}

bool IsLowerLetter(char c) {
    return c >= 'a' && c <= 'z';
}

// A ";" followed by what has the shape of a tag ("abcd="): a second tag in the same record.
bool HoldsAnotherTag(std::string_view value) {
    for (std::size_t at = value.find(';'); at != std::string_view::npos;
         at = value.find(';', at + 1)) {
        const std::string_view rest = value.substr(at + 1);
        if (rest.size() >= kTagLength && rest[kTagLength - 1] == '=' &&
            std::all_of(rest.begin(), rest.begin() + kTagLength - 1, IsLowerLetter))
            return true;
    }
    return false;
}

bool IsPrintableUtf8(std::string_view value) {
    const bool control = std::any_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    return !control && base::IsValidUtf8(value);
}

bool IsUpperLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A currency code of three capital letters and an amount in digits with at most one decimal
// point between digits: "EUR799.00", "USD1500".
bool IsPrice(std::string_view value) {
    constexpr std::size_t kCurrencyLength = 3;
    if (value.size() <= kCurrencyLength ||
        !std::all_of(value.begin(), value.begin() + kCurrencyLength, IsUpperLetter))
        return false;
    const std::string_view amount = value.substr(kCurrencyLength);
    const std::size_t point = amount.find('.');
    const std::string_view whole = amount.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view("0") : amount.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), IsDigit);
    };
    return digits(whole) && digits(fraction);
}

ForSaleReading Verdict(ForSaleVerdict verdict) {
    return {verdict, {}};
}

ForSaleVerdict ValueVerdict(ForSaleTag tag, std::string_view value) {
    if (value.empty() || !IsPrintableUtf8(value))
        return ForSaleVerdict::BadValue;
    if (HoldsAnotherTag(value))
        return ForSaleVerdict::TwoTags;
    if (tag == ForSaleTag::Price && !IsPrice(value))
        return ForSaleVerdict::BadValue;
    if (tag == ForSaleTag::Link && !base::IsWebLink(value))
        return ForSaleVerdict::NotWebLink;
    return ForSaleVerdict::Sign;
}

// Lower is preferred.
int Rank(ForSaleTag tag) {
    switch (tag) {
    case ForSaleTag::Price:
        return 0;
    case ForSaleTag::Link:
        return 1;
    case ForSaleTag::Text:
        return 2;
    case ForSaleTag::Code:
        return 3;
    case ForSaleTag::None:
        break;
    }
    return 4;
}

} // namespace

ForSaleReading ReadForSaleRecord(std::string_view record) {
    if (record.size() > kLongestForSaleRecord)
        return Verdict(ForSaleVerdict::TooLong);
    if (!record.starts_with(kVersionStart))
        return Verdict(ForSaleVerdict::NotForSale);
    if (!record.starts_with(kVersion))
        return Verdict(ForSaleVerdict::WrongVersion);
    const std::string_view content = record.substr(kVersion.size());
    if (content.empty())
        return {ForSaleVerdict::Sign, {}};
    const std::optional<ForSaleTag> tag = TagOf(content);
    if (!tag)
        return Verdict(ForSaleVerdict::UnknownTag);
    const std::string_view value = content.substr(kTagLength);
    const ForSaleVerdict verdict = ValueVerdict(*tag, value);
    if (verdict != ForSaleVerdict::Sign)
        return Verdict(verdict);
    return {ForSaleVerdict::Sign, {*tag, std::string(value)}};
}

std::optional<ForSaleSign> ChooseForSaleSign(const std::vector<std::string> &records) {
    std::optional<ForSaleSign> chosen;
    for (const std::string &record : records) {
        ForSaleReading reading = ReadForSaleRecord(record);
        if (reading.verdict != ForSaleVerdict::Sign)
            continue;
        if (!chosen || Rank(reading.sign.tag) < Rank(chosen->tag))
            chosen = std::move(reading.sign);
    }
    return chosen;
}

} // namespace registry
