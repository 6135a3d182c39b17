// Automation values as text and back, independent of the process locale.
#include "platform/com/variant_text.h"

#include "platform/base/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vr::automation {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

std::u16string Widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the era-based civil calendar algorithm).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day 0 of a DATE, 1899-12-30, in days since 1970-01-01.
const int64_t kDateEpoch = DaysFromCivil(1899, 12, 30);
const int64_t kLastDateDay = DaysFromCivil(9999, 12, 31);

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A DATE from a day number (days since 1899-12-30) and a time of day: the fraction's magnitude is the time,
// so a day before the epoch subtracts it.
DATE ComposeDate(int64_t dayNumber, int64_t secondOfDay) {
    const double time = static_cast<double>(secondOfDay) / kSecondsPerDay;
    const auto day = static_cast<double>(dayNumber);
    return dayNumber >= 0 ? day + time : day - time;
}

// Reads the fixed-shape pieces of date and time text.
class Scanner {
public:
    explicit Scanner(std::u16string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ == text_.size(); }
    size_t Position() const { return pos_; }
    void Rewind(size_t pos) { pos_ = pos; }

    bool Take(char16_t c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Between minCount and maxCount decimal digits.
    bool Number(int minCount, int maxCount, int* value) {
        int count = 0;
        *value = 0;
        while (count < maxCount && pos_ < text_.size() && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
            *value = *value * 10 + (text_[pos_] - u'0');
            ++pos_;
            ++count;
        }
        return count >= minCount;
    }

    // The separator between a date and its time: 'T' or one or more blanks.
    bool DateTimeSeparator() {
        if (Take(u'T')) {
            return true;
        }
        const size_t start = pos_;
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
        return pos_ > start;
    }

private:
    std::u16string_view text_;
    size_t pos_ = 0;
};

// "yyyy-mm-dd" as a day number since 1899-12-30; false when it is no valid date of years 100 to 9999.
bool ScanDate(Scanner& in, int64_t* dayNumber) {
    int year, month, day;
    if (!in.Number(4, 4, &year) || !in.Take(u'-') || !in.Number(1, 2, &month) || !in.Take(u'-') ||
        !in.Number(1, 2, &day)) {
        return false;
    }
    if (year < 100 || month < 1 || month > 12 || day < 1 ||
        static_cast<unsigned>(day) > DaysInMonth(year, month)) {
        return false;
    }
    *dayNumber = DaysFromCivil(year, month, day) - kDateEpoch;
    return true;
}

// "hh:mm" or "hh:mm:ss" as seconds since midnight.
bool ScanTime(Scanner& in, int64_t* secondOfDay) {
    int hour, minute, second = 0;
    if (!in.Number(1, 2, &hour) || !in.Take(u':') || !in.Number(2, 2, &minute)) {
        return false;
    }
    if (in.Take(u':') && !in.Number(2, 2, &second)) {
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    *secondOfDay = (hour * 60 + minute) * 60 + second;
    return true;
}

// Seconds since midnight of a DATE's time of day, rounded; a rounding up to midnight moves to the next day,
// except on the last valid day.
void SplitDate(DATE date, int64_t* calendarDay, int64_t* secondOfDay) {
    const double whole = std::trunc(date);
    *calendarDay = static_cast<int64_t>(whole) + kDateEpoch;
    *secondOfDay = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (*secondOfDay >= kSecondsPerDay) {
        if (*calendarDay < kLastDateDay) {
            ++*calendarDay;
            *secondOfDay = 0;
        } else {
            *secondOfDay = kSecondsPerDay - 1;
        }
    }
}

} // namespace

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::u16string FormatSigned(int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return Widen(std::string_view(buffer, result.ptr - buffer));
}

std::u16string FormatUnsigned(uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return Widen(std::string_view(buffer, result.ptr - buffer));
}

std::u16string FormatFloating(double value, int significantDigits) {
    if (value == 0) {
        return u"0"; // also for -0
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, significantDigits);
    std::u16string text = Widen(std::string_view(buffer, result.ptr - buffer));
    for (char16_t& c : text) {
        c = UpperCase(c);
    }
    return text;
}

std::u16string FormatCurrency(CY value) {
    const bool negative = value.int64 < 0;
    const uint64_t magnitude =
        negative ? 0 - static_cast<uint64_t>(value.int64) : static_cast<uint64_t>(value.int64);
    std::u16string text = (negative ? u"-" : u"") + FormatUnsigned(magnitude / 10000);
    unsigned fraction = magnitude % 10000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof(digits), ".%04u", fraction);
        std::string_view decimals(digits);
        while (decimals.back() == '0') {
            decimals.remove_suffix(1);
        }
        text += Widen(decimals);
    }
    return text;
}

bool FormatDate(DATE date, std::u16string* text) {
    if (!IsValidDate(date)) {
        return false;
    }
    int64_t calendarDay, secondOfDay;
    SplitDate(date, &calendarDay, &secondOfDay);
    const CivilDate civil = CivilFromDays(calendarDay);
    const int hour = static_cast<int>(secondOfDay / 3600);
    const int minute = static_cast<int>(secondOfDay / 60 % 60);
    const int second = static_cast<int>(secondOfDay % 60);
    char buffer[40];
    if (calendarDay == kDateEpoch) {
        std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d", hour, minute, second);
    } else if (secondOfDay == 0) {
        std::snprintf(buffer, sizeof(buffer), "%04d-%02u-%02u", static_cast<int>(civil.year), civil.month,
                      civil.day);
    } else {
        std::snprintf(buffer, sizeof(buffer), "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(civil.year),
                      civil.month, civil.day, hour, minute, second);
    }
    *text = Widen(buffer);
    return true;
}

bool ParseDate(std::u16string_view text, DATE* date) {
    Scanner in(TrimBlanks(text));
    int64_t dayNumber = 0;
    int64_t secondOfDay = 0;
    const size_t start = in.Position();
    if (ScanDate(in, &dayNumber)) {
        if (in.AtEnd()) {
            *date = ComposeDate(dayNumber, 0);
            return true;
        }
        if (!in.DateTimeSeparator()) {
            return false;
        }
    } else {
        dayNumber = 0;
        in.Rewind(start);
    }
    if (!ScanTime(in, &secondOfDay) || !in.AtEnd()) {
        return false;
    }
    *date = ComposeDate(dayNumber, secondOfDay);
    return true;
}

} // namespace vr::automation
