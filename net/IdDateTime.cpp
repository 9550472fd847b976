#include "net/IdDateTime.h"

#include "base/AsciiCase.h"
#include "net/IdException.h"

#include <array>
#include <cctype>
#include <ctime>
#include <utility>
#include <vector>

namespace net {
namespace {

constexpr std::array<const char *, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                               "jul", "aug", "sep", "oct", "nov", "dec"};

int MonthNumber(const std::string &token) {
    if (token.size() < 3)
        return 0;
    const std::string prefix = base::AsciiLower(token.substr(0, 3));
    for (std::size_t i = 0; i < kMonths.size(); ++i)
        if (prefix == kMonths[i])
            return static_cast<int>(i) + 1;
    return 0;
}

bool AllDigits(const std::string &text) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

std::vector<std::string> Tokens(const std::string &text) {
    std::vector<std::string> tokens;
    std::string current;
    auto flush = [&] {
        if (!current.empty())
            tokens.push_back(std::exchange(current, {}));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // A dash between date parts separates ("06-Nov-94"); one that leads a zone does not.
        const bool dateDash = c == '-' && !current.empty();
        if (c == ' ' || c == ',' || c == '\t' || dateDash) {
            flush();
            continue;
        }
        current += c;
    }
    flush();
    return tokens;
}

// hh:mm or hh:mm:ss as minutes and seconds; false when it is not one.
bool ReadTime(const std::string &token, int &seconds) {
    std::vector<int> parts;
    std::string digits;
    for (std::size_t i = 0; i <= token.size(); ++i) {
        if (i == token.size() || token[i] == ':') {
            if (!AllDigits(digits) || digits.size() > 2)
                return false;
            parts.push_back(std::stoi(digits));
            digits.clear();
            continue;
        }
        digits += token[i];
    }
    if (parts.size() < 2 || parts.size() > 3 || parts[0] > 23 || parts[1] > 59 ||
        (parts.size() == 3 && parts[2] > 60))
        return false;
    seconds = parts[0] * 3600 + parts[1] * 60 + (parts.size() == 3 ? parts[2] : 0);
    return true;
}

bool ReadZone(const std::string &token, int &minutes) {
    const std::string upper = base::AsciiUpper(token);
    if (upper == "GMT" || upper == "UT" || upper == "UTC" || upper == "Z") {
        minutes = 0;
        return true;
    }
    if (token.size() != 5 || (token[0] != '+' && token[0] != '-') || !AllDigits(token.substr(1)))
        return false;
    const int hours = std::stoi(token.substr(1, 2));
    const int mins = std::stoi(token.substr(3, 2));
    if (hours > 23 || mins > 59)
        return false;
    minutes = (token[0] == '-' ? -1 : 1) * (hours * 60 + mins);
    return true;
}

} // namespace

std::optional<int> PlatformUtcOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return std::nullopt;
    return static_cast<int>(local.tm_gmtoff / 60);
}

int UtcOffsetMinutes(const TUtcOffsetSource &source) {
    const auto offset = source ? source() : PlatformUtcOffset();
    if (!offset)
        throw EIdFailedToRetreiveTimeZoneInfo();
    return *offset;
}

TDateTime EncodeDate(int year, int month, int day) {
    // Days from 1970-01-01 by the civil calendar, then moved to the 1899-12-30 epoch.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long daysSince1970 = static_cast<long long>(era) * 146097 + dayOfEra - 719468;
    return static_cast<TDateTime>(daysSince1970 + 25569);
}

TDateTime DecodeInternetDate(const std::string &text, int offsetMinutes) {
    int day = 0, month = 0, year = -1, seconds = 0, zone = 0;
    bool haveTime = false, haveZone = false;
    for (const std::string &token : Tokens(text)) {
        if (AllDigits(token)) {
            const int value = std::stoi(token);
            if (day == 0 && (month == 0 || year < 0) && token.size() <= 2)
                day = value;
            else if (year < 0)
                year = value;
            else
                return 0;
            continue;
        }
        if (!haveTime && token.find(':') != std::string::npos) {
            if (!ReadTime(token, seconds))
                return 0;
            haveTime = true;
            continue;
        }
        if (!haveZone && ReadZone(token, zone)) {
            haveZone = true;
            continue;
        }
        if (month == 0 && MonthNumber(token) != 0) {
            month = MonthNumber(token);
            continue;
        }
        // A day name, only before the date.
        if (day == 0 && month == 0 && std::isalpha(static_cast<unsigned char>(token[0])))
            continue;
        return 0;
    }
    if (year >= 0 && year < 100)
        year += year < 80 ? 2000 : 1900;
    if (day == 0 || month == 0 || year < 1 || year > 9999 || day > DaysInMonth(year, month))
        return 0;
    const double universal = EncodeDate(year, month, day) + seconds / 86400.0;
    return universal + (offsetMinutes - zone) / 1440.0;
}

} // namespace net
