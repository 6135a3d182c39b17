// Numbers read from VARIANTs and stored into them, with the automation range checks and rounding.
#include "platform/com/variant_numeric.h"

#include "platform/base/numbers.h"
#include "platform/com/variant_text.h"

#include <cmath>
#include <string>

namespace vr::automation {

namespace {

using Int128 = __int128;
using Kind = Numeric::Kind;

constexpr int64_t kCurrencyScale = 10000;
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

Numeric Signed(int64_t value, bool fromBool = false) {
    Numeric n;
    n.kind = Kind::Signed;
    n.integer = value;
    n.fromBool = fromBool;
    return n;
}

Numeric Unsigned(uint64_t value) {
    Numeric n;
    n.kind = Kind::Unsigned;
    n.unsignedInteger = value;
    return n;
}

Numeric Floating(double value) {
    Numeric n;
    n.kind = Kind::Floating;
    n.floating = value;
    return n;
}

Numeric Currency(int64_t scaled) {
    Numeric n;
    n.kind = Kind::Currency;
    n.integer = scaled;
    return n;
}

bool IsIntegerLiteral(std::u16string_view text) {
    if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

// Integer text read exactly, so that 64-bit values keep every digit; false when it does not fit 64 bits.
bool ParseInteger(const std::u16string& text, Numeric* number) {
    const OLECHAR* start = text.c_str();
    const OLECHAR* end = nullptr;
    bool overflow = false;
    const LONGLONG value = Wcstoi64(start, &end, 10, &overflow);
    if (!overflow && end == start + text.size()) {
        *number = Signed(value);
        return true;
    }
    if (text.front() == u'-') {
        return false;
    }
    overflow = false;
    const ULONGLONG positive = Wcstoui64(start, &end, 10, &overflow);
    if (!overflow && end == start + text.size()) {
        *number = Unsigned(positive);
        return true;
    }
    return false;
}

// A currency value rounded to a whole number, halves to even.
int64_t RoundCurrency(int64_t scaled) {
    int64_t quotient = scaled / kCurrencyScale;
    const int64_t remainder = scaled % kCurrencyScale;
    const int64_t half = kCurrencyScale / 2;
    const int64_t step = remainder < 0 ? -1 : 1;
    const int64_t magnitude = remainder < 0 ? -remainder : remainder;
    if (magnitude > half || (magnitude == half && quotient % 2 != 0)) {
        quotient += step;
    }
    return quotient;
}

// The number rounded to an integer wide enough for every 64-bit value; false for NaN or beyond 64 bits.
bool ToWholeNumber(const Numeric& n, Int128* value) {
    switch (n.kind) {
    case Kind::Signed:
        *value = n.integer;
        return true;
    case Kind::Unsigned:
        *value = n.unsignedInteger;
        return true;
    case Kind::Currency:
        *value = RoundCurrency(n.integer);
        return true;
    case Kind::Floating:
        break;
    }
    const double rounded = RoundHalfToEven(n.floating);
    if (std::isnan(rounded) || rounded < -kTwoTo63 || rounded >= kTwoTo64) {
        return false;
    }
    *value = rounded < 0 ? Int128{static_cast<int64_t>(rounded)} : Int128{static_cast<uint64_t>(rounded)};
    return true;
}

double ToDouble(const Numeric& n) {
    switch (n.kind) {
    case Kind::Signed:
        return static_cast<double>(n.integer);
    case Kind::Unsigned:
        return static_cast<double>(n.unsignedInteger);
    case Kind::Currency:
        return static_cast<double>(n.integer) / kCurrencyScale;
    case Kind::Floating:
        break;
    }
    return n.floating;
}

bool IsNonZero(const Numeric& n) {
    switch (n.kind) {
    case Kind::Signed:
    case Kind::Currency:
        return n.integer != 0;
    case Kind::Unsigned:
        return n.unsignedInteger != 0;
    case Kind::Floating:
        break;
    }
    return n.floating != 0;
}

struct IntegerRange {
    Int128 min;
    Int128 max;
    bool isUnsigned;
};

IntegerRange RangeOf(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
        return {INT8_MIN, INT8_MAX, false};
    case VT_UI1:
        return {0, UINT8_MAX, true};
    case VT_I2:
        return {INT16_MIN, INT16_MAX, false};
    case VT_UI2:
        return {0, UINT16_MAX, true};
    case VT_I4:
    case VT_INT:
        return {INT32_MIN, INT32_MAX, false};
    case VT_UI4:
    case VT_UINT:
        return {0, UINT32_MAX, true};
    case VT_I8:
        return {INT64_MIN, INT64_MAX, false};
    default: // VT_UI8
        return {0, UINT64_MAX, true};
    }
}

void StoreInteger(Int128 value, VARTYPE vt, VARIANT* out) {
    out->vt = vt;
    switch (vt) {
    case VT_I1:
        out->cVal = static_cast<CHAR>(value);
        break;
    case VT_UI1:
        out->bVal = static_cast<BYTE>(value);
        break;
    case VT_I2:
        out->iVal = static_cast<SHORT>(value);
        break;
    case VT_UI2:
        out->uiVal = static_cast<USHORT>(value);
        break;
    case VT_I4:
    case VT_INT:
        out->lVal = static_cast<LONG>(value);
        break;
    case VT_UI4:
    case VT_UINT:
        out->ulVal = static_cast<ULONG>(value);
        break;
    case VT_I8:
        out->llVal = static_cast<LONGLONG>(value);
        break;
    default:
        out->ullVal = static_cast<ULONGLONG>(value);
        break;
    }
}

HRESULT StoreAsInteger(const Numeric& n, VARTYPE vt, VARIANT* out) {
    const IntegerRange range = RangeOf(vt);
    Int128 value;
    if (n.fromBool && range.isUnsigned) {
        value = n.integer != 0 ? range.max : 0;
    } else if (!ToWholeNumber(n, &value) || value < range.min || value > range.max) {
        return DISP_E_OVERFLOW;
    }
    StoreInteger(value, vt, out);
    return S_OK;
}

HRESULT StoreAsFloat(const Numeric& n, VARIANT* out) {
    const auto value = static_cast<float>(ToDouble(n));
    if (std::isinf(value)) {
        return DISP_E_OVERFLOW;
    }
    out->vt = VT_R4;
    out->fltVal = value;
    return S_OK;
}

HRESULT StoreAsCurrency(const Numeric& n, VARIANT* out) {
    Int128 scaled;
    if (n.kind == Kind::Currency) {
        scaled = n.integer;
    } else if (n.kind == Kind::Floating) {
        const double rounded = RoundHalfToEven(n.floating * kCurrencyScale);
        if (std::isnan(rounded) || rounded < -kTwoTo63 || rounded >= kTwoTo63) {
            return DISP_E_OVERFLOW;
        }
        scaled = static_cast<int64_t>(rounded);
    } else {
        Int128 whole;
        static_cast<void>(ToWholeNumber(n, &whole)); // integers always convert
        scaled = whole * kCurrencyScale;
    }
    if (scaled < INT64_MIN || scaled > INT64_MAX) {
        return DISP_E_OVERFLOW;
    }
    out->vt = VT_CY;
    out->cyVal.int64 = static_cast<int64_t>(scaled);
    return S_OK;
}

HRESULT StoreAsDate(const Numeric& n, VARIANT* out) {
    const double value = ToDouble(n);
    if (!IsValidDate(value)) {
        return DISP_E_OVERFLOW;
    }
    out->vt = VT_DATE;
    out->date = value;
    return S_OK;
}

template <class T>
int Compare(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

Int128 ScaledExactly(const Numeric& n) {
    switch (n.kind) {
    case Kind::Signed:
        return Int128{n.integer} * kCurrencyScale;
    case Kind::Unsigned:
        return Int128{n.unsignedInteger} * kCurrencyScale;
    default:
        return n.integer;
    }
}

} // namespace

double RoundHalfToEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor; // exact for every finite double
    if (fraction > 0.5) {
        return floor + 1;
    }
    if (fraction < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

HRESULT ParseNumber(std::u16string_view text, Numeric* number) {
    const std::u16string trimmed(TrimBlanks(text)); // zero-terminated for the parser
    if (trimmed.empty()) {
        return DISP_E_TYPEMISMATCH;
    }
    if (IsIntegerLiteral(trimmed) && ParseInteger(trimmed, number)) {
        return S_OK;
    }
    const OLECHAR* start = trimmed.c_str();
    const OLECHAR* end = nullptr;
    bool overflow = false;
    const double value = Wcstod(start, &end, &overflow);
    if (end != start + trimmed.size()) {
        return DISP_E_TYPEMISMATCH; // also stops at a zero unit inside the text
    }
    if (overflow && std::isinf(value)) {
        return DISP_E_OVERFLOW;
    }
    *number = Floating(value);
    return S_OK;
}

HRESULT ReadNumeric(const VARIANT& value, Numeric* number) {
    switch (value.vt) {
    case VT_EMPTY:
        *number = Signed(0);
        return S_OK;
    case VT_BOOL:
        *number = Signed(value.boolVal != VARIANT_FALSE ? -1 : 0, true);
        return S_OK;
    case VT_I1:
        *number = Signed(static_cast<int8_t>(value.cVal));
        return S_OK;
    case VT_I2:
        *number = Signed(value.iVal);
        return S_OK;
    case VT_I4:
        *number = Signed(value.lVal);
        return S_OK;
    case VT_INT:
        *number = Signed(value.intVal);
        return S_OK;
    case VT_I8:
        *number = Signed(value.llVal);
        return S_OK;
    case VT_UI1:
        *number = Unsigned(value.bVal);
        return S_OK;
    case VT_UI2:
        *number = Unsigned(value.uiVal);
        return S_OK;
    case VT_UI4:
        *number = Unsigned(value.ulVal);
        return S_OK;
    case VT_UINT:
        *number = Unsigned(value.uintVal);
        return S_OK;
    case VT_UI8:
        *number = Unsigned(value.ullVal);
        return S_OK;
    case VT_R4:
        *number = Floating(value.fltVal);
        return S_OK;
    case VT_R8:
        *number = Floating(value.dblVal);
        return S_OK;
    case VT_DATE:
        *number = Floating(value.date);
        return S_OK;
    case VT_CY:
        *number = Currency(value.cyVal.int64);
        return S_OK;
    case VT_BSTR:
        return ParseNumber(BstrView(value.bstrVal), number);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT StoreNumeric(const Numeric& number, VARTYPE vt, VARIANT* out) {
    switch (vt) {
    case VT_R4:
        return StoreAsFloat(number, out);
    case VT_R8:
        out->vt = VT_R8;
        out->dblVal = ToDouble(number);
        return S_OK;
    case VT_CY:
        return StoreAsCurrency(number, out);
    case VT_DATE:
        return StoreAsDate(number, out);
    case VT_BOOL:
        out->vt = VT_BOOL;
        out->boolVal = IsNonZero(number) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    default:
        return StoreAsInteger(number, vt, out);
    }
}

int CompareNumeric(const Numeric& a, const Numeric& b) {
    if (a.kind == Kind::Floating || b.kind == Kind::Floating) {
        // long double holds every 64-bit integer exactly.
        const auto widen = [](const Numeric& n) {
            return n.kind == Kind::Signed     ? static_cast<long double>(n.integer)
                   : n.kind == Kind::Unsigned ? static_cast<long double>(n.unsignedInteger)
                   : n.kind == Kind::Currency ? static_cast<long double>(n.integer) / kCurrencyScale
                                              : static_cast<long double>(n.floating);
        };
        return Compare(widen(a), widen(b));
    }
    return Compare(ScaledExactly(a), ScaledExactly(b));
}

} // namespace vr::automation
