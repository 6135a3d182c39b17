// The power supply adapter: commands with channel and value, defaults, lists of steps, readings with units,
// a status with repeated channel groups, and answers that must fail.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Returned;

using Values = std::vector<std::string>;

class PowerSupply : public xltest::AdapterTest {
protected:
    PowerSupply() : AdapterTest("xlatrix_powersupply.daf") {}
};

TEST_F(PowerSupply, SetVoltage) {
    Value("channel", "2");
    Value("voltage", "12.5");
    EXPECT_EQ(Compose("msg_SetVolt"), "VSET2:12.50\r\n");
    // The channel type allows 1 and 2 only.
    Value("channel", "3");
    Value("voltage", "1");
    EXPECT_EQ(Compose("msg_SetVolt"), "failed: Schema Element 'msg_SetVolt:channel': The entry value '3' "
                                      "isn't valid according to the Schema.\n");
    Value("voltage", "5");
    EXPECT_EQ(Compose("msg_SetVoltText"), "VOLT 5.000 Volt\r\n");
}

TEST_F(PowerSupply, DefaultsAndLists) {
    Value("state", "ON");
    EXPECT_EQ(Compose("msg_SetOutput"), "OUTP1 ON\r\n");
    Value("state", "OFF");
    Value("channel", "2");
    EXPECT_EQ(Compose("msg_SetOutput"), "OUTP2 OFF\r\n");
    Value("state", "MAYBE");
    EXPECT_NE(Compose("msg_SetOutput").find("'MAYBE' isn't valid"), std::string::npos);
    for (const char* step : {"1.0", "2.5", "5.0"}) {
        Value("step", step);
    }
    EXPECT_EQ(Compose("msg_SetSequence"), "LIST 1.0,2.5,5.0\r\n");
    Value("step", "3");
    EXPECT_EQ(Compose("msg_SetSequence"), "LIST 3\r\n");
}

TEST_F(PowerSupply, ReadingWithUnit) {
    ASSERT_TRUE(Parse("msg_GetVoltResponse", "12.5V\r\n"));
    EXPECT_EQ(Returned(adapter, "voltage"), Values{"12.5"});
    ASSERT_TRUE(Parse("msg_GetVoltResponse", "-0.003V\r\n"));
    EXPECT_EQ(Returned(adapter, "voltage"), Values{"-0.003"});
    std::string units;
    ASSERT_TRUE(adapter.GetMeasurementUnitsOfElementOfComplexType("msg_GetVoltResponse", "voltage", units));
    EXPECT_EQ(units, "V");
}

TEST_F(PowerSupply, StatusOfEveryChannel) {
    ASSERT_TRUE(Parse("msg_StatusResponse", "CH1:ON,CH2:OFF\r\n")) << adapter.strErrorText;
    EXPECT_EQ(Returned(adapter, "channel"), (Values{"1", "2"}));
    EXPECT_EQ(Returned(adapter, "state"), (Values{"ON", "OFF"}));
    ASSERT_TRUE(Parse("msg_StatusResponse", "CH2:ON\r\n"));
    EXPECT_EQ(Returned(adapter, "channel"), Values{"2"});
    // Match records by name and index locate every repetition.
    CXlatrix::MatchRecord second;
    ASSERT_TRUE(Parse("msg_StatusResponse", "CH1:ON,CH2:OFF\r\n"));
    ASSERT_TRUE(adapter.FindMatchRecord("state", 1, &second));
    EXPECT_EQ(second.nBegin, 11);
    EXPECT_EQ(second.nEnd, 14);
}

TEST_F(PowerSupply, IdentityWithGap) {
    ASSERT_TRUE(Parse("msg_IdnResponse", "VORNIC PS-2 V1.2, serial 0042\r\n"));
    EXPECT_EQ(Returned(adapter, "model"), Values{"PS-2"});
    EXPECT_EQ(adapter.arrReturnedParamValues.size(), 1u); // the gap is no value
}

TEST_F(PowerSupply, AnswersThatFail) {
    EXPECT_FALSE(Parse("msg_GetVoltResponse", "12.5XV\r\n"));
    EXPECT_EQ(adapter.GetParseFailurePosition(), 4);
    EXPECT_EQ(adapter.strUnparsedText, "XV\r\n");
    EXPECT_FALSE(Parse("msg_GetVoltResponse", "12.5V\n"));
    EXPECT_EQ(adapter.strParsedText, "12.5V");
    EXPECT_FALSE(Parse("msg_StatusResponse", "CH1:ON,CH3:OFF\r\n"));
    EXPECT_EQ(adapter.strParsedText, "CH1:ON,CH");
    EXPECT_FALSE(Parse("msg_StatusResponse", "\r\n"));
    EXPECT_EQ(adapter.GetParseFailurePosition(), 0);
    EXPECT_FALSE(Parse("msg_IdnResponse", "VORNIC PS-2 V1.2"));
    EXPECT_EQ(adapter.strParsedText, "VORNIC PS-2");
}

} // namespace
