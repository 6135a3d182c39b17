// The connection on a serial line: a socat pseudo-terminal pair stands in for the cable, the loopback
// instrument serves the far end.
#include "connection_fixture.h"

#include "tests/support/test_env.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace instreltest {
namespace {

termios PortSettings(const std::string& path) {
    termios tio{};
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
}

class SerialConnectionTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        ASSERT_TRUE(cable_.Start(vrtest::MakeFreshFolder("cable")));
    }

    void ConnectOverCable(const std::string& answerEnd, std::u16string_view options = u"") {
        ASSERT_TRUE(instrument_.StartOnTerminal(cable_.Right(), answerEnd));
        ASSERT_EQ(Init(Resource(), options), S_OK) << vr::ToUtf8(LastError());
    }
    std::string Resource() const { return "ASRL" + cable_.Left() + "::INSTR"; }

    vrvisatest::TerminalPair cable_;
};

TEST_F(SerialConnectionTest, LineSettingsOfInitAndLaterOnesReachThePort) {
    ConnectOverCable("\\n", u"VISA:BaudRate=19200,VISA:StopBits=ASRL_STOP_TWO");
    termios given = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&given), B19200);
    EXPECT_NE(given.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(AttributeText(u"VISA:STOPBITS"), u"ASRL_STOP_TWO");

    ASSERT_EQ(SetText(u"VISA:BaudRate", u"115200"), S_OK) << vr::ToUtf8(LastError());
    VARIANT oneStopBit;
    VariantInit(&oneStopBit);
    oneStopBit.vt = VT_I4;
    oneStopBit.lVal = 10;
    ASSERT_EQ(SetAttribute(u"visa:stopbits", oneStopBit), S_OK);
    termios changed = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&changed), B115200);
    EXPECT_EQ(changed.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(AttributeText(u"VISA:STOPBITS"), u"ASRL_STOP_ONE");
    EXPECT_EQ(AttributeText(u"VISA:BAUDRATE"), u"115200");
}

TEST_F(SerialConnectionTest, ASettingThePortCannotTakeFailsInitWithTheVisaCode) {
    ASSERT_TRUE(instrument_.StartOnTerminal(cable_.Right(), "\\n"));
    EXPECT_EQ(Init(Resource(), u"VISA:StopBits=ASRL_STOP_ONE5"), static_cast<HRESULT>(0x8004001Eu));
    // The code comes with what VISA said about it.
    EXPECT_EQ(LastError(),
              u"The '" + vr::FromUtf8(Resource()) +
                  u"' Connection: VISA Error: 0x8004001e. The specified state of the attribute is "
                  u"not valid, or is not supported as defined by the resource. (stop bits 15)");
}

TEST_F(SerialConnectionTest, ReadsEndOnTheTerminatorWithCarriageReturns) {
    ConnectOverCable("\\r\\n");
    EXPECT_EQ(AttributeText(u"Connection:EndCharsToSend"), u"\n");
    ASSERT_EQ(Send(u"*IDN?"), S_OK);
    ReadResult answer = Read(u"\r\n", 5000);
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(answer.text, u"VORNIC,LOOPBACK,0,1.0\n");
    EXPECT_EQ(answer.status, TerminationString);
    EXPECT_LT(answer.elapsed, std::chrono::milliseconds(4000)) << "the read ended at its timeout";

    // The line's end-in setting does not end reads on a line feed the caller did not ask for.
    ASSERT_EQ(Send(u"ECHO two"), S_OK);
    ReadResult unterminated = Read(u"", 300, 3);
    EXPECT_EQ(unterminated.text, u"two");
    EXPECT_EQ(unterminated.status, MaxCount);
}

TEST_F(SerialConnectionTest, ACarriageReturnOnlyTerminatorEndsOnTheCarriageReturn) {
    ConnectOverCable("\\r");
    ASSERT_EQ(Send(u"ECHO 3.3"), S_OK);
    ReadResult answer = Read(u"\r", 1000);
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(answer.text, u"3.3");
    EXPECT_EQ(answer.status, TerminationString);
}

TEST_F(SerialConnectionTest, AMissingPortFailsInit) {
    EXPECT_EQ(Init("ASRL" + cable_.Left() + "-none::INSTR"), static_cast<HRESULT>(0x80040011u));
    EXPECT_NE(LastError().find(u"Couldn't open the VisaSession for"), std::u16string::npos);
}

} // namespace
} // namespace instreltest
