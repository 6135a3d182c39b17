// Number parsing: clamping, bases and prefixes, where the parse ends, overflow, and what is not a number.
#include "platform/base/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

struct IntegerCase {
    const char* text;
    int base;
    long long value;
    size_t endOffset;
    bool overflow;
};

// Every case runs through the wide and the narrow entry point, which must agree.
void ExpectLong(const IntegerCase& c) {
    SCOPED_TRACE(std::string("text '") + c.text + "' base " + std::to_string(c.base));
    std::u16string wide = Widen(c.text);
    const OLECHAR* wideEnd = nullptr;
    bool wideOverflow = !c.overflow;
    EXPECT_EQ(vr::Wcstol(wide.c_str(), &wideEnd, c.base, &wideOverflow), c.value);
    EXPECT_EQ(static_cast<size_t>(wideEnd - wide.c_str()), c.endOffset);
    EXPECT_EQ(wideOverflow, c.overflow);

    const char* narrowEnd = nullptr;
    bool narrowOverflow = !c.overflow;
    EXPECT_EQ(vr::Strtol(c.text, &narrowEnd, c.base, &narrowOverflow), c.value);
    EXPECT_EQ(static_cast<size_t>(narrowEnd - c.text), c.endOffset);
    EXPECT_EQ(narrowOverflow, c.overflow);
}

TEST(Wcstol, ReadsDecimalWithBlanksSignsAndTrailingText) {
    const IntegerCase cases[] = {
        {"123", 10, 123, 3, false}, {"  \t\n-42xyz", 10, -42, 7, false},
        {"+7", 10, 7, 2, false},    {"12 34", 10, 12, 2, false},
        {"007", 10, 7, 3, false},   {"-0", 10, 0, 2, false},
        {"1.5", 10, 1, 1, false},   {"\v\f\r9", 0, 9, 4, false},
    };
    for (const auto& c : cases) {
        ExpectLong(c);
    }
}

TEST(Wcstol, NothingConvertedLeavesEndAtTheStart) {
    const IntegerCase cases[] = {
        {"", 10, 0, 0, false},    {"   ", 10, 0, 0, false}, {"-", 10, 0, 0, false}, {"+ 5", 10, 0, 0, false},
        {"abc", 10, 0, 0, false}, {"--5", 10, 0, 0, false}, {"0x", 0, 0, 0, false}, {"0xg", 16, 0, 0, false},
        {"  0X", 0, 0, 0, false}, {"5", 1, 0, 0, false},    {"5", 37, 0, 0, false}, {"5", -1, 0, 0, false},
    };
    for (const auto& c : cases) {
        ExpectLong(c);
    }
}

TEST(Wcstol, ClampsToThe32BitRangeAndConsumesAllDigits) {
    const IntegerCase cases[] = {
        {"2147483647", 10, 2147483647LL, 10, false},
        {"2147483648", 10, 2147483647LL, 10, true},
        {"-2147483648", 10, -2147483648LL, 11, false},
        {"-2147483649", 10, -2147483648LL, 11, true},
        {"99999999999999999999999abc", 10, 2147483647LL, 23, true},
        {"-99999999999999999999999", 10, -2147483648LL, 24, true},
        {"0x7fffffff", 0, 2147483647LL, 10, false},
        {"0x80000000", 0, 2147483647LL, 10, true},
        {"FFFFFFFF", 16, 2147483647LL, 8, true},
        {"-0x80000000", 16, -2147483648LL, 11, false},
    };
    for (const auto& c : cases) {
        ExpectLong(c);
    }
}

TEST(Wcstol, BaseZeroAndPrefixes) {
    const IntegerCase cases[] = {
        {"0x1F", 0, 31, 4, false},  {"0X1f", 0, 31, 4, false},  {"-0x10", 0, -16, 5, false},
        {"017", 0, 15, 3, false},   {"08", 0, 0, 1, false},     {"0", 0, 0, 1, false},
        {"0x10", 16, 16, 4, false}, {"ff", 16, 255, 2, false},  {"0x10", 10, 0, 1, false},
        {"777", 8, 511, 3, false},  {"zZ", 36, 1295, 2, false}, {"1012", 2, 5, 3, false},
    };
    for (const auto& c : cases) {
        ExpectLong(c);
    }
}

TEST(Wcstol, NullTextConvertsNothing) {
    const OLECHAR* end = u"sentinel";
    EXPECT_EQ(vr::Wcstol(nullptr, &end, 10), 0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(vr::Wcstod(nullptr, nullptr), 0.0);
}

TEST(Wcstoul, WrapsNegativeNumbersAndClampsAtTheMaximum) {
    struct Case {
        const char16_t* text;
        ULONG value;
        bool overflow;
    };
    const Case cases[] = {
        {u"4294967295", 0xFFFFFFFFu, false}, {u"4294967296", 0xFFFFFFFFu, true},
        {u"-1", 0xFFFFFFFFu, false},         {u"-4294967295", 1u, false},
        {u"-4294967296", 0xFFFFFFFFu, true}, {u"0xFFFFFFFF", 0xFFFFFFFFu, false},
    };
    for (const auto& c : cases) {
        bool overflow = !c.overflow;
        EXPECT_EQ(vr::Wcstoul(c.text, nullptr, 0, &overflow), c.value);
        EXPECT_EQ(overflow, c.overflow);
    }
    EXPECT_EQ(vr::Strtoul("-2", nullptr, 10), 0xFFFFFFFEu);
}

TEST(Wcstoi64, Uses64BitLimits) {
    bool overflow = true;
    EXPECT_EQ(vr::Wcstoi64(u"9223372036854775807", nullptr, 10, &overflow), INT64_MAX);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(vr::Wcstoi64(u"9223372036854775808", nullptr, 10, &overflow), INT64_MAX);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(vr::Wcstoi64(u"-9223372036854775808", nullptr, 10, &overflow), INT64_MIN);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(vr::Strtoi64("-9223372036854775809", nullptr, 10, &overflow), INT64_MIN);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(vr::Wcstoi64(u"4294967296", nullptr, 10), 4294967296LL);

    EXPECT_EQ(vr::Wcstoui64(u"18446744073709551615", nullptr, 10, &overflow), UINT64_MAX);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(vr::Strtoui64("18446744073709551616", nullptr, 10, &overflow), UINT64_MAX);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(vr::Wcstoui64(u"-1", nullptr, 10), UINT64_MAX);
}

struct FloatingCase {
    const char* text;
    double value;
    size_t endOffset;
    bool overflow;
};

void ExpectDouble(const FloatingCase& c) {
    SCOPED_TRACE(std::string("text '") + c.text + "'");
    std::u16string wide = Widen(c.text);
    const OLECHAR* wideEnd = nullptr;
    bool wideOverflow = !c.overflow;
    EXPECT_EQ(vr::Wcstod(wide.c_str(), &wideEnd, &wideOverflow), c.value);
    EXPECT_EQ(static_cast<size_t>(wideEnd - wide.c_str()), c.endOffset);
    EXPECT_EQ(wideOverflow, c.overflow);

    const char* narrowEnd = nullptr;
    bool narrowOverflow = !c.overflow;
    EXPECT_EQ(vr::Strtod(c.text, &narrowEnd, &narrowOverflow), c.value);
    EXPECT_EQ(static_cast<size_t>(narrowEnd - c.text), c.endOffset);
    EXPECT_EQ(narrowOverflow, c.overflow);
}

TEST(Wcstod, ReadsDecimalFloatingText) {
    const FloatingCase cases[] = {
        {"1.5", 1.5, 3, false},    {"  -2.5e3xyz", -2500.0, 8, false},
        {".5", 0.5, 2, false},     {"5.", 5.0, 2, false},
        {"+0.25", 0.25, 5, false}, {"1e-2", 0.01, 4, false},
        {"0.1", 0.1, 3, false},    {"12dB", 12.0, 2, false},
        {"1d2", 100.0, 3, false},  {"3E+2", 300.0, 4, false},
        {"1,5", 1.0, 1, false},    {"-0", -0.0, 2, false},
        {"7 8", 7.0, 1, false},    {"\t\r\n1", 1.0, 4, false},
    };
    for (const auto& c : cases) {
        ExpectDouble(c);
    }
}

TEST(Wcstod, IncompleteExponentIsNotPartOfTheNumber) {
    const FloatingCase cases[] = {
        {"1e", 1.0, 1, false},
        {"1e+", 1.0, 1, false},
        {"2E-x", 2.0, 1, false},
        {"3.5e 1", 3.5, 3, false},
    };
    for (const auto& c : cases) {
        ExpectDouble(c);
    }
}

TEST(Wcstod, HexFloatsInfinityAndNanAreNotNumbers) {
    const FloatingCase cases[] = {
        {"0x1p3", 0.0, 1, false},  {"0X1A", 0.0, 1, false},     {"inf", 0.0, 0, false},
        {"-INF", 0.0, 0, false},   {"infinity", 0.0, 0, false}, {"nan", 0.0, 0, false},
        {"NaN(1)", 0.0, 0, false}, {".", 0.0, 0, false},        {"e5", 0.0, 0, false},
        {"-.e1", 0.0, 0, false},   {"", 0.0, 0, false},         {"  ", 0.0, 0, false},
    };
    for (const auto& c : cases) {
        ExpectDouble(c);
    }
}

TEST(Wcstod, OverflowGivesHugeValAndUnderflowIsNoOverflow) {
    const FloatingCase cases[] = {
        {"1e400", HUGE_VAL, 5, true},
        {"-1e400", -HUGE_VAL, 6, true},
        {"1D999999999999999999", HUGE_VAL, 20, true},
        {"1e-400", 0.0, 6, false},
        {"1.7976931348623157e308", 1.7976931348623157e308, 22, false},
    };
    for (const auto& c : cases) {
        ExpectDouble(c);
    }
    double denormal = vr::Wcstod(u"4.9e-324", nullptr);
    EXPECT_GT(denormal, 0.0);
    EXPECT_LT(denormal, 1e-300);
}

TEST(Wcstod, LongMantissaStaysFinite) {
    std::string text(300, '1');
    text += ".5x";
    const char* end = nullptr;
    bool overflow = true;
    double value = vr::Strtod(text.c_str(), &end, &overflow);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(end, text.c_str() + 302);
    EXPECT_NEAR(value / 1.111111111111111e299, 1.0, 1e-12);
}

} // namespace
