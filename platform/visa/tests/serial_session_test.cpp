// Serial sessions through socat pseudo-terminal pairs: line settings on the port, end modes, the serial map.
#include "visa_fixture.h"

#include "platform/visa/message_session.h"
#include "platform/visa/serial_ports.h"
#include "tests/support/test_env.h"

#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vrvisatest {
namespace {

using namespace std::chrono_literals;
using namespace vr::visa;

// What the terminal device at path is set to now, read through a descriptor of its own.
termios PortSettings(const std::string& path) {
    termios tio{};
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
}

// Puts value through the named property, then both the property and the attribute of that identifier read it
// back. Data bits and parity may be refused instead: some pseudo-terminal drivers keep them as they are.
template <class T>
void ExpectPropertyIsAttribute(ISerial* serial, HRESULT (ISerial::*put)(T), HRESULT (ISerial::*get)(T*),
                               uint32_t id, T value) {
    SCOPED_TRACE(id);
    HRESULT hr = (serial->*put)(value);
    if (hr == kErrorUnsupportedAttributeState && (id == attr::kDataBits || id == attr::kParity)) {
        return;
    }
    ASSERT_EQ(hr, S_OK);
    T read{};
    ASSERT_EQ((serial->*get)(&read), S_OK);
    EXPECT_EQ(read, value);
    VARIANT attribute;
    VariantInit(&attribute);
    ASSERT_EQ(serial->GetAttribute(static_cast<LONG>(id), &attribute), S_OK);
    EXPECT_EQ(attribute.lVal, static_cast<LONG>(value));
}

class SerialSessionTest : public VisaTest {
protected:
    void SetUp() override {
        VisaTest::SetUp();
        ASSERT_TRUE(cable_.Start(vrtest::MakeFreshFolder("serial")));
    }
    void TearDown() override {
        session_ = nullptr;
        instrument_.Stop();
        VisaTest::TearDown();
    }
    void StartInstrument(const std::string& answerEnd = "\\n") {
        ASSERT_TRUE(instrument_.StartOnTerminal(cable_.Right(), answerEnd));
    }
    vr::ComPtr<ISerial> OpenSerial(const std::string& resource) {
        session_ = OpenOrFail(resource);
        vr::ComPtr<ISerial> serial;
        if (session_) {
            EXPECT_EQ(session_.As(&serial), S_OK);
        }
        return serial;
    }

    TerminalPair cable_;
    LoopbackInstrument instrument_;
    vr::ComPtr<IMessage> session_;
};

TEST_F(SerialSessionTest, LineSettingsReachThePort) {
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    termios initial = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&initial), B9600);
    EXPECT_EQ(initial.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(initial.c_cflag & PARENB, 0u);

    ASSERT_EQ(serial->put_BaudRate(19200), S_OK);
    ASSERT_EQ(serial->put_StopBits(ASRL_STOP_TWO), S_OK);
    termios changed = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&changed), B19200);
    EXPECT_EQ(::cfgetispeed(&changed), B19200);
    EXPECT_NE(changed.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(serial->put_FlowControl(ASRL_FLOW_RTS_CTS), S_OK);
    EXPECT_NE(PortSettings(cable_.Left()).c_cflag & CRTSCTS, 0u);

    // Some pseudo-terminal drivers keep eight data bits and no parity whatever they are asked: then the
    // session says so and keeps the port's real settings.
    HRESULT dataBits = serial->put_DataBits(7);
    if (dataBits == S_OK) {
        EXPECT_EQ(PortSettings(cable_.Left()).c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    } else {
        EXPECT_EQ(dataBits, kErrorUnsupportedAttributeState);
        SHORT bits = 0;
        ASSERT_EQ(serial->get_DataBits(&bits), S_OK);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(PortSettings(cable_.Left()).c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    }
    HRESULT parity = serial->put_Parity(ASRL_PAR_EVEN);
    termios afterParity = PortSettings(cable_.Left());
    if (parity == S_OK) {
        EXPECT_EQ(afterParity.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
    } else {
        EXPECT_EQ(parity, kErrorUnsupportedAttributeState);
        EXPECT_EQ(afterParity.c_cflag & PARENB, 0u);
        EXPECT_EQ(::cfgetospeed(&afterParity), B19200); // the rest of the settings stayed
    }

    // The same through attribute identifiers, as the connection sets them.
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 115200;
    ASSERT_EQ(serial->SetAttribute(static_cast<LONG>(attr::kBaudRate), value), S_OK);
    value.lVal = ASRL_STOP_ONE;
    ASSERT_EQ(serial->SetAttribute(static_cast<LONG>(attr::kStopBits), value), S_OK);
    termios again = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&again), B115200);
    EXPECT_EQ(again.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialSessionTest, EachNumberPropertyIsTheAttributeOfItsName) {
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    // Values other than the defaults, so that a property that reached another attribute shows.
    ISerial* s = serial.Get();
    ExpectPropertyIsAttribute<LONG>(s, &ISerial::put_Timeout, &ISerial::get_Timeout, attr::kTimeout, 1234);
    ExpectPropertyIsAttribute<BYTE>(s, &ISerial::put_TerminationCharacter, &ISerial::get_TerminationCharacter,
                                    attr::kTermChar, 'X');
    ExpectPropertyIsAttribute<LONG>(s, &ISerial::put_BaudRate, &ISerial::get_BaudRate, attr::kBaudRate,
                                    19200);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_DataBits, &ISerial::get_DataBits, attr::kDataBits, 7);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_Parity, &ISerial::get_Parity, attr::kParity,
                                     ASRL_PAR_EVEN);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_StopBits, &ISerial::get_StopBits, attr::kStopBits,
                                     ASRL_STOP_TWO);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_FlowControl, &ISerial::get_FlowControl,
                                     attr::kFlowControl, ASRL_FLOW_XON_XOFF);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_EndIn, &ISerial::get_EndIn, attr::kEndIn,
                                     ASRL_END_NONE);
    ExpectPropertyIsAttribute<SHORT>(s, &ISerial::put_EndOut, &ISerial::get_EndOut, attr::kEndOut,
                                     ASRL_END_TERMCHAR);
}

TEST_F(SerialSessionTest, AValueThePortCannotTakeFailsAndChangesNothing) {
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    ASSERT_EQ(serial->put_BaudRate(38400), S_OK);
    EXPECT_EQ(serial->put_BaudRate(14400), kErrorUnsupportedAttributeState);
    EXPECT_EQ(serial->put_DataBits(9), kErrorUnsupportedAttributeState);
    EXPECT_EQ(serial->put_StopBits(ASRL_STOP_ONE5), kErrorUnsupportedAttributeState);
    LONG rate = 0;
    ASSERT_EQ(serial->get_BaudRate(&rate), S_OK);
    EXPECT_EQ(rate, 38400);
    termios tio = PortSettings(cable_.Left());
    EXPECT_EQ(::cfgetospeed(&tio), B38400);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST_F(SerialSessionTest, WithEndInNoneReadsStillEndOnTheTerminationCharacter) {
    StartInstrument("\\r\\n");
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    SHORT endIn = -1;
    ASSERT_EQ(serial->get_EndIn(&endIn), S_OK);
    EXPECT_EQ(endIn, ASRL_END_TERMCHAR);
    ASSERT_EQ(serial->put_EndIn(ASRL_END_NONE), S_OK);
    ASSERT_EQ(SetTermChar(serial.Get(), '\n'), S_OK);
    ASSERT_EQ(WriteText(serial.Get(), "*IDN?\n"), S_OK);
    ReadResult answer = ReadText(serial.Get());
    EXPECT_EQ(answer.status, kSuccessTermChar);
    EXPECT_EQ(answer.text, "VORNIC,LOOPBACK,0,1.0\r\n");
}

TEST_F(SerialSessionTest, EndInOnTheTerminationCharacterEndsAReadWithTheEndIndicator) {
    StartInstrument();
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    ASSERT_EQ(WriteText(serial.Get(), "ECHO first\n"), S_OK);
    ReadResult answer = ReadText(serial.Get());
    EXPECT_EQ(answer.status, S_OK);
    EXPECT_EQ(answer.text, "first\n");
    // End-in none and no termination character: only the count or the timeout end a read.
    ASSERT_EQ(serial->put_EndIn(ASRL_END_NONE), S_OK);
    ASSERT_EQ(SetTimeout(serial.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(serial.Get(), "ECHO second\n"), S_OK);
    ReadResult timed = ReadText(serial.Get());
    EXPECT_EQ(timed.status, kErrorTimeout);
    EXPECT_EQ(timed.text, "second\n");
}

TEST_F(SerialSessionTest, AfterATimedOutReadTheNextQueryGetsItsOwnAnswer) {
    StartInstrument();
    vr::ComPtr<ISerial> serial = OpenSerial("ASRL" + cable_.Left() + "::INSTR");
    ASSERT_TRUE(serial);
    ASSERT_EQ(SetTimeout(serial.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(serial.Get(), "SILENT\n"), S_OK);
    EXPECT_EQ(ReadText(serial.Get()).status, kErrorTimeout);
    ASSERT_EQ(WriteText(serial.Get(), "ECHO still here\n"), S_OK);
    ASSERT_EQ(SetTimeout(serial.Get(), 2000), S_OK);
    EXPECT_EQ(ReadText(serial.Get()).text, "still here\n");
}

TEST_F(SerialSessionTest, NumberedResourcesComeFromTheSerialMap) {
    ASSERT_TRUE(SetSerialDevicePath(7, cable_.Left()));
    EXPECT_EQ(SerialDevicePath(7), cable_.Left());
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyS1");
    StartInstrument();
    vr::ComPtr<ISerial> serial = OpenSerial("asrl7::instr");
    ASSERT_TRUE(serial);
    ASSERT_EQ(WriteText(serial.Get(), "*IDN?\n"), S_OK);
    EXPECT_EQ(ReadText(serial.Get()).text, "VORNIC,LOOPBACK,0,1.0\n");

    SAFEARRAY* names = nullptr;
    BSTR expression = vr::AllocBstr(u"ASRL7?*");
    ASSERT_EQ(manager_->FindRsrc(expression, &names), S_OK);
    SysFreeString(expression);
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetUBound(names, 1, &upper), S_OK);
    ASSERT_EQ(upper, 0);
    LONG index = 0;
    BSTR found = nullptr;
    ASSERT_EQ(SafeArrayGetElement(names, &index, &found), S_OK);
    EXPECT_EQ(vr::BstrToUtf8(found), "ASRL7::INSTR");
    SysFreeString(found);
    ASSERT_EQ(SafeArrayDestroy(names), S_OK);
}

TEST_F(SerialSessionTest, MissingPortsAndNonTerminalsAreNotFound) {
    vr::ComPtr<IMessage> session;
    EXPECT_EQ(Open("ASRL/dev/no-such-tty::INSTR", &session), kErrorResourceNotFound);
    EXPECT_EQ(Open("ASRL/dev/null::INSTR", &session), kErrorResourceNotFound);
    EXPECT_NE(LastErrorText().find("not a terminal"), std::string::npos);
    EXPECT_EQ(Open("ASRL0::INSTR", &session), kErrorResourceNotFound);
    SAFEARRAY* names = nullptr;
    BSTR expression = vr::AllocBstr(u"GPIB?*");
    EXPECT_EQ(manager_->FindRsrc(expression, &names), kErrorResourceNotFound);
    SysFreeString(expression);
}

} // namespace
} // namespace vrvisatest
