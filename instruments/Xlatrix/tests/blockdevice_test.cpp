// The frame device adapter: hexadecimal register commands, fixed-width and hexadecimal answer fields,
// Latin-1 units, blocks of fixed-width samples, and frames that must fail.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Returned;

using Values = std::vector<std::string>;

class BlockDevice : public xltest::AdapterTest {
protected:
    BlockDevice() : AdapterTest("xlatrix_blockdevice.daf") {}
};

TEST_F(BlockDevice, RegisterCommands) {
    Value("address", "1");
    Value("register", "160");
    EXPECT_EQ(Compose("msg_ReadReg"), "#01R00A0\r");
    Value("address", "0x2F");
    Value("register", "65535");
    Value("value", "4294967295");
    EXPECT_EQ(Compose("msg_WriteReg"), "#2FWFFFFFFFFFFFF\r");
    // A register beyond four hexadecimal digits does not fit its field.
    Value("address", "1");
    Value("register", "65536");
    EXPECT_NE(Compose("msg_ReadReg").find("'10000' isn't valid according to the Schema"), std::string::npos);
    Value("address", "-1");
    Value("register", "1");
    EXPECT_NE(Compose("msg_ReadReg").find("'FFFFFFFF' isn't valid"), std::string::npos);
}

TEST_F(BlockDevice, RegisterAnswer) {
    ASSERT_TRUE(Parse("msg_ReadRegResponse", "#01FFFFFFFFOKPUMP-01 \r")) << adapter.strErrorText;
    EXPECT_EQ(Returned(adapter, "address"), Values{"1"});
    EXPECT_EQ(Returned(adapter, "value"), Values{"4294967295"});
    EXPECT_EQ(Returned(adapter, "status"), Values{"OK"});
    EXPECT_EQ(Returned(adapter, "name"), Values{"PUMP-01"}); // trimmed as a string value
    ASSERT_TRUE(Parse("msg_ReadRegResponse", "#A500000010ERVALVE  3\r"));
    EXPECT_EQ(Returned(adapter, "address"), Values{"165"});
    EXPECT_EQ(Returned(adapter, "value"), Values{"16"});
    EXPECT_EQ(Returned(adapter, "status"), Values{"ER"});
    adapter.bTrimValues = false;
    ASSERT_TRUE(Parse("msg_ReadRegResponse", "#01FFFFFFFFOKPUMP-01 \r"));
    EXPECT_EQ(Returned(adapter, "name"), Values{"PUMP-01 "});
}

TEST_F(BlockDevice, TemperatureInLatinOne) {
    ASSERT_TRUE(Parse("msg_TempResponse", "T+023.5\xB0"
                                          "C\r"));
    EXPECT_EQ(Returned(adapter, "temperature"), Values{"+023.5"});
    EXPECT_FALSE(Parse("msg_TempResponse", "T+023.5\xC2\xB0"
                                           "C\r")); // UTF-8 is not what the device sends
    EXPECT_EQ(adapter.strParsedText, "T+023.5");
}

TEST_F(BlockDevice, SampleBlocks) {
    ASSERT_TRUE(Parse("msg_SampleBlockResponse", "#0001000200FF\r"));
    EXPECT_EQ(Returned(adapter, "sample"), (Values{"0001", "0002", "00FF"}));
    std::string block = "#";
    for (int i = 0; i < 64; ++i) {
        block += "ABCD";
    }
    ASSERT_TRUE(Parse("msg_SampleBlockResponse", (block + "\r").c_str()));
    EXPECT_EQ(adapter.GetNumberOfElements("sample"), 64);
    // A sample cut short leaves the block unparsed after the last whole one.
    EXPECT_FALSE(Parse("msg_SampleBlockResponse", "#0001000200F\r"));
    EXPECT_EQ(adapter.strParsedText, "#00010002");
    EXPECT_FALSE(Parse("msg_SampleBlockResponse", "#\r"));
    EXPECT_EQ(adapter.GetParseFailurePosition(), 1);
}

TEST_F(BlockDevice, FramesThatFail) {
    // "#011FFFFFFFF..." still reads as address 0x011; with one digit more no split of address and value fits
    // an unsignedByte and an unsignedInt.
    EXPECT_TRUE(Parse("msg_ReadRegResponse", "#011FFFFFFFFOKPUMP-01 \r"));
    EXPECT_EQ(Returned(adapter, "address"), Values{"17"});
    EXPECT_FALSE(Parse("msg_ReadRegResponse", "#01AFFFFFFFFFOKPUMP-01 \r"));
    EXPECT_FALSE(Parse("msg_ReadRegResponse", "#01FFFFFFFFOKPUMP-1\r"));   // name too short
    EXPECT_FALSE(Parse("msg_ReadRegResponse", "#01FFFFFFFFNOPUMP-01 \r")); // no such status
    EXPECT_FALSE(Parse("msg_ReadRegResponse", "01FFFFFFFFOKPUMP-01 \r"));
    EXPECT_EQ(adapter.GetParseFailurePosition(), 0);
}

} // namespace
