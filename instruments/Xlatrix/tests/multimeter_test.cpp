// The SCPI multimeter adapter: configuration commands with parameters, readings, reading lists, identity
// and error queue answers, and answers that must fail.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Returned;

using Values = std::vector<std::string>;

class Multimeter : public xltest::AdapterTest {
protected:
    Multimeter() : AdapterTest("xlatrix_multimeter.daf") {}
};

TEST_F(Multimeter, ConfigureWithAndWithoutResolution) {
    adapter.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "range", "10");
    EXPECT_EQ(Compose("msg_ConfVolt"), "CONF:VOLT:DC 10.000\n");
    adapter.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "range", "0.1");
    adapter.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "resolution", "1e-6");
    EXPECT_EQ(Compose("msg_ConfVolt"), "CONF:VOLT:DC 0.100,0.000001\n");
    EXPECT_EQ(Compose("msg_ConfVolt"), "failed: Not enough Entry Parameters.\n");
    adapter.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "range", "ten");
    EXPECT_NE(Compose("msg_ConfVolt").find("The entry value 'ten' can't be converted to a number"),
              std::string::npos);
    EXPECT_EQ(Compose("msg_Read"), "READ?\n");
}

TEST_F(Multimeter, Readings) {
    for (const char* answer : {"+1.23456789E+00\n", "-9.9E37\n", "0\n", "  +4.2E-03\n"}) {
        SCOPED_TRACE(answer);
        ASSERT_TRUE(Parse("msg_ReadResponse", answer));
        std::string expected(answer);
        expected = expected.substr(expected.find_first_not_of(' '));
        expected.pop_back();
        EXPECT_EQ(Returned(adapter, "reading"), Values{expected});
    }
    ASSERT_TRUE(Parse("msg_MeasVoltResponse", "+1.234567E+00 VDC\n"));
    EXPECT_EQ(Returned(adapter, "reading"), Values{"+1.234567E+00"});
    // The numeric look-ahead gives the same readings.
    adapter.bNumericLookAhead = true;
    ASSERT_TRUE(Parse("msg_MeasVoltResponse", "-1.5E-01 VDC\n"));
    EXPECT_EQ(Returned(adapter, "reading"), Values{"-1.5E-01"});
}

TEST_F(Multimeter, ReadingLists) {
    ASSERT_TRUE(Parse("msg_FetchResponse", "+1.0E+00,+2.5E-01,-3.0E+02\n"));
    EXPECT_EQ(Returned(adapter, "reading"), (Values{"+1.0E+00", "+2.5E-01", "-3.0E+02"}));
    EXPECT_EQ(adapter.GetNumberOfElements("reading"), 3);
    ASSERT_TRUE(Parse("msg_FetchResponse", "5\n"));
    EXPECT_EQ(Returned(adapter, "reading"), Values{"5"});
    ASSERT_TRUE(Parse("msg_CountListResponse", "10,20,30"));
    EXPECT_EQ(Returned(adapter, "count"), (Values{"10", "20", "30"}));

    // A long list parses whole.
    std::string answer;
    Values expected;
    for (int i = 0; i < 200; ++i) {
        std::string value = "+" + std::to_string(i) + ".5E-03";
        answer += (i ? "," : "") + value;
        expected.push_back(value);
    }
    answer += "\n";
    ASSERT_TRUE(Parse("msg_FetchResponse", answer.c_str())) << adapter.strErrorText;
    EXPECT_EQ(Returned(adapter, "reading"), expected);
}

TEST_F(Multimeter, IdentityAndErrorQueue) {
    ASSERT_TRUE(Parse("msg_IdnResponse", "VORNIC,DMM-7,SN012345,1.04\n"));
    EXPECT_EQ(Returned(adapter, "manufacturer"), Values{"VORNIC"});
    EXPECT_EQ(Returned(adapter, "model"), Values{"DMM-7"});
    EXPECT_EQ(Returned(adapter, "serial"), Values{"012345"});
    EXPECT_EQ(Returned(adapter, "firmware"), Values{"1.04"});
    ASSERT_TRUE(Parse("msg_ErrorResponse", "-113,\"Undefined header\"\n"));
    EXPECT_EQ(Returned(adapter, "code"), Values{"-113"});
    EXPECT_EQ(Returned(adapter, "message"), Values{"Undefined header"});
    // A value never matches empty text: the message is optional for an empty one.
    ASSERT_TRUE(Parse("msg_ErrorResponse", "+0,\"\"\n"));
    EXPECT_EQ(Returned(adapter, "code"), Values{"+0"});
    EXPECT_EQ(Returned(adapter, "message"), Values{});
}

TEST_F(Multimeter, AnswersThatFail) {
    struct Case {
        const char* type;
        const char* answer;
        int position;
    };
    const Case cases[] = {
        {"msg_ReadResponse", "+1.2E+00", 8},                // no terminator
        {"msg_ReadResponse", "OVLD\n", 0},                  // no number
        {"msg_MeasVoltResponse", "+1.2E+00 VAC\n", 9},      // other unit; the blank may end a number
        {"msg_FetchResponse", "+1.0E+00,+2.0E+00,x\n", 18}, // a reading is missing
        {"msg_IdnResponse", "VORNIC,DMM-7,012345,1.04\n", 12},
        {"msg_ErrorResponse", "-113,Undefined\n", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_FALSE(Parse(c.type, c.answer));
        EXPECT_EQ(adapter.GetParseFailurePosition(), c.position);
        EXPECT_EQ(adapter.strParsedText + adapter.strUnparsedText, c.answer);
        EXPECT_EQ(adapter.strParsedText.size(), static_cast<size_t>(c.position));
        EXPECT_TRUE(adapter.arrReturnedParamValues.empty());
    }
}

// Past a thousand values the places of the matches have indices of four digits and more: a failure is still
// placed where the answer stops matching, and each match keeps its path.
TEST_F(Multimeter, LongListsFailWhereTheyStop) {
    std::string answer;
    for (int i = 0; i < 1200; ++i) {
        answer += (i ? "," : "") + std::to_string(i);
    }
    const int length = static_cast<int>(answer.size());
    EXPECT_FALSE(Parse("msg_CountListResponse", (answer + ",x").c_str()));
    EXPECT_EQ(adapter.GetParseFailurePosition(), length + 1);
    EXPECT_FALSE(Parse("msg_CountListResponse", (answer + "x").c_str()));
    EXPECT_EQ(adapter.GetParseFailurePosition(), length);

    ASSERT_TRUE(Parse("msg_CountListResponse", answer.c_str()));
    EXPECT_EQ(adapter.GetNumberOfElements("count"), 1200);
    EXPECT_EQ(adapter.GetMatchRecords().size(), 2399u); // the values and the commas between them
    const auto& records = adapter.GetMatchRecords();
    auto last = records.find("/msg_CountListResponse/group[0]/item[1]/group[1198]/item[1](count)[0]");
    ASSERT_NE(last, records.end());
    EXPECT_EQ(last->second.nIndex, 1199);
    EXPECT_EQ(last->second.strValue, "1199");
    EXPECT_EQ(last->second.nEnd, length);
}

} // namespace
