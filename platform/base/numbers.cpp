// Locale-free integer and floating-point parsing of UTF-16 and 8-bit text with the old runtime's rules.
#include "platform/base/numbers.h"

#include "platform/base/c_locale.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace vr {
namespace {

template <typename Char>
bool IsBlank(Char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

template <typename Char>
bool IsDigit(Char c) {
    return c >= '0' && c <= '9';
}

// The value of c as a digit of any base up to 36, or 99 when it is no digit at all.
template <typename Char>
unsigned DigitValue(Char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return 99;
}

// What the integer scanner read: the magnitude (saturated at the type's limit), the sign, whether any digit
// was read, whether the magnitude went past `limit`, and where the number ended.
template <typename Char>
struct ScannedInteger {
    uint64_t magnitude = 0;
    bool negative = false;
    bool anyDigit = false;
    bool tooLarge = false;
    const Char* end = nullptr;
};

// Reads [blanks][sign][0x|0]digits in the given base. `limit` is the largest magnitude the caller can hold;
// digits after that are still consumed, as the old runtime did, so that end lies after the whole number.
template <typename Char>
ScannedInteger<Char> ScanInteger(const Char* text, int base, uint64_t limit) {
    ScannedInteger<Char> result;
    result.end = text;
    if (text == nullptr || base < 0 || base == 1 || base > 36) {
        return result;
    }
    const Char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p == '-' || *p == '+') {
        result.negative = *p == '-';
        ++p;
    }
    bool hexPrefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (base == 0) {
        base = hexPrefix ? 16 : (p[0] == '0' ? 8 : 10);
    }
    if (base == 16 && hexPrefix) {
        // The prefix is not a digit: "0x" with nothing after it converts nothing, as in the old runtime.
        p += 2;
    }
    const uint64_t ubase = static_cast<uint64_t>(base);
    for (unsigned digit = DigitValue(*p); digit < ubase; digit = DigitValue(*++p)) {
        result.anyDigit = true;
        if (result.tooLarge) {
            continue;
        }
        if (result.magnitude > (limit - digit) / ubase) {
            result.tooLarge = true;
            result.magnitude = limit;
        } else {
            result.magnitude = result.magnitude * ubase + digit;
        }
    }
    if (result.anyDigit) {
        result.end = p;
    }
    return result;
}

template <typename Char>
void StoreEnd(const Char** end, const Char* position) {
    if (end != nullptr) {
        *end = position;
    }
}

void StoreOverflow(bool* overflow, bool value) {
    if (overflow != nullptr) {
        *overflow = value;
    }
}

// Signed conversion: clamps to [min, max] of the target type.
template <typename Int, typename Char>
Int ToSigned(const Char* text, const Char** end, int base, bool* overflow) {
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<Int>::max());
    // The magnitude of the minimum is one more than the maximum; scan up to it, then clamp by sign.
    auto scanned = ScanInteger(text, base, kMax + 1);
    StoreEnd(end, scanned.end);
    uint64_t allowed = scanned.negative ? kMax + 1 : kMax;
    bool outOfRange = scanned.tooLarge || scanned.magnitude > allowed;
    StoreOverflow(overflow, outOfRange);
    if (outOfRange) {
        return scanned.negative ? std::numeric_limits<Int>::min() : std::numeric_limits<Int>::max();
    }
    if (scanned.negative) {
        // -(magnitude) computed in unsigned arithmetic, so that the minimum itself does not overflow.
        return static_cast<Int>(static_cast<std::make_unsigned_t<Int>>(0u - scanned.magnitude));
    }
    return static_cast<Int>(scanned.magnitude);
}

// Unsigned conversion: a negative number wraps ("-1" is the maximum); a magnitude too large clamps to the
// maximum whatever the sign.
template <typename UInt, typename Char>
UInt ToUnsigned(const Char* text, const Char** end, int base, bool* overflow) {
    constexpr uint64_t kMax = std::numeric_limits<UInt>::max();
    auto scanned = ScanInteger(text, base, kMax);
    StoreEnd(end, scanned.end);
    StoreOverflow(overflow, scanned.tooLarge);
    if (scanned.tooLarge) {
        return static_cast<UInt>(kMax);
    }
    UInt value = static_cast<UInt>(scanned.magnitude);
    return scanned.negative ? static_cast<UInt>(0u - value) : value;
}

// Measures the longest prefix that is a decimal floating number:
// [blanks][sign]digits[.digits][(e|E|d|D)[sign]digits], at least one digit in the mantissa. The old runtime
// also took 'd'/'D' as the exponent mark. Copies it into `ascii` (exponent mark as 'e') and returns where it
// ends, or the start when there is none. Hex floats, "inf" and "nan" are therefore never numbers.
template <typename Char>
const Char* ScanDecimal(const Char* text, std::string& ascii) {
    const Char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p == '-' || *p == '+') {
        ascii.push_back(static_cast<char>(*p++));
    }
    bool anyDigit = false;
    for (; IsDigit(*p); ++p) {
        ascii.push_back(static_cast<char>(*p));
        anyDigit = true;
    }
    if (*p == '.') {
        ascii.push_back('.');
        for (++p; IsDigit(*p); ++p) {
            ascii.push_back(static_cast<char>(*p));
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return text;
    }
    if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
        // The exponent belongs to the number only when at least one digit follows the mark and its sign.
        const Char* q = p + 1;
        std::string exponent = "e";
        if (*q == '-' || *q == '+') {
            exponent.push_back(static_cast<char>(*q++));
        }
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q) {
                exponent.push_back(static_cast<char>(*q));
            }
            ascii += exponent;
            p = q;
        }
    }
    return p;
}

template <typename Char>
double ToDouble(const Char* text, const Char** end, bool* overflow) {
    StoreEnd(end, text);
    StoreOverflow(overflow, false);
    if (text == nullptr) {
        return 0.0;
    }
    std::string ascii;
    const Char* numberEnd = ScanDecimal(text, ascii);
    if (numberEnd == text) {
        return 0.0;
    }
    StoreEnd(end, numberEnd);
    errno = 0;
    // strtod_l in the "C" locale: the decimal point is "." whatever the program did with setlocale().
    double value = strtod_l(ascii.c_str(), nullptr, detail::CLocale());
    // ERANGE also reports an underflow; only an infinite result is an overflow.
    if (errno == ERANGE && std::isinf(value)) {
        StoreOverflow(overflow, true);
        value = std::signbit(value) ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

} // namespace

LONG Wcstol(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow) {
    return ToSigned<LONG>(text, end, base, overflow);
}

ULONG Wcstoul(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow) {
    return ToUnsigned<ULONG>(text, end, base, overflow);
}

LONGLONG Wcstoi64(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow) {
    return ToSigned<LONGLONG>(text, end, base, overflow);
}

ULONGLONG Wcstoui64(const OLECHAR* text, const OLECHAR** end, int base, bool* overflow) {
    return ToUnsigned<ULONGLONG>(text, end, base, overflow);
}

double Wcstod(const OLECHAR* text, const OLECHAR** end, bool* overflow) {
    return ToDouble(text, end, overflow);
}

LONG Strtol(const char* text, const char** end, int base, bool* overflow) {
    return ToSigned<LONG>(text, end, base, overflow);
}

ULONG Strtoul(const char* text, const char** end, int base, bool* overflow) {
    return ToUnsigned<ULONG>(text, end, base, overflow);
}

LONGLONG Strtoi64(const char* text, const char** end, int base, bool* overflow) {
    return ToSigned<LONGLONG>(text, end, base, overflow);
}

ULONGLONG Strtoui64(const char* text, const char** end, int base, bool* overflow) {
    return ToUnsigned<ULONGLONG>(text, end, base, overflow);
}

double Strtod(const char* text, const char** end, bool* overflow) {
    return ToDouble(text, end, overflow);
}

} // namespace vr
