// Automation values as text and back, in the C locale: integers, floating values, currency, dates.
#pragma once

#include "platform/base/types.h"

#include <string>
#include <string_view>

namespace vr::automation {

// Text without the blanks (space, \t \n \v \f \r) at either end.
std::u16string_view TrimBlanks(std::u16string_view text);

std::u16string FormatSigned(int64_t value);
std::u16string FormatUnsigned(uint64_t value);
// The shortest of %G style with the given significant digits: "0.1", "1.5", "1E+20", "1E-05"; -0 as "0".
std::u16string FormatFloating(double value, int significantDigits);
// The scaled value with up to four decimals and no trailing zeros: "12.5", "-0.0001", "3".
std::u16string FormatCurrency(CY value);

// The valid DATEs, 0100-01-01 00:00:00 to 9999-12-31 23:59:59: before 1899-12-30 the time of day is
// subtracted, so the first day spans (-657435, -657434].
inline constexpr double kDateLowerLimit = -657435.0;
inline constexpr double kDateUpperLimit = 2958466.0;
constexpr bool IsValidDate(DATE date) {
    return date > kDateLowerLimit && date < kDateUpperLimit;
}

// "yyyy-mm-dd hh:mm:ss" rounded to the second; "yyyy-mm-dd" at midnight; "hh:mm:ss" on 1899-12-30.
// False for a date outside the valid range.
bool FormatDate(DATE date, std::u16string* text);
// Reads "yyyy-mm-dd", "hh:mm[:ss]" or a date and a time separated by blanks or 'T', blanks around allowed.
bool ParseDate(std::u16string_view text, DATE* date);

} // namespace vr::automation
