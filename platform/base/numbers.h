// Locale-free number parsing with the old runtime's rules: the one module every component uses.
#pragma once

#include "platform/base/types.h"

namespace vr {

// Every function here may be called from any thread at the same time (no shared state).
//
// As the old runtime's wcstol/wcstoul/wcstod, in the "C" locale, on UTF-16 text:
// - leading blanks (space, \t \n \v \f \r) are skipped, then an optional sign;
// - base 0 reads "0x"/"0X" as hexadecimal, a leading "0" as octal, else decimal; base 16 accepts "0x";
// - Wcstol clamps to the 32-bit range (LONG_MIN/LONG_MAX of the system) and sets *overflow;
//   Wcstoul wraps a negative number as the old runtime did and clamps at 0xFFFFFFFF;
// - Wcstod reads decimal floating text only, [sign]digits[.digits][(e|E|d|D)[sign]digits] with a digit in the
//   mantissa: no hex floats, no "inf"/"nan"; an exponent mark without digits is not part of the number;
//   an overflow gives +/-HUGE_VAL and sets *overflow, an underflow gives 0 or a denormal;
// - a null text converts nothing (end receives null);
// - end receives the position after the last character used (the start when nothing was converted).
LONG Wcstol(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow = nullptr);
ULONG Wcstoul(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow = nullptr);
LONGLONG Wcstoi64(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow = nullptr);
ULONGLONG Wcstoui64(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow = nullptr);
double Wcstod(const OLECHAR* text, const OLECHAR** end, bool* overflow = nullptr);

// The same rules on 8-bit text.
LONG Strtol(const char* text, const char** end, int base, bool* overflow = nullptr);
ULONG Strtoul(const char* text, const char** end, int base, bool* overflow = nullptr);
LONGLONG Strtoi64(const char* text, const char** end, int base, bool* overflow = nullptr);
ULONGLONG Strtoui64(const char* text, const char** end, int base, bool* overflow = nullptr);
double Strtod(const char* text, const char** end, bool* overflow = nullptr);

} // namespace vr
