#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An owner's "for sale" sign: the TXT records at "_for-sale.NAME" that start with "v=FORSALE1;".
// Each record stands on its own and says at most one thing: a text (ftxt=), a link (furi=), a
// price as currency and amount (fval=EUR799.00) or a code for a sale service (fcod=); the version
// alone says "for sale" and nothing more. The records come from whoever runs the name's DNS, so
// each is read as hostile bytes: one longer than 255 bytes, with an unknown tag, with two tags,
// with a value that is not printable UTF-8, or with a link other than http or https is set aside
// with its reason and never reaches a row.
namespace registry {

enum class ForSaleTag { None, Text, Link, Price, Code };

struct ForSaleSign {
    ForSaleTag tag = ForSaleTag::None;
    // As the record gives it, for Text, Link, Price and Code; empty for None.
    std::string value;
};

enum class ForSaleVerdict {
    Sign,         // a sign, in sign
    NotForSale,   // no "v=FORSALE" version at the start: some other TXT record
    WrongVersion, // a version other than 1
    TooLong,      // over 255 bytes
    UnknownTag,   // something after the version that is none of the four tags
    TwoTags,      // a second tag after the first
    BadValue,     // an empty value, control bytes, bytes that are not UTF-8, a malformed price
    NotWebLink    // a link whose scheme is not http or https, or that names no host
};

struct ForSaleReading {
    ForSaleVerdict verdict = ForSaleVerdict::NotForSale;
    ForSaleSign sign;
};

// The longest record read; a longer one is set aside whole.
inline constexpr std::size_t kLongestForSaleRecord = 255;

// Never raises: any bytes give a verdict.
ForSaleReading ReadForSaleRecord(std::string_view record);

// The sign a row shows from a name's TXT records: the first of each tag that reads, chosen by
// price, then link, then text, then code, then the version alone. Nothing when no record reads.
std::optional<ForSaleSign> ChooseForSaleSign(const std::vector<std::string> &records);

} // namespace registry
