// The texts of one row of the TestResults table: status words, the value's text, the cleaned description and
// the date and time of the row.
//
// Threads: no shared state; any thread.
#pragma once

#include "platform/com/variant.h"

#include <ctime>
#include <string>
#include <string_view>

// The word a TestStatus (0 to 7) is stored as ("Unknown", "Passed", "Failed", "Warning", "Interrupted",
// "Processing", "Oncoming", "Error"); null for any other number.
const OLECHAR* TestStatusWord(LONG status);

// True when results of a device with this serial number are not stored: no SN, an empty one, or "test" or
// "<Undefined>" in any letter case.
bool IsResultStorageSkipped(const OLECHAR* sn);

// True for an optional argument left out (VT_ERROR holding DISP_E_PARAMNOTFOUND, also by reference).
bool IsMissingArgument(const VARIANT& value);

// The TestResultValue text of a value: a VT_R4 or VT_R8 number as the shortest "%G"-style text that reads
// back to the same number ("0.1", "123456789", "1E+20"), any other value as its display text
// (VariantToTextBstr: "%G" with six digits would lose the number).
std::u16string ResultValueText(const VARIANT& value);

// The description without carriage returns, line feeds, apostrophes and double quotes.
std::u16string CleanDescription(std::u16string_view description);

// The local date "%B %d, %Y" ("March 05, 2024") and time "%I:%M:%S %p" ("01:02:03 PM") of a moment, with
// the "C" locale's month names whatever the program's locale; a part that cannot be made is empty.
struct ResultTimestamp {
    std::u16string date;
    std::u16string time;
};
ResultTimestamp FormatResultTimestamp(std::time_t when);
