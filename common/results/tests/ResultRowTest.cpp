// The texts of a results row: status words, skipped serial numbers, value texts, descriptions, date and time.
#include "common/results/ResultRow.h"
#include "common/results/tests/ResultsTestSupport.h"
#include "platform/base/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>

namespace {

using resultstest::Missing;

TEST(ResultRowTest, StatusWordsCoverZeroToSevenOnly) {
    const char16_t* expected[] = {u"Unknown",     u"Passed",     u"Failed",   u"Warning",
                                  u"Interrupted", u"Processing", u"Oncoming", u"Error"};
    for (LONG status = 0; status < 8; ++status) {
        EXPECT_EQ(vr::U16View(TestStatusWord(status)), expected[status]);
    }
    EXPECT_EQ(TestStatusWord(8), nullptr);
    EXPECT_EQ(TestStatusWord(-1), nullptr);
}

TEST(ResultRowTest, TestAndUndefinedSerialNumbersAreSkipped) {
    for (const OLECHAR* sn :
         {static_cast<const OLECHAR*>(nullptr), u"", u"test", u"TEST", u"<undefined>", u"<Undefined>"}) {
        EXPECT_TRUE(IsResultStorageSkipped(sn));
    }
    for (const OLECHAR* sn : {u"SN1", u" test", u"tests", u"Undefined"}) {
        EXPECT_FALSE(IsResultStorageSkipped(sn));
    }
}

TEST(ResultRowTest, MissingArgumentsAreToldApart) {
    _variant_t missing = Missing();
    VARIANT reference;
    reference.vt = VT_VARIANT | VT_BYREF;
    reference.pvarVal = &missing;
    EXPECT_TRUE(IsMissingArgument(missing));
    EXPECT_TRUE(IsMissingArgument(reference));
    EXPECT_FALSE(IsMissingArgument(_variant_t(LONG{DISP_E_PARAMNOTFOUND}, VT_I4)));
    EXPECT_FALSE(IsMissingArgument(_variant_t()));
}

TEST(ResultRowTest, NumbersAreStoredAsTheirShortestExactText) {
    EXPECT_EQ(ResultValueText(_variant_t(0.1)), u"0.1");
    EXPECT_EQ(ResultValueText(_variant_t(123456789.0)), u"123456789");
    EXPECT_EQ(ResultValueText(_variant_t(1.0 / 3)), u"0.3333333333333333");
    EXPECT_EQ(ResultValueText(_variant_t(1e20)), u"1E+20");
    EXPECT_EQ(ResultValueText(_variant_t(-2.5e-7)), u"-2.5E-07");
    EXPECT_EQ(ResultValueText(_variant_t(0.0)), u"0");
    EXPECT_EQ(ResultValueText(_variant_t(FLOAT{0.1f})), u"0.1");
    EXPECT_EQ(ResultValueText(_variant_t(FLOAT{16777216.0f})), u"16777216");
    // Other values keep their display text.
    EXPECT_EQ(ResultValueText(_variant_t(LONG{42})), u"42");
    EXPECT_EQ(ResultValueText(_variant_t(u"it's")), u"it's");
    EXPECT_EQ(ResultValueText(_variant_t(true)), u"True");
}

TEST(ResultRowTest, AnyDoubleReadsBackFromItsText) {
    std::mt19937_64 random(20240305);
    std::uniform_int_distribution<uint64_t> bits;
    for (int i = 0; i < 5000; ++i) {
        uint64_t pattern = bits(random);
        double value = 0;
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        std::u16string text = ResultValueText(_variant_t(value));
        EXPECT_EQ(vr::Wcstod(text.c_str(), nullptr), value) << vr::ToUtf8(text);
    }
}

TEST(ResultRowTest, DescriptionLosesLineBreaksAndQuotes) {
    EXPECT_EQ(CleanDescription(u"line\r\none 'quoted' \"too\""), u"lineone quoted too");
    EXPECT_EQ(CleanDescription(u""), u"");
}

class ResultTimestampTest : public testing::Test {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        savedZone_ = zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (savedZone_) {
            setenv("TZ", savedZone_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    std::optional<std::string> savedZone_;
};

TEST_F(ResultTimestampTest, DateAndTimeInTheSystemsForm) {
    ResultTimestamp afternoon = FormatResultTimestamp(1709643723); // 2024-03-05 13:02:03 UTC
    EXPECT_EQ(afternoon.date, u"March 05, 2024");
    EXPECT_EQ(afternoon.time, u"01:02:03 PM");
    ResultTimestamp midnight = FormatResultTimestamp(1704067200); // 2024-01-01 00:00:00 UTC
    EXPECT_EQ(midnight.date, u"January 01, 2024");
    EXPECT_EQ(midnight.time, u"12:00:00 AM");
}

} // namespace
