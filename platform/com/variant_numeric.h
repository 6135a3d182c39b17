// Numbers read from VARIANTs and stored into them, with the automation range checks and rounding.
#pragma once

#include "platform/com/variant.h"

#include <string_view>

namespace vr::automation {

// A number as read from a VARIANT, in the widest form of its kind, so that nothing is lost before the
// target's range check.
struct Numeric {
    enum class Kind { Signed, Unsigned, Floating, Currency };
    Kind kind = Kind::Signed;
    int64_t integer = 0; // Signed; Currency scaled by 10000
    uint64_t unsignedInteger = 0;
    double floating = 0;
    bool fromBool = false; // a VT_BOOL: true sets every bit of an unsigned target
};

// Reads a by-value VARIANT as a number: VT_EMPTY is 0, VT_BOOL 0 or -1, text is parsed (ParseNumber);
// DISP_E_TYPEMISMATCH for any other type.
[[nodiscard]] HRESULT ReadNumeric(const VARIANT& value, Numeric* number);

// Decimal text with blanks around, an optional sign, a decimal point and an exponent. DISP_E_TYPEMISMATCH
// for anything else, DISP_E_OVERFLOW beyond the range of a double.
[[nodiscard]] HRESULT ParseNumber(std::u16string_view text, Numeric* number);

// Stores number into out as vt: an integer type, VT_R4, VT_R8, VT_CY, VT_DATE or VT_BOOL. Floating values
// round half to even. DISP_E_OVERFLOW (out untouched) when the value does not fit.
[[nodiscard]] HRESULT StoreNumeric(const Numeric& number, VARTYPE vt, VARIANT* out);

// -1, 0 or 1 as a is less than, equal to or greater than b, exactly across integer kinds.
int CompareNumeric(const Numeric& a, const Numeric& b);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfToEven(double value);

} // namespace vr::automation
