#pragma once

#include "net/IdHeaderInfo.h"

#include <functional>
#include <optional>
#include <string>

// Internet dates ("Sun, 06 Nov 1994 08:49:37 GMT") as local date-times.
namespace net {

// The machine's offset from universal time in minutes (east positive); nothing when it cannot
// be told. A network context carries one (see NetworkContext::UtcOffset).
using TUtcOffsetSource = std::function<std::optional<int>()>;
// The platform's offset now.
std::optional<int> PlatformUtcOffset();

// The offset source's answer now (the platform's when the source is empty);
// EIdFailedToRetreiveTimeZoneInfo when it has none.
int UtcOffsetMinutes(const TUtcOffsetSource &source);

// An optional day name, the day, a month name, the year (two digits: below 80 from 2000,
// otherwise from 1900), an optional hh:mm[:ss], an optional zone (+hhmm, -hhmm, GMT, UT, UTC,
// Z), turned into local time with offsetMinutes. Never raises; anything it cannot read gives 0.
TDateTime DecodeInternetDate(const std::string &text, int offsetMinutes);

// The days since 1899-12-30 of a calendar date.
TDateTime EncodeDate(int year, int month, int day);

} // namespace net
