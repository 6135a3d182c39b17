// VXI-11 sessions (TCPIP::host[::device]::INSTR) against the project's VXI-11 instrument on loopback, found
// through the port mapper as a real instrument is: messages with END, counts, termination characters,
// timeouts, lost links and the errors of devices that cannot be opened.
#include "visa_fixture.h"
#include "vxi11_peers.h"

#include <memory>

namespace vrvisatest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kInstrument = "TCPIP0::127.0.0.1::inst0::INSTR";

class Vxi11SessionTest : public VisaTest {
protected:
    void SetUp() override {
        VisaTest::SetUp();
        lock_ = std::make_unique<Vxi11TestLock>();
        std::string why;
        if (!portMapper_.Ensure(&why)) {
            GTEST_SKIP() << "VXI-11 tests need a port mapper: " << why;
        }
        ASSERT_TRUE(instrument_.Start(&why)) << why;
    }
    void TearDown() override {
        instrument_.Stop();
        portMapper_.Stop();
        lock_.reset();
        VisaTest::TearDown();
    }

    std::unique_ptr<Vxi11TestLock> lock_;
    PortMapper portMapper_;
    Vxi11Instrument instrument_;
};

TEST_F(Vxi11SessionTest, QueryEndsWithTheInstrumentsEnd) {
    vr::ComPtr<IMessage> session = OpenOrFail(kInstrument);
    ASSERT_TRUE(session);
    SHORT type = 0;
    ASSERT_EQ(session->get_HardwareInterfaceType(&type), S_OK);
    EXPECT_EQ(type, 6);
    ASSERT_EQ(WriteText(session.Get(), "*IDN?\n"), S_OK);
    ReadResult answer = ReadText(session.Get());
    EXPECT_EQ(answer.status, S_OK);
    EXPECT_EQ(answer.text, "VORNIC,VXI11 LOOPBACK,0,1.0\n");
    // The default device is inst0; keywords in any case.
    vr::ComPtr<IMessage> second;
    ASSERT_EQ(WriteText(session.Get(), "ECHO one\n"), S_OK);
    session = nullptr; // destroys the link, so the next one is the only one
    second = OpenOrFail(" tcpip::127.0.0.1::instr ");
    ASSERT_TRUE(second);
    ASSERT_EQ(WriteText(second.Get(), "ECHO two\n"), S_OK);
    EXPECT_EQ(ReadText(second.Get()).text, "two\n");
}

TEST_F(Vxi11SessionTest, CountAndTerminationCharacterSplitAMessage) {
    vr::ComPtr<IMessage> session = OpenOrFail(kInstrument);
    ASSERT_TRUE(session);
    ASSERT_EQ(WriteText(session.Get(), "ECHO abc;def\n"), S_OK);
    ReadResult counted = ReadText(session.Get(), 2);
    EXPECT_EQ(counted.status, vr::visa::kSuccessMaxCount);
    EXPECT_EQ(counted.text, "ab");
    ASSERT_EQ(SetTermChar(session.Get(), ';'), S_OK);
    ReadResult terminated = ReadText(session.Get());
    EXPECT_EQ(terminated.status, vr::visa::kSuccessTermChar);
    EXPECT_EQ(terminated.text, "c;");
    ReadResult rest = ReadText(session.Get());
    EXPECT_EQ(rest.status, S_OK);
    EXPECT_EQ(rest.text, "def\n");
}

TEST_F(Vxi11SessionTest, LongMessageArrivesWholeAcrossReadsOfTheCoreChannel) {
    vr::ComPtr<IMessage> session = OpenOrFail(kInstrument);
    ASSERT_TRUE(session);
    ASSERT_EQ(WriteText(session.Get(), "BIG 10000\n"), S_OK);
    ReadResult answer = ReadText(session.Get(), 20000);
    EXPECT_EQ(answer.status, S_OK);
    EXPECT_EQ(answer.text, std::string(10000, 'x') + "\n");
    // Exactly the message's length: the count and the end meet.
    ASSERT_EQ(WriteText(session.Get(), "BIG 4095\n"), S_OK);
    answer = ReadText(session.Get(), 4096);
    EXPECT_TRUE(answer.status == S_OK || answer.status == vr::visa::kSuccessMaxCount) << answer.status;
    EXPECT_EQ(answer.text.size(), 4096u);
}

TEST_F(Vxi11SessionTest, SilentAndSlowInstrumentsMeetTheTimeout) {
    vr::ComPtr<IMessage> session = OpenOrFail(kInstrument);
    ASSERT_TRUE(session);
    ASSERT_EQ(SetTimeout(session.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(session.Get(), "SILENT\n"), S_OK);
    ReadResult silent = ReadText(session.Get());
    EXPECT_EQ(silent.status, vr::visa::kErrorTimeout);
    EXPECT_EQ(silent.text, "");
    EXPECT_GE(silent.elapsed, 290ms);
    EXPECT_LT(silent.elapsed, 2s);

    ASSERT_EQ(SetTimeout(session.Get(), 2000), S_OK);
    ASSERT_EQ(WriteText(session.Get(), "DELAY 200 slow\n"), S_OK);
    ReadResult slow = ReadText(session.Get());
    EXPECT_EQ(slow.status, S_OK);
    EXPECT_EQ(slow.text, "slow\n");

    // Timeout 0 returns at once when nothing is ready.
    ASSERT_EQ(SetTimeout(session.Get(), 0), S_OK);
    ReadResult poll = ReadText(session.Get());
    EXPECT_EQ(poll.status, vr::visa::kErrorTimeout);
    EXPECT_LT(poll.elapsed, 500ms);
}

TEST_F(Vxi11SessionTest, InstrumentThatGoesAwayIsALostConnectionAtOnce) {
    vr::ComPtr<IMessage> session = OpenOrFail(kInstrument);
    ASSERT_TRUE(session);
    ASSERT_EQ(SetTimeout(session.Get(), 5000), S_OK);
    (void)WriteText(session.Get(), "EXIT\n");
    ReadResult lost = ReadText(session.Get());
    EXPECT_EQ(lost.status, vr::visa::kErrorConnectionLost);
    EXPECT_LT(lost.elapsed, 3s);
}

TEST_F(Vxi11SessionTest, DevicesThatCannotBeOpenedSayWhy) {
    vr::ComPtr<IMessage> session;
    EXPECT_EQ(Open("TCPIP0::127.0.0.1::5025::INSTR", &session), vr::visa::kErrorResourceNotFound);
    std::string message = LastErrorText();
    EXPECT_NE(message.find("TCPIP0::127.0.0.1::5025::SOCKET"), std::string::npos) << message;
    EXPECT_NE(message.find("raw TCP port needs '::SOCKET'"), std::string::npos) << message;

    EXPECT_EQ(Open("TCPIP0::127.0.0.1::gpib0,5::INSTR", &session), vr::visa::kErrorResourceNotFound);
    message = LastErrorText();
    EXPECT_NE(message.find("VXI-11"), std::string::npos) << message;
    EXPECT_EQ(message.find("::SOCKET"), std::string::npos) << message;

    // No VXI-11 server on the host at all.
    instrument_.Stop();
    EXPECT_EQ(Open(kInstrument, &session), vr::visa::kErrorResourceNotFound);
}

} // namespace
} // namespace vrvisatest
