// The formatter's conversions, flags, widths and precisions, wide and narrow, and its format errors.
#include "platform/base/format.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace {

// The wide formatter's result as UTF-8, so that failures print readably.
template <typename... Args>
std::string W(const char16_t* format, Args... args) {
    return vr::ToUtf8(vr::FormatWString(format, args...));
}

template <typename... Args>
std::string A(const char* format, Args... args) {
    return vr::FormatAString(format, args...);
}

struct Row {
    std::string actual;
    std::string expected;
};

void ExpectRows(std::initializer_list<Row> rows) {
    int index = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(row.actual, row.expected) << "row " << index;
        ++index;
    }
}

TEST(Format, IntegerConversionsUseTheSystemsSizes) {
    ExpectRows({
        {W(u"%d", 42), "42"},
        {W(u"%i", -7), "-7"},
        {W(u"%li", INT32_MIN), "-2147483648"},
        {W(u"%lu", 4294967295u), "4294967295"},
        {W(u"%u", -1), "4294967295"},
        {W(u"%ld", INT32_MAX), "2147483647"},
        {W(u"%hd", 65537), "1"},
        {W(u"%hu", -1), "65535"},
        {W(u"%lld", INT64_MIN), "-9223372036854775808"},
        {W(u"%I64u", UINT64_MAX), "18446744073709551615"},
        {W(u"%I64X", 0xABCDEF0123456789ull), "ABCDEF0123456789"},
        {W(u"%x", -1), "ffffffff"},
        {W(u"%lx", 0x7fffffff), "7fffffff"},
        {W(u"%o", 8), "10"},
        {A("%d and %u", -3, 3u), "-3 and 3"},
    });
}

TEST(Format, IntegerFlagsWidthAndPrecision) {
    ExpectRows({
        {W(u"%09d", 42), "000000042"},
        {W(u"%09d", -42), "-00000042"},
        {W(u"%08X", 0xBEEF), "0000BEEF"},
        {W(u"%#x", 255), "0xff"},
        {W(u"%#X", 255), "0XFF"},
        {W(u"%#x", 0), "0"},
        {W(u"%#08x", 255), "0x0000ff"},
        {W(u"%#o", 8), "010"},
        {W(u"%#o", 0), "0"},
        {W(u"%#.0o", 0), "0"},
        {W(u"%.0d", 0), ""},
        {W(u"%5.0d|", 0), "     |"},
        {W(u"%5.3d", 7), "  007"},
        {W(u"%.3d", -7), "-007"},
        {W(u"%-5d|", 3), "3    |"},
        {W(u"%-08d|", 5), "5       |"},
        {W(u"%08.3d", 5), "     005"},
        {W(u"%+d", 5), "+5"},
        {W(u"%+d", -5), "-5"},
        {W(u"% d", 5), " 5"},
        {W(u"%+ d", 5), "+5"},
        {W(u"%+u", 5), "5"},
        {W(u"%2d", 12345), "12345"},
    });
}

TEST(Format, FloatingConversions) {
    const double inf = std::numeric_limits<double>::infinity();
    ExpectRows({
        {W(u"%f", 1.5), "1.500000"},
        {W(u"%.2f", 3.14159), "3.14"},
        {W(u"%5.2f", 3.14159), " 3.14"},
        {W(u"%+.3f", 2.0), "+2.000"},
        {W(u"% .1f", 2.0), " 2.0"},
        {W(u"%e", 12345.678), "1.234568e+04"},
        {W(u"%E", 12345.678), "1.234568E+04"},
        {W(u"%.20e", 0.1), "1.00000000000000005551e-01"},
        {W(u"%G", 0.1), "0.1"},
        {W(u"%G", 1e20), "1E+20"},
        {W(u"%G", 1e6), "1E+06"},
        {W(u"%G", -5.0), "-5"},
        {W(u"%G", 2.5), "2.5"},
        {W(u"%g", 1e-5), "1e-05"},
        {W(u"%#g", 1.0), "1.00000"},
        {W(u"%#.0f", 3.0), "3."},
        {W(u"%010.2f", -3.5), "-000003.50"},
        {W(u"%+010.2f", 3.5), "+000003.50"},
        {W(u"%-8.1f|", 2.5), "2.5     |"},
        {W(u"%Lf %lf", 1.0, 2.0), "1.000000 2.000000"},
        {W(u"%f", 1e300).size() == 301 + 7 ? "ok" : "wrong length", "ok"},
        {W(u"%08f", inf), "     inf"},
        {W(u"%G", -inf), "-INF"},
        {W(u"%f", std::numeric_limits<double>::quiet_NaN()), "nan"},
        {A("%.3f|%G", 0.0005, 100000.0), "0.001|100000"},
    });
}

TEST(Format, WideFormatterStrings) {
    const char16_t* nullWide = nullptr;
    const char* nullNarrow = nullptr;
    ExpectRows({
        {W(u"%s", u"abc"), "abc"},
        {W(u"%ls", u"abc"), "abc"},
        {W(u"%hs", "abc"), "abc"},
        {W(u"%S", "abc"), "abc"},
        {W(u"%lS", u"abc"), "abc"},
        {W(u"%hs", "\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"},
        {W(u"[%s]", u"\u00e9\u20ac"), "[\xC3\xA9\xE2\x82\xAC]"},
        {W(u"%-5s|", u"ab"), "ab   |"},
        {W(u"%5s|", u"ab"), "   ab|"},
        {W(u"%.2s", u"abcdef"), "ab"},
        {W(u"%.1hs", "\xC3\xA9\xE2\x82\xAC"), "\xC3\xA9"},
        {W(u"%.0s|", u"abc"), "|"},
        {W(u"%s", nullWide), "(null)"},
        {W(u"%hs", nullNarrow), "(null)"},
        {W(u"%.3s", nullWide), "(nu"},
        {W(u"%s: %hs (%d)", u"CClass::Method()", "file.cpp", 12), "CClass::Method(): file.cpp (12)"},
    });
}

TEST(Format, NarrowFormatterStrings) {
    const char16_t* nullWide = nullptr;
    ExpectRows({
        {A("%s", "abc"), "abc"},
        {A("%hs", "abc"), "abc"},
        {A("%ls", u"\u00e9"), "\xC3\xA9"},
        {A("%S", u"\u20ac"), "\xE2\x82\xAC"},
        {A("%.1ls|", u"\u00e9"), "|"}, // a UTF-8 sequence is never cut in half
        {A("%.2ls|", u"\u00e9x"), "\xC3\xA9|"},
        {A("%6ls|", u"\u00e9"), "    \xC3\xA9|"},
        {A("%ls", nullWide), "(null)"},
        {A("%ls", u"\U0001F600"), "\xF0\x9F\x98\x80"},
    });
}

TEST(Format, PrecisionBoundsTheReadOfAnUnterminatedArgument) {
    const char narrow[3] = {'a', 'b', 'c'};
    const char16_t wide[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(W(u"%.3hs", narrow), "abc");
    EXPECT_EQ(W(u"%.3s", wide), "xyz");
    EXPECT_EQ(A("%.2s", narrow), "ab");
    EXPECT_EQ(A("%.3ls", wide), "xyz");
}

TEST(Format, Characters) {
    ExpectRows({
        {W(u"%c", u'\u00e9'), "\xC3\xA9"},
        {W(u"%lc", u'\u20ac'), "\xE2\x82\xAC"},
        {W(u"%hc", 'A'), "A"},
        {W(u"%C", static_cast<char>(0xE9)), "\xC3\xA9"}, // a narrow character is one Latin-1 byte
        {W(u"%3c|%-3c|", u'x', u'y'), "  x|y  |"},
        {A("%c", 'A'), "A"},
        {A("%lc", u'\u00e9'), "\xC3\xA9"},
        {A("%C", u'\u20ac'), "\xE2\x82\xAC"},
    });
}

TEST(Format, PointersPercentAndStars) {
    std::string pointer = W(u"%p", reinterpret_cast<void*>(uintptr_t{0x1234}));
    EXPECT_EQ(pointer, std::string(2 * sizeof(void*) - 4, '0') + "1234");
    ExpectRows({
        {W(u"100%%"), "100%"},
        {W(u"%%d %d", 5), "%d 5"},
        {W(u"%*d", 5, 42), "   42"},
        {W(u"%-*d|", 5, 42), "42   |"},
        {W(u"%*d|", -5, 42), "42   |"},
        {W(u"%.*f", 2, 3.14159), "3.14"},
        {W(u"%.*f", -1, 1.5), "1.500000"},
        {W(u"%*.*s|", 6, 2, u"abcdef"), "    ab|"},
    });
}

TEST(Format, FormatErrorsGiveMinusOneAndAnEmptyWholeResult) {
    const char16_t* formats[] = {u"%n",  u"%q",  u"abc%", u"%hhd",       u"%I32d",       u"%Ld", u"%lls",
                                 u"%Lp", u"%hf", u"%5",   u"%99999999d", u"%.99999999f", u"%a",  u"%\u0164"};
    for (const char16_t* format : formats) {
        SCOPED_TRACE(vr::ToUtf8(format));
        char16_t buffer[64] = {};
        int count = 0;
        EXPECT_EQ(vr::FormatW(buffer, 64, format, &count, 1, 1), -1);
        EXPECT_EQ(vr::FormatWString(format, &count, 1, 1), u"");
    }
    char narrow[8];
    EXPECT_EQ(vr::FormatA(narrow, sizeof narrow, nullptr), -1);
    EXPECT_EQ(vr::FormatA(narrow, sizeof narrow, "%*d", INT_MIN, 1), -1);
}

TEST(Format, WholeResultsGrowAsNeeded) {
    std::u16string part(20000, u'x');
    std::u16string both = vr::FormatWString(u"%s|%s", part.c_str(), part.c_str());
    EXPECT_EQ(both.size(), 40001u);
    EXPECT_EQ(both[20000], u'|');
    EXPECT_EQ(vr::FormatAString("%20000d", 1).size(), 20000u);
}

// The numeric conversions of the narrow formatter agree with the C library for every flag combination:
// a reference check over flags, widths and precisions.
TEST(Format, NumericConversionsAgreeWithTheCLibrary) {
    const char* flagSets[] = {"", "-", "+", " ", "#", "0", "-0", "+0", "#0", "+ #", "-#"};
    const char* widths[] = {"", "1", "8", "15"};
    const char* precisions[] = {"", ".0", ".1", ".5", ".12"};
    const int integers[] = {0, 1, -1, 42, -42, 255, INT_MIN, INT_MAX};
    const double doubles[] = {0.0, -0.0, 1.0, -1.5, 0.1, 123456.789, 1e-7, 9.9999e15, 1e300};
    int compared = 0;
    for (const char* flags : flagSets) {
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                std::string spec = std::string("%") + flags + width + precision;
                for (char conversion : std::string("diuoxX")) {
                    std::string format = spec + conversion;
                    for (int value : integers) {
                        char expected[128];
                        std::snprintf(expected, sizeof expected, format.c_str(), value);
                        ASSERT_EQ(A(format.c_str(), value), expected) << format << " " << value;
                        ++compared;
                    }
                }
                for (char conversion : std::string("feEgG")) {
                    std::string format = spec + conversion;
                    for (double value : doubles) {
                        char expected[512];
                        std::snprintf(expected, sizeof expected, format.c_str(), value);
                        ASSERT_EQ(A(format.c_str(), value), expected) << format << " " << value;
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 20000);
}

} // namespace
