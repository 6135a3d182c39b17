// Option values as numbers: bases, strictness, clamping, overflow, and the error traces of failures.
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "tests/support/com_holders.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using vrtest::U8;

TEST(ParamNumbers, LongParamsReadWithBasePrefixes) {
    LONG number = 0;
    EXPECT_TRUE(GetLongParam(&number, u"A=010", u"A"));
    EXPECT_EQ(number, 8);
    EXPECT_TRUE(GetLongParam(&number, u"A=0x1F", u"A"));
    EXPECT_EQ(number, 31);
    EXPECT_TRUE(GetLongParam(&number, u"A='-12'", u"A"));
    EXPECT_EQ(number, -12);
    EXPECT_TRUE(GetLongParam(&number, u"S:A=7", u"A", true));
    EXPECT_EQ(number, 7);
    number = 99;
    EXPECT_FALSE(GetLongParam(&number, u"B=1", u"A"));
    EXPECT_EQ(number, 99);
}

TEST(ParamNumbers, WrongCharactersFailWithTheirTrace) {
    SetTraceMethodName(u"CTest::Numbers()");
    LONG number = 5;
    EXPECT_FALSE(GetLongParam(&number, u"A=12abc", u"A"));
    EXPECT_EQ(number, 5) << "a failure leaves the out-argument alone";
    EXPECT_EQ(U8(LastErrorText()),
              "('12abc'): The value cannot be represented because of wrong character(s): 'abc'.");
    std::string site = U8(TraceSiteTag());
    EXPECT_EQ(site.rfind("CTest::Numbers(): ParamNumbers.cpp (", 0), 0u) << site;
    EXPECT_EQ(site.back(), ')');
}

TEST(ParamNumbers, QuietAndLenientConversions) {
    SetTraceMethodName(u"CTest::Quiet()");
    SetTraceSite();
    TraceError(u"marker");
    LONG number = 0;
    EXPECT_FALSE(TextToLong(&number, u"12 ", 10, true, true)) << "trailing blanks are characters left over";
    EXPECT_EQ(U8(LastErrorText()), "marker") << "quiet failures leave no trace";
    EXPECT_TRUE(TextToLong(&number, u"12abc", 10, false, false));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(TextToLong(&number, u"  -0x10", 16, true, true));
    EXPECT_EQ(number, -16);
    EXPECT_TRUE(TextToLong(&number, u"777", 8, true, true));
    EXPECT_EQ(number, 511);
}

TEST(ParamNumbers, LongsClampToThe32BitRange) {
    LONG number = 0;
    EXPECT_TRUE(TextToLong(&number, u"99999999999", 10, true, true));
    EXPECT_EQ(number, INT32_MAX);
    EXPECT_TRUE(TextToLong(&number, u"-99999999999", 0, true, true));
    EXPECT_EQ(number, INT32_MIN);
}

TEST(ParamNumbers, Doubles) {
    double number = 0;
    EXPECT_TRUE(TextToDouble(&number, u"1555.0", true, false));
    EXPECT_EQ(number, 1555.0);
    EXPECT_TRUE(TextToDouble(&number, u"-2.5e3", true, false));
    EXPECT_EQ(number, -2500.0);
    EXPECT_TRUE(TextToDouble(&number, u"3.5V", false, false));
    EXPECT_EQ(number, 3.5);
    number = 1;
    EXPECT_FALSE(TextToDouble(&number, u"3.5V", true, true));
    EXPECT_FALSE(TextToDouble(&number, u"inf", true, true)) << "no inf from text";
    EXPECT_FALSE(TextToDouble(&number, u"0x10", true, true)) << "no hex floats";
    EXPECT_EQ(number, 1);
}

TEST(ParamNumbers, DoubleOverflowFailsEvenWhenLenient) {
    SetTraceMethodName(u"CTest::Overflow()");
    double number = 1;
    EXPECT_FALSE(TextToDouble(&number, u"1e999", false, false));
    EXPECT_EQ(number, 1);
    EXPECT_EQ(U8(LastErrorText()),
              "('1e999'): The value cannot be represented because of an overflow: HUGE_VAL.");
    EXPECT_FALSE(TextToDouble(&number, u"-1e999", false, true));
    EXPECT_TRUE(TextToDouble(&number, u"1e-999", true, true)) << "an underflow is no overflow";
    EXPECT_EQ(number, 0.0);
}

TEST(ParamNumbers, PercentInTheTextIsNotAFormat) {
    LONG number = 0;
    EXPECT_FALSE(TextToLong(&number, u"5%s%n", 10, true, false));
    EXPECT_EQ(U8(LastErrorText()),
              "('5%s%n'): The value cannot be represented because of wrong character(s): '%s%n'.");
}

} // namespace
