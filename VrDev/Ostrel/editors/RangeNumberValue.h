// A whole-number setting between two limits: the check the integer rows of the studio's editors share, and
// the attribute value (CRangeNumberValue) that makes the editor control refuse other texts as they are typed.
//
// Usage: RangeNumberVerdict(text, range) for a typed text; CRangeNumberValue in place of a plain CAttrValue
// for a row the control edits. A number converts whole, its base taken from its prefix (0x hexadecimal, a
// leading 0 octal, else decimal); the extreme 32-bit values count as overflows and are refused.
// Threads: none of its own (a value belongs to its form's window thread).
#pragma once

#include "common/attrvalues/AttrValue.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

struct IntegerRange {
    int32_t lowest = INT32_MIN;
    int32_t highest = INT32_MAX;
    std::u16string defaultText; // accepted as it stands ("unbounded"; empty: none)
};

enum class NumberVerdict { Undefined = -1, Refused = 0, Accepted = 1 };

// Undefined for the undefined and default markers, Accepted for the default text or a whole number within
// the range, else Refused.
NumberVerdict RangeNumberVerdict(std::u16string_view text, const IntegerRange& range);
// The refusal an editor shows: "'x' is no whole number from 0 to 2147483647."
std::u16string RangeRefusalText(std::u16string_view text, const IntegerRange& range);

} // namespace ostrel

class CRangeNumberValue : public CAttrValue {
public:
    CRangeNumberValue(const char* name, const char* options, ostrel::IntegerRange range);
    int CompareValue(const char* text, std::string* completion) override;
    const ostrel::IntegerRange& Range() const { return range_; }

private:
    ostrel::IntegerRange range_; // fixed at construction
};
