// Numbers and comparison: reading numbers in a base, whole-text checks, numeric equality, nesting levels.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace {

using xltest::Probe;

TEST(XlatrixNumbers, BaseZeroReadsHexAndDecimal) {
    Probe xlatrix;
    double value = 0;
    EXPECT_TRUE(xlatrix.GetNumber("0x1F", value, 0, false, true));
    EXPECT_EQ(value, 31);
    EXPECT_TRUE(xlatrix.GetNumber(" 010 ", value, 0, false, true)); // no "0x": decimal, not octal
    EXPECT_EQ(value, 10);
    EXPECT_TRUE(xlatrix.GetNumber("-2.5e3", value, 0, false, true));
    EXPECT_EQ(value, -2500);
    EXPECT_TRUE(xlatrix.GetNumber("1F", value, 16, false, true));
    EXPECT_EQ(value, 31);
    EXPECT_TRUE(xlatrix.GetNumber("101", value, 2, false, true));
    EXPECT_EQ(value, 5);
}

TEST(XlatrixNumbers, WrongCharactersAreNamed) {
    Probe xlatrix;
    double value = 0;
    EXPECT_FALSE(xlatrix.GetNumber("12 V", value, 0, false, true));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetNumber(): Value '12 V' can't be converted to a number, because of "
              "wrong character(s): 'V'.\n");
    // Without the whole-text check the number in front is enough.
    EXPECT_TRUE(xlatrix.GetNumber("12 V", value, 0, false, false));
    EXPECT_EQ(value, 12);
    // Blanks after the number are not wrong characters.
    EXPECT_TRUE(xlatrix.GetNumber("12 \t", value, 10, false, true));
}

TEST(XlatrixNumbers, EmptyAndOverflowAreReported) {
    Probe xlatrix;
    double value = 7;
    EXPECT_FALSE(xlatrix.GetNumber(" \t", value, 0, false, true));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetNumber(): Value '' can't be converted to a number, because it's empty.\n");
    EXPECT_EQ(value, 7);
    // An overflow is reported, and the number still converts.
    EXPECT_TRUE(xlatrix.GetNumber("1e999", value, 0, false, true));
    EXPECT_EQ(
        xlatrix.strErrorText,
        "CXlatrix::GetNumber(): Value '1e999' can't be converted to a number, because of an overflow.\n");
    EXPECT_TRUE(std::isinf(value));
    // Quiet: no text at all.
    xlatrix.strErrorText.clear();
    EXPECT_FALSE(xlatrix.GetNumber("abc", value, 0, true, true));
    EXPECT_TRUE(xlatrix.GetNumber("1e999", value, 0, true, true));
    EXPECT_EQ(xlatrix.strErrorText, "");
}

TEST(XlatrixNumbers, OtherBasesKeepEveryDigit) {
    Probe xlatrix;
    double value = 0;
    // Above 0x7FFFFFFF the number is read unsigned, not clamped to the 32-bit maximum.
    EXPECT_TRUE(xlatrix.GetNumber("FFFFFFFF", value, 16, false, true));
    EXPECT_EQ(value, 4294967295.0);
    EXPECT_TRUE(xlatrix.GetNumber("0x123456789", value, 0, false, true));
    EXPECT_EQ(value, 4886718345.0);
    EXPECT_TRUE(xlatrix.GetNumber("-80000000", value, 16, false, true));
    EXPECT_EQ(value, -2147483648.0);
    EXPECT_EQ(xlatrix.strErrorText, "");
    // Beyond 64 bits is an overflow.
    EXPECT_TRUE(xlatrix.GetNumber("1FFFFFFFFFFFFFFFF", value, 16, false, true));
    EXPECT_NE(xlatrix.strErrorText.find("because of an overflow"), std::string::npos);
}

TEST(XlatrixNumbers, NumbersIgnoreTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    Probe xlatrix;
    double value = 0;
    EXPECT_TRUE(xlatrix.GetNumber("1.25", value, 10, false, true));
    EXPECT_EQ(value, 1.25);
    EXPECT_FALSE(xlatrix.GetNumber("1,25", value, 10, true, true));
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!german) {
        GTEST_SKIP() << "no German locale installed; checked in the C locale only";
    }
}

TEST(XlatrixNumbers, EqualityIsNumericForNumericTypes) {
    Probe xlatrix;
    EXPECT_TRUE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_DECIMAL, "1.50", " 1.5"));
    EXPECT_TRUE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_INT, "0x10", "16"));
    EXPECT_FALSE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_DECIMAL, "1.5", "1.6"));
    EXPECT_FALSE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_DECIMAL, "1.5", "1.5V"));
    EXPECT_FALSE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_STRING, "A", "a"));
    EXPECT_TRUE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_STRING, "A ", "A"));
    xlatrix.bTrimValues = false;
    EXPECT_FALSE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_STRING, "A ", "A"));
    // Numbers are still trimmed before the comparison.
    EXPECT_TRUE(xlatrix.IsParamValueEqual(SOMITEM_DATATYPE_DOUBLE, " 2 ", "2.0"));
}

TEST(XlatrixNumbers, NestedLevelOfPaths) {
    Probe xlatrix;
    std::string level = "stale";
    EXPECT_TRUE(xlatrix.GetNestedLevel("/Msg/group", level));
    EXPECT_EQ(level, "");
    xlatrix.GetNestedLevel("/Msg/group[0]/item[12](value1)[3]", level);
    EXPECT_EQ(level, "000.012.003");
    // Only numbers directly followed by "]" count; wide numbers keep all their digits.
    xlatrix.GetNestedLevel("/T2/group[1234]/item[7]x9", level);
    EXPECT_EQ(level, "1234.007");
}

} // namespace
