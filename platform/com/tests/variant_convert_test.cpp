// VariantChangeType: every pair of the common value types, then rounding, text, dates, references, objects.
#include "platform/base/text.h"
#include "platform/com/tests/counting_objects.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

namespace {

using vrtest::CountingUnknown;
using vrtest::ValueObject;

// A table cell: a value to convert from or the result expected (a value, or a failure HRESULT).
struct Cell {
    HRESULT hr = S_OK;
    VARTYPE vt = VT_EMPTY;
    int64_t integer = 0;
    double floating = 0;
    const char16_t* text = nullptr;
};

Cell Int(VARTYPE vt, int64_t value) {
    return {S_OK, vt, value, 0, nullptr};
}
Cell I1(int64_t v) {
    return Int(VT_I1, v);
}
Cell I2(int64_t v) {
    return Int(VT_I2, v);
}
Cell I4(int64_t v) {
    return Int(VT_I4, v);
}
Cell UI1(int64_t v) {
    return Int(VT_UI1, v);
}
Cell UI2(int64_t v) {
    return Int(VT_UI2, v);
}
Cell UI4(int64_t v) {
    return Int(VT_UI4, v);
}
Cell Bool(bool v) {
    return Int(VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE);
}
Cell Error(HRESULT v) {
    return Int(VT_ERROR, v);
}
Cell Cy(int64_t scaled) {
    return Int(VT_CY, scaled);
}
Cell R4(float v) {
    return {S_OK, VT_R4, 0, v, nullptr};
}
Cell R8(double v) {
    return {S_OK, VT_R8, 0, v, nullptr};
}
Cell Date(double v) {
    return {S_OK, VT_DATE, 0, v, nullptr};
}
Cell Str(const char16_t* v) {
    return {S_OK, VT_BSTR, 0, 0, v};
}
const Cell kEmpty{S_OK, VT_EMPTY};
const Cell kNull{S_OK, VT_NULL};
const Cell OVF{DISP_E_OVERFLOW};
const Cell MIS{DISP_E_TYPEMISMATCH};

VARIANT Make(const Cell& cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = cell.vt;
    switch (cell.vt) {
    case VT_I1:
        v.cVal = static_cast<CHAR>(cell.integer);
        break;
    case VT_I2:
        v.iVal = static_cast<SHORT>(cell.integer);
        break;
    case VT_I4:
        v.lVal = static_cast<LONG>(cell.integer);
        break;
    case VT_UI1:
        v.bVal = static_cast<BYTE>(cell.integer);
        break;
    case VT_UI2:
        v.uiVal = static_cast<USHORT>(cell.integer);
        break;
    case VT_UI4:
        v.ulVal = static_cast<ULONG>(cell.integer);
        break;
    case VT_BOOL:
        v.boolVal = static_cast<VARIANT_BOOL>(cell.integer);
        break;
    case VT_ERROR:
        v.scode = static_cast<SCODE>(cell.integer);
        break;
    case VT_CY:
        v.cyVal.int64 = cell.integer;
        break;
    case VT_R4:
        v.fltVal = static_cast<float>(cell.floating);
        break;
    case VT_R8:
        v.dblVal = cell.floating;
        break;
    case VT_DATE:
        v.date = cell.floating;
        break;
    case VT_BSTR:
        v.bstrVal = SysAllocString(cell.text);
        break;
    default:
        break;
    }
    return v;
}

// The value as text for messages and comparison: "type:value".
std::string Describe(const VARIANT& v) {
    const std::string type = std::to_string(v.vt) + ":";
    switch (v.vt) {
    case VT_I1:
        return type + std::to_string(static_cast<int8_t>(v.cVal));
    case VT_I2:
        return type + std::to_string(v.iVal);
    case VT_I4:
        return type + std::to_string(v.lVal);
    case VT_UI1:
        return type + std::to_string(v.bVal);
    case VT_UI2:
        return type + std::to_string(v.uiVal);
    case VT_UI4:
        return type + std::to_string(v.ulVal);
    case VT_BOOL:
        return type + std::to_string(v.boolVal);
    case VT_ERROR:
        return type + std::to_string(v.scode);
    case VT_CY:
        return type + std::to_string(v.cyVal.int64);
    case VT_R4:
        return type + std::to_string(v.fltVal) + "/" + std::to_string(std::bit_cast<uint32_t>(v.fltVal));
    case VT_R8:
        return type + std::to_string(v.dblVal) + "/" + std::to_string(std::bit_cast<uint64_t>(v.dblVal));
    case VT_DATE:
        return type + std::to_string(v.date) + "/" + std::to_string(std::bit_cast<uint64_t>(v.date));
    case VT_BSTR:
        return type + "\"" + vr::BstrToUtf8(v.bstrVal) + "\"";
    default:
        return type;
    }
}

struct Row {
    Cell source;
    std::vector<Cell> expected; // one per kTargets column
};

const VARTYPE kTargets[] = {VT_I2,   VT_I4,   VT_UI1,   VT_UI2,  VT_UI4,   VT_I1,   VT_R4, VT_R8,
                            VT_BOOL, VT_BSTR, VT_EMPTY, VT_NULL, VT_ERROR, VT_DATE, VT_CY};

const HRESULT kMissing = DISP_E_PARAMNOTFOUND;
const double kLeapDayNoon = 45351.5; // 2024-02-29 12:00:00
const float kTenth = 0.1f;

// Columns: I2, I4, UI1, UI2, UI4, I1, R4, R8, BOOL, BSTR, EMPTY, NULL, ERROR, DATE, CY.
// clang-format off
const Row kTable[] = {
    {I2(-2), {I2(-2), I4(-2), OVF, OVF, OVF, I1(-2), R4(-2), R8(-2), Bool(true), Str(u"-2"), MIS, MIS, MIS, Date(-2), Cy(-20000)}},
    {I2(300), {I2(300), I4(300), OVF, UI2(300), UI4(300), OVF, R4(300), R8(300), Bool(true), Str(u"300"), MIS, MIS, MIS, Date(300), Cy(3000000)}},
    {I4(0), {I2(0), I4(0), UI1(0), UI2(0), UI4(0), I1(0), R4(0), R8(0), Bool(false), Str(u"0"), MIS, MIS, MIS, Date(0), Cy(0)}},
    {I4(-40000), {OVF, I4(-40000), OVF, OVF, OVF, OVF, R4(-40000), R8(-40000), Bool(true), Str(u"-40000"), MIS, MIS, MIS, Date(-40000), Cy(-400000000)}},
    {I4(INT32_MAX), {OVF, I4(INT32_MAX), OVF, OVF, UI4(INT32_MAX), OVF, R4(2147483648.0f), R8(INT32_MAX), Bool(true), Str(u"2147483647"), MIS, MIS, MIS, OVF, Cy(int64_t{INT32_MAX} * 10000)}},
    {UI1(200), {I2(200), I4(200), UI1(200), UI2(200), UI4(200), OVF, R4(200), R8(200), Bool(true), Str(u"200"), MIS, MIS, MIS, Date(200), Cy(2000000)}},
    {UI2(65535), {OVF, I4(65535), OVF, UI2(65535), UI4(65535), OVF, R4(65535), R8(65535), Bool(true), Str(u"65535"), MIS, MIS, MIS, Date(65535), Cy(655350000)}},
    {UI4(UINT32_MAX), {OVF, OVF, OVF, OVF, UI4(UINT32_MAX), OVF, R4(4294967296.0f), R8(UINT32_MAX), Bool(true), Str(u"4294967295"), MIS, MIS, MIS, OVF, Cy(int64_t{UINT32_MAX} * 10000)}},
    {I1(-128), {I2(-128), I4(-128), OVF, OVF, OVF, I1(-128), R4(-128), R8(-128), Bool(true), Str(u"-128"), MIS, MIS, MIS, Date(-128), Cy(-1280000)}},
    {R4(2.5f), {I2(2), I4(2), UI1(2), UI2(2), UI4(2), I1(2), R4(2.5f), R8(2.5), Bool(true), Str(u"2.5"), MIS, MIS, MIS, Date(2.5), Cy(25000)}},
    {R4(-1.5f), {I2(-2), I4(-2), OVF, OVF, OVF, I1(-2), R4(-1.5f), R8(-1.5), Bool(true), Str(u"-1.5"), MIS, MIS, MIS, Date(-1.5), Cy(-15000)}},
    {R4(kTenth), {I2(0), I4(0), UI1(0), UI2(0), UI4(0), I1(0), R4(kTenth), R8(double{kTenth}), Bool(true), Str(u"0.1"), MIS, MIS, MIS, Date(double{kTenth}), Cy(1000)}},
    {R8(3.5), {I2(4), I4(4), UI1(4), UI2(4), UI4(4), I1(4), R4(3.5f), R8(3.5), Bool(true), Str(u"3.5"), MIS, MIS, MIS, Date(3.5), Cy(35000)}},
    {R8(0.1), {I2(0), I4(0), UI1(0), UI2(0), UI4(0), I1(0), R4(kTenth), R8(0.1), Bool(true), Str(u"0.1"), MIS, MIS, MIS, Date(0.1), Cy(1000)}},
    {R8(1e20), {OVF, OVF, OVF, OVF, OVF, OVF, R4(1e20f), R8(1e20), Bool(true), Str(u"1E+20"), MIS, MIS, MIS, OVF, OVF}},
    {R8(1e39), {OVF, OVF, OVF, OVF, OVF, OVF, OVF, R8(1e39), Bool(true), Str(u"1E+39"), MIS, MIS, MIS, OVF, OVF}},
    {Bool(true), {I2(-1), I4(-1), UI1(255), UI2(65535), UI4(UINT32_MAX), I1(-1), R4(-1), R8(-1), Bool(true), Str(u"-1"), MIS, MIS, MIS, Date(-1), Cy(-10000)}},
    {Bool(false), {I2(0), I4(0), UI1(0), UI2(0), UI4(0), I1(0), R4(0), R8(0), Bool(false), Str(u"0"), MIS, MIS, MIS, Date(0), Cy(0)}},
    {Str(u" 1e3 "), {I2(1000), I4(1000), OVF, UI2(1000), UI4(1000), OVF, R4(1000), R8(1000), Bool(true), Str(u" 1e3 "), MIS, MIS, MIS, MIS, Cy(10000000)}},
    {Str(u"-2.5"), {I2(-2), I4(-2), OVF, OVF, OVF, I1(-2), R4(-2.5f), R8(-2.5), Bool(true), Str(u"-2.5"), MIS, MIS, MIS, MIS, Cy(-25000)}},
    {Str(u"abc"), {MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, Str(u"abc"), MIS, MIS, MIS, MIS, MIS}},
    {Str(u""), {MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, Str(u""), MIS, MIS, MIS, MIS, MIS}},
    {Str(u"tRUE"), {MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, Bool(true), Str(u"tRUE"), MIS, MIS, MIS, MIS, MIS}},
    {Str(u"2024-02-29 12:00:00"), {MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, Str(u"2024-02-29 12:00:00"), MIS, MIS, MIS, Date(kLeapDayNoon), MIS}},
    {kEmpty, {I2(0), I4(0), UI1(0), UI2(0), UI4(0), I1(0), R4(0), R8(0), Bool(false), Str(u""), kEmpty, MIS, MIS, Date(0), Cy(0)}},
    {kNull, {MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, kNull, MIS, MIS, MIS}},
    {Error(kMissing), {MIS, I4(kMissing), MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, MIS, Error(kMissing), MIS, MIS}},
    {Date(kLeapDayNoon), {OVF, I4(45352), OVF, UI2(45352), UI4(45352), OVF, R4(45351.5f), R8(kLeapDayNoon), Bool(true), Str(u"2024-02-29 12:00:00"), MIS, MIS, MIS, Date(kLeapDayNoon), Cy(453515000)}},
    {Date(-1.25), {I2(-1), I4(-1), OVF, OVF, OVF, I1(-1), R4(-1.25f), R8(-1.25), Bool(true), Str(u"1899-12-29 06:00:00"), MIS, MIS, MIS, Date(-1.25), Cy(-12500)}},
    {Cy(12345), {I2(1), I4(1), UI1(1), UI2(1), UI4(1), I1(1), R4(1.2345f), R8(1.2345), Bool(true), Str(u"1.2345"), MIS, MIS, MIS, Date(1.2345), Cy(12345)}},
    {Cy(-25000), {I2(-2), I4(-2), OVF, OVF, OVF, I1(-2), R4(-2.5f), R8(-2.5), Bool(true), Str(u"-2.5"), MIS, MIS, MIS, Date(-2.5), Cy(-25000)}},
};
// clang-format on

TEST(VariantChangeType, ConvertsBetweenEveryPairOfCommonTypes) {
    for (const Row& row : kTable) {
        ASSERT_EQ(row.expected.size(), std::size(kTargets));
        for (size_t column = 0; column < std::size(kTargets); ++column) {
            const Cell& want = row.expected[column];
            VARIANT src = Make(row.source);
            VARIANT dest;
            VariantInit(&dest);
            const HRESULT hr = VariantChangeType(&dest, &src, 0, kTargets[column]);
            const std::string where = Describe(src) + " -> vt " + std::to_string(kTargets[column]);
            EXPECT_EQ(hr, want.hr) << where;
            if (SUCCEEDED(want.hr) && SUCCEEDED(hr)) {
                VARIANT expected = Make(want);
                EXPECT_EQ(Describe(dest), Describe(expected)) << where;
                EXPECT_EQ(VariantClear(&expected), S_OK);
            }
            EXPECT_EQ(VariantClear(&dest), S_OK);
            EXPECT_EQ(VariantClear(&src), S_OK);
        }
    }
}

// Converts a value, expecting success; returns the result for inspection (the caller clears it).
VARIANT Convert(const Cell& source, VARTYPE vt, USHORT flags = 0) {
    VARIANT src = Make(source);
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(VariantChangeType(&dest, &src, flags, vt), S_OK) << Describe(src) << " -> " << vt;
    EXPECT_EQ(VariantClear(&src), S_OK);
    return dest;
}

HRESULT ConvertResult(const Cell& source, VARTYPE vt, USHORT flags = 0) {
    VARIANT src = Make(source);
    VARIANT dest;
    VariantInit(&dest);
    const HRESULT hr = VariantChangeType(&dest, &src, flags, vt);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
    return hr;
}

std::u16string TextOf(const Cell& source, USHORT flags = 0) {
    VARIANT text = Convert(source, VT_BSTR, flags);
    std::u16string result(vr::BstrView(text.bstrVal));
    EXPECT_EQ(VariantClear(&text), S_OK);
    return result;
}

TEST(VariantChangeType, RoundsHalfToEvenAndChecksRangeAfterRounding) {
    const struct {
        double value;
        LONG expected;
    } halves[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},       {-0.5, 0},
                  {-1.5, -2}, {-2.5, -2}, {2.5000001, 3}, {-2.4999, -2}};
    for (const auto& half : halves) {
        VARIANT v = Convert(R8(half.value), VT_I4);
        EXPECT_EQ(v.lVal, half.expected) << half.value;
    }
    EXPECT_EQ(Convert(Cy(5000), VT_I4).lVal, 0);
    EXPECT_EQ(Convert(Cy(15000), VT_I4).lVal, 2);
    EXPECT_EQ(Convert(Cy(-15000), VT_I4).lVal, -2);
    EXPECT_EQ(Convert(R8(-0.4), VT_UI1).bVal, 0);
    EXPECT_EQ(Convert(R8(254.5), VT_UI1).bVal, 254);
    EXPECT_EQ(ConvertResult(R8(255.5), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(R8(2147483647.4), VT_I4).lVal, INT32_MAX);
    EXPECT_EQ(ConvertResult(R8(2147483647.5), VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(R8(-2147483648.5), VT_I4).lVal, INT32_MIN);
    EXPECT_EQ(ConvertResult(R8(std::nan("")), VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(R8(INFINITY), VT_I2), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, KeepsEverySixtyFourBitDigit) {
    VARIANT big = Convert(Str(u"9223372036854775807"), VT_I8);
    EXPECT_EQ(big.llVal, INT64_MAX);
    VARIANT huge = Convert(Str(u" 18446744073709551615 "), VT_UI8);
    EXPECT_EQ(huge.ullVal, UINT64_MAX);
    EXPECT_EQ(ConvertResult(Str(u"9223372036854775808"), VT_I8), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(Str(u"-1"), VT_UI8), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(Str(u"18446744073709551616"), VT_UI8), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(R8(9.3e18), VT_I8), DISP_E_OVERFLOW);
    VARIANT text;
    VariantInit(&text);
    EXPECT_EQ(VariantChangeType(&text, &huge, 0, VT_BSTR), S_OK);
    EXPECT_EQ(vr::BstrView(text.bstrVal), u"18446744073709551615");
    EXPECT_EQ(VariantChangeType(&text, &huge, 0, VT_I8), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&text, &big, 0, VT_CY), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantClear(&text), S_OK);
    EXPECT_EQ(Convert(Str(u"-5"), VT_INT).intVal, -5);
    EXPECT_EQ(ConvertResult(Str(u"-5"), VT_UINT), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, ReadsDecimalTextOnly) {
    EXPECT_EQ(Convert(Str(u"\t+42\r\n"), VT_I4).lVal, 42);
    EXPECT_EQ(Convert(Str(u"010"), VT_I4).lVal, 10); // never octal
    EXPECT_EQ(Convert(Str(u"1.5e2"), VT_I2).iVal, 150);
    EXPECT_EQ(Convert(Str(u".5"), VT_R8).dblVal, 0.5);
    EXPECT_EQ(Convert(Str(u"1e-400"), VT_R8).dblVal, 0.0);
    EXPECT_EQ(ConvertResult(Str(u"1e400"), VT_R8), DISP_E_OVERFLOW);
    for (const char16_t* bad :
         {u"0x10", u"12abc", u"1 2", u"inf", u"nan", u"1,000", u"   ", u"-", u"1e", u"$5"}) {
        EXPECT_EQ(ConvertResult(Str(bad), VT_R8), DISP_E_TYPEMISMATCH) << vr::ToUtf8(bad);
    }
    VARIANT zeroInside;
    VariantInit(&zeroInside);
    zeroInside.vt = VT_BSTR;
    zeroInside.bstrVal = SysAllocStringLen(u"12\0"
                                           "3",
                                           4);
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(VariantChangeType(&dest, &zeroInside, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantClear(&zeroInside), S_OK);
}

TEST(VariantChangeType, WritesNumbersAsAutomationDoes) {
    EXPECT_EQ(TextOf(R8(1.0 / 3)), u"0.333333333333333");
    EXPECT_EQ(TextOf(R8(123456789012345.0)), u"123456789012345");
    EXPECT_EQ(TextOf(R8(1e15)), u"1E+15");
    EXPECT_EQ(TextOf(R8(1e-5)), u"1E-05");
    EXPECT_EQ(TextOf(R8(0.0001)), u"0.0001");
    EXPECT_EQ(TextOf(R8(-0.0)), u"0");
    EXPECT_EQ(TextOf(R8(9007199254740993.0)), u"9.00719925474099E+15");
    EXPECT_EQ(TextOf(R4(1.0f / 3)), u"0.3333333");
    EXPECT_EQ(TextOf(R4(16777216.0f)), u"1.677722E+07");
    EXPECT_EQ(TextOf(Cy(1)), u"0.0001");
    EXPECT_EQ(TextOf(Cy(INT64_MIN)), u"-922337203685477.5808");
}

TEST(VariantChangeType, ConvertsBooleansToAndFromWords) {
    EXPECT_EQ(TextOf(Bool(true), VARIANT_ALPHABOOL), u"True");
    EXPECT_EQ(TextOf(Bool(false), VARIANT_ALPHABOOL), u"False");
    EXPECT_EQ(Convert(Str(u" FALSE "), VT_BOOL).boolVal, VARIANT_FALSE);
    EXPECT_EQ(Convert(Str(u"2"), VT_BOOL).boolVal, VARIANT_TRUE);
    EXPECT_EQ(Convert(Str(u"0.0"), VT_BOOL).boolVal, VARIANT_FALSE);
    EXPECT_EQ(Convert(Str(u"-0.4"), VT_BOOL).boolVal, VARIANT_TRUE);
    EXPECT_EQ(ConvertResult(Str(u"yes"), VT_BOOL), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(R8(std::nan("")), VT_BOOL).boolVal, VARIANT_TRUE);
}

TEST(VariantChangeType, ReadsAndWritesDatesInIsoForm) {
    const struct {
        const char16_t* text;
        double date;
        const char16_t* written; // null: written as given
    } dates[] = {
        {u"1899-12-30", 0, u"00:00:00"},
        {u"12:00", 0.5, u"12:00:00"},
        {u"2024-01-05T08:30", 45296 + 8.5 / 24, u"2024-01-05 08:30:00"},
        {u" 2024-1-5  08:30:00 ", 45296 + 8.5 / 24, u"2024-01-05 08:30:00"},
        {u"2000-03-01", 36586, nullptr},
        {u"1899-12-29 06:00:00", -1.25, nullptr},
        {u"0100-01-01", -657434, nullptr},
        {u"0100-01-01 12:00:00", -657434.5, nullptr},
        {u"9999-12-31 23:59:59", 2958465 + 86399.0 / 86400, nullptr},
    };
    for (const auto& date : dates) {
        VARIANT value = Convert(Str(date.text), VT_DATE);
        EXPECT_NEAR(value.date, date.date, 1e-9) << vr::ToUtf8(date.text);
        EXPECT_EQ(TextOf(Date(value.date)), date.written ? date.written : date.text);
    }
    for (const char16_t* bad :
         {u"2024-02-30", u"2023-02-29", u"2024-13-01", u"24:00:00", u"12:60", u"0099-12-31", u"2024-01-05 08",
          u"2024-01-05x08:00", u"45000", u"12:00:00 PM", u"05/01/2024"}) {
        EXPECT_EQ(ConvertResult(Str(bad), VT_DATE), DISP_E_TYPEMISMATCH) << vr::ToUtf8(bad);
    }
    EXPECT_EQ(TextOf(Date(45296.99999999)), u"2024-01-06"); // rounds to the next midnight
    EXPECT_EQ(ConvertResult(Date(2958466.0), VT_BSTR), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(R8(-657435.0), VT_DATE), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertResult(Date(std::nan("")), VT_BSTR), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, FailureLeavesDestAndSourceUnchanged) {
    VARIANT dest = Make(Str(u"kept"));
    const BSTR kept = dest.bstrVal;
    VARIANT src = Make(Str(u"abc"));
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(dest.bstrVal, kept);
    EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_R8), DISP_E_TYPEMISMATCH); // in place
    EXPECT_EQ(vr::BstrView(src.bstrVal), u"abc");

    VARIANT number = Make(I4(300));
    EXPECT_EQ(VariantChangeType(&number, &number, 0, VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(number.vt, VT_I4);
    EXPECT_EQ(number.lVal, 300);
    for (VARTYPE bad : {VARTYPE(VT_I4 | VT_BYREF), VARTYPE(VT_VARIANT), VARTYPE(VT_DECIMAL),
                        VARTYPE(VT_RECORD), VARTYPE(0x0FFF), VARTYPE(VT_VECTOR | VT_I4)}) {
        EXPECT_EQ(VariantChangeType(&dest, &number, 0, bad), DISP_E_BADVARTYPE) << bad;
    }
    EXPECT_EQ(dest.bstrVal, kept);

    VARIANT locked;
    VariantInit(&locked);
    locked.vt = VT_ARRAY | VT_I4;
    locked.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    ASSERT_EQ(SafeArrayLock(locked.parray), S_OK);
    EXPECT_EQ(VariantChangeType(&locked, &number, 0, VT_BSTR), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(locked.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayUnlock(locked.parray), S_OK);

    EXPECT_EQ(VariantClear(&locked), S_OK);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(VariantChangeType, ConvertsInPlaceAndReadsThroughReferences) {
    VARIANT v = Make(Str(u"42"));
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK); // the text is freed (ASan would report a leak)
    EXPECT_EQ(v.lVal, 42);

    BSTR text = SysAllocString(u"7.25");
    VARIANT byText;
    VariantInit(&byText);
    byText.vt = VT_BSTR | VT_BYREF;
    byText.pbstrVal = &text;
    ASSERT_EQ(VariantChangeType(&byText, &byText, 0, VT_R8), S_OK);
    EXPECT_EQ(byText.vt, VT_R8);
    EXPECT_EQ(byText.dblVal, 7.25);
    EXPECT_EQ(vr::BstrView(text), u"7.25"); // the referenced value is untouched

    VARIANT inner = Make(Bool(true));
    VARIANT byVariant;
    VariantInit(&byVariant);
    byVariant.vt = VT_VARIANT | VT_BYREF;
    byVariant.pvarVal = &inner;
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantChangeType(&dest, &byVariant, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(vr::BstrView(dest.bstrVal), u"True");
    LONG number = 9;
    VARIANT byNumber;
    VariantInit(&byNumber);
    byNumber.vt = VT_I4 | VT_BYREF;
    byNumber.plVal = &number;
    ASSERT_EQ(VariantChangeType(&dest, &byNumber, 0, VT_I4), S_OK);
    EXPECT_EQ(dest.vt, VT_I4);
    EXPECT_EQ(dest.lVal, 9);
    SysFreeString(text);
}

TEST(VariantChangeType, ReadsObjectsThroughTheirValueProperty) {
    ValueObject object;
    object.Value() = Make(I4(42));
    VARIANT asDispatch;
    VariantInit(&asDispatch);
    asDispatch.vt = VT_DISPATCH;
    asDispatch.pdispVal = &object; // borrowed: the test never clears it
    VARIANT asUnknown = asDispatch;
    asUnknown.vt = VT_UNKNOWN;
    VARIANT dest;
    VariantInit(&dest);

    ASSERT_EQ(VariantChangeType(&dest, &asDispatch, 0, VT_BSTR), S_OK);
    EXPECT_EQ(vr::BstrView(dest.bstrVal), u"42");
    ASSERT_EQ(VariantChangeType(&dest, &asUnknown, 0, VT_R8), S_OK);
    EXPECT_EQ(dest.dblVal, 42.0);
    EXPECT_EQ(VariantChangeType(&dest, &asDispatch, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(VariantChangeType(&dest, &asUnknown, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(dest.pdispVal, &object);
    EXPECT_EQ(object.Refs(), 2u);
    ASSERT_EQ(VariantChangeType(&dest, &dest, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(object.Refs(), 2u);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(object.Refs(), 1u);

    // An object whose value is an object is not followed further.
    static_cast<void>(VariantClear(&object.Value()));
    object.Value() = asDispatch;
    object.AddRef();
    EXPECT_EQ(VariantChangeType(&dest, &asDispatch, 0, VT_I4), DISP_E_TYPEMISMATCH);
    static_cast<void>(VariantClear(&object.Value()));
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(VariantChangeType, RefusesObjectsWithoutDispatchOrValue) {
    CountingUnknown plain;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = &plain;
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(VariantChangeType(&dest, &v, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(plain.Refs(), 1u);

    ValueObject empty; // its value property fails
    v.vt = VT_DISPATCH;
    v.pdispVal = &empty;
    static_cast<void>(VariantClear(&empty.Value()));
    empty.Value().vt = VT_DECIMAL; // cannot be copied out
    EXPECT_EQ(VariantChangeType(&dest, &v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    empty.Value().vt = VT_EMPTY;
    EXPECT_EQ(empty.Refs(), 1u);

    v.pdispVal = nullptr;
    EXPECT_EQ(VariantChangeType(&dest, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&dest, &v, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(dest.vt, VT_UNKNOWN);
    EXPECT_EQ(dest.punkVal, nullptr);
    EXPECT_EQ(VariantChangeType(&dest, &dest, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertResult(I4(1), VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertResult(kEmpty, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ConvertsArraysOnlyToTheirOwnType) {
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantChangeType(&dest, &array, 0, VT_ARRAY | VT_I4), S_OK);
    EXPECT_NE(dest.parray, array.parray);
    EXPECT_EQ(VariantChangeType(&dest, &array, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &array, 0, VT_ARRAY | VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertResult(I4(1), VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&array), S_OK);
}

} // namespace
