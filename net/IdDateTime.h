#pragma once

#include "net/IdHeaderInfo.h"

#include <functional>
#include <optional>
#include <string>

// Internet dates ("Sun, 06 Nov 1994 08:49:37 GMT") as local date-times.
namespace net {

// The machine's offset from universal time in minutes (east positive); nothing when the
// platform cannot tell.
using TUtcOffsetSource = std::function<std::optional<int>()>;
// Replaces the offset source; an empty one restores the platform's. Returns the previous one.
TUtcOffsetSource SetUtcOffsetSource(TUtcOffsetSource source);

// The offset now; EIdFailedToRetreiveTimeZoneInfo when the platform cannot give it.
int LocalUtcOffsetMinutes();

// An optional day name, the day, a month name, the year (two digits: below 80 from 2000,
// otherwise from 1900), an optional hh:mm[:ss], an optional zone (+hhmm, -hhmm, GMT, UT, UTC,
// Z), turned into local time with offsetMinutes. Never raises; anything it cannot read gives 0.
TDateTime DecodeInternetDate(const std::string &text, int offsetMinutes);

// The days since 1899-12-30 of a calendar date.
TDateTime EncodeDate(int year, int month, int day);

} // namespace net
