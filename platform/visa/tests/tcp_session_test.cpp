// Socket sessions against the loopback instrument: end conditions, deadlines, late answers, lost peers.
#include "visa_fixture.h"

#include "platform/visa/message_session.h"

#include <thread>

namespace vrvisatest {
namespace {

using namespace std::chrono_literals;
using namespace vr::visa;

class TcpSessionTest : public VisaTest {
protected:
    void SetUp() override {
        VisaTest::SetUp();
        ASSERT_TRUE(instrument_.Start());
        session_ = OpenOrFail(instrument_.SocketResource());
        ASSERT_TRUE(session_);
    }
    void TearDown() override {
        session_ = nullptr;
        instrument_.Stop();
        VisaTest::TearDown();
    }

    LoopbackInstrument instrument_;
    vr::ComPtr<IMessage> session_;
};

TEST_F(TcpSessionTest, AQueryEndsOnTheTerminationCharacterOrAtTheCount) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "*IDN?\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kSuccessTermChar);
    EXPECT_EQ(answer.text, "VORNIC,LOOPBACK,0,1.0\n");

    ASSERT_EQ(WriteText(session_.Get(), "ECHO abcdefgh\n"), S_OK);
    ReadResult first = ReadText(session_.Get(), 5);
    EXPECT_EQ(first.status, kSuccessMaxCount);
    EXPECT_EQ(first.text, "abcde");
    ReadResult rest = ReadText(session_.Get(), 5);
    EXPECT_EQ(rest.status, kSuccessTermChar);
    EXPECT_EQ(rest.text, "fgh\n");
}

TEST_F(TcpSessionTest, BytesAboveSevenBitsTravelOneToOne) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "ECHO \xB5V \xFF\n"), S_OK);
    EXPECT_EQ(ReadText(session_.Get()).text, "\xB5V \xFF\n");
}

TEST_F(TcpSessionTest, ATimeoutReturnsThePartialAnswerWithTheTimeoutCode) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "PARTIAL abc\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorTimeout);
    EXPECT_EQ(answer.text, "abc");
    EXPECT_GE(answer.elapsed, 250ms);
    EXPECT_LT(answer.elapsed, 2000ms);
    EXPECT_NE(LastErrorText().find("Timeout"), std::string::npos);
}

TEST_F(TcpSessionTest, OneDeadlineCoversAReadHoweverManyChunksItTakes) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 500), S_OK);
    // Twenty characters, one every 100 ms: each gap is shorter than the timeout, the whole is not.
    ASSERT_EQ(WriteText(session_.Get(), "TRICKLE 100 abcdefghijklmnopqrst\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorTimeout);
    EXPECT_LT(answer.elapsed, 1500ms);
    EXPECT_LT(answer.text.size(), 12u); // about five came within the timeout (fewer on a busy machine)
}

TEST_F(TcpSessionTest, ALateAnswerIsNotTakenForTheAnswerToTheNextQuery) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 100), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "DELAY 300 late\n"), S_OK);
    EXPECT_EQ(ReadText(session_.Get()).status, kErrorTimeout);
    std::this_thread::sleep_for(2000ms); // the late answer (due 200 ms after the read's end) is waiting now
    ASSERT_EQ(SetTimeout(session_.Get(), 2000), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "ECHO fresh\n"), S_OK);
    EXPECT_EQ(ReadText(session_.Get()).text, "fresh\n");
}

TEST_F(TcpSessionTest, ZeroTimeoutPollsKeepWhatArrivesAfterThem) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "DELAY 1500 early\n"), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 0), S_OK);
    ReadResult poll = ReadText(session_.Get());
    EXPECT_EQ(poll.status, kErrorTimeout);
    EXPECT_EQ(poll.text, "");
    EXPECT_LT(poll.elapsed, 1000ms) << "the poll waited for the answer";
    std::this_thread::sleep_for(2000ms); // the answer has come
    ASSERT_EQ(WriteText(session_.Get(), "ECHO second\n"), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 2000), S_OK);
    EXPECT_EQ(ReadText(session_.Get()).text, "early\n");
    EXPECT_EQ(ReadText(session_.Get()).text, "second\n");
}

TEST_F(TcpSessionTest, ASilentPeerGivesTheTimeoutAfterTheTimeout) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "SILENT\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorTimeout);
    EXPECT_EQ(answer.text, "");
    EXPECT_GE(answer.elapsed, 250ms);
    EXPECT_LT(answer.elapsed, 2000ms);
}

TEST_F(TcpSessionTest, WithoutEndConditionsAReadReturnsWhatCameWithinTheTimeout) {
    ASSERT_EQ(SetTimeout(session_.Get(), 300), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "ECHO one line\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorTimeout);
    EXPECT_EQ(answer.text, "one line\n");
}

TEST_F(TcpSessionTest, APeerThatClosesIsALostConnectionAtOnceAndWritesRaiseNoSignal) {
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 5000), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "PARTIAL bye\n"), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "CLOSE\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorConnectionLost);
    EXPECT_EQ(answer.text, "bye");
    EXPECT_LT(answer.elapsed, 2000ms);
    EXPECT_NE(LastErrorText().find("connection"), std::string::npos);
    // The peer is gone: writes fail (a process that got SIGPIPE would not get here).
    HRESULT write = S_OK;
    for (int attempt = 0; attempt < 5 && SUCCEEDED(write); ++attempt) {
        write = WriteText(session_.Get(), "ECHO anyone\n");
    }
    EXPECT_EQ(write, kErrorConnectionLost);
    EXPECT_EQ(ReadText(session_.Get()).status, kErrorConnectionLost);
}

TEST_F(TcpSessionTest, AResetIsALostConnection) {
    ASSERT_EQ(SetTimeout(session_.Get(), 5000), S_OK);
    ASSERT_EQ(WriteText(session_.Get(), "RESET\n"), S_OK);
    ReadResult answer = ReadText(session_.Get());
    EXPECT_EQ(answer.status, kErrorConnectionLost);
    EXPECT_LT(answer.elapsed, 2000ms);
}

TEST_F(TcpSessionTest, NoDelayIsOnAndAMessageLeavesInOneWrite) {
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(session_->GetAttribute(static_cast<LONG>(attr::kTcpNoDelay), &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 1);
    ASSERT_EQ(SetTermChar(session_.Get(), '\n'), S_OK);
    // The instrument tells how many bytes the read that brought the query received: all of it.
    ASSERT_EQ(WriteText(session_.Get(), "CHUNK?\n"), S_OK);
    EXPECT_EQ(ReadText(session_.Get()).text, "7\n");
}

TEST_F(TcpSessionTest, AttributesAreSetAndReadByVisaIdentifiers) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstr(u"1234");
    EXPECT_EQ(session_->SetAttribute(static_cast<LONG>(attr::kTimeout), value), S_OK);
    (void)VariantClear(&value);
    LONG timeout = 0;
    ASSERT_EQ(session_->get_Timeout(&timeout), S_OK);
    EXPECT_EQ(timeout, 1234);
    EXPECT_EQ(session_->put_Timeout(-5), kErrorUnsupportedAttributeState);
    EXPECT_EQ(session_->GetAttribute(static_cast<LONG>(attr::kBaudRate), &value), kErrorUnsupportedAttribute);
    HRESULT last = S_OK;
    ASSERT_EQ(session_->get_LastStatus(&last), S_OK);
    EXPECT_EQ(last, kErrorUnsupportedAttribute);
    vr::ComPtr<ISerial> serial;
    EXPECT_EQ(session_.As(&serial), E_NOINTERFACE);
}

TEST_F(TcpSessionTest, AClosedSessionRefusesEveryCall) {
    ASSERT_EQ(session_->Close(), S_OK);
    EXPECT_EQ(WriteText(session_.Get(), "*IDN?\n"), kErrorInvalidObject);
    EXPECT_EQ(ReadText(session_.Get()).status, kErrorInvalidObject);
    EXPECT_EQ(session_->put_Timeout(10), kErrorInvalidObject);
}

TEST_F(TcpSessionTest, ByteArraysAreWrittenAndReadWithTheirCounts) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 12);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(bytes, &data), S_OK);
    std::memcpy(data, "ECHO xy\nJUNK", 12);
    ASSERT_EQ(SafeArrayUnaccessData(bytes), S_OK);
    LONG written = 0;
    ASSERT_EQ(session_->Write(bytes, 8, &written), S_OK);
    EXPECT_EQ(written, 8);
    EXPECT_EQ(session_->Write(bytes, 13, &written), E_INVALIDARG);
    ASSERT_EQ(SafeArrayDestroy(bytes), S_OK);
    SAFEARRAY* received = nullptr;
    ASSERT_EQ(session_->Read(3, &received), kSuccessMaxCount);
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetUBound(received, 1, &upper), S_OK);
    EXPECT_EQ(upper, 2);
    ASSERT_EQ(SafeArrayAccessData(received, &data), S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 3), "xy\n");
    ASSERT_EQ(SafeArrayUnaccessData(received), S_OK);
    ASSERT_EQ(SafeArrayDestroy(received), S_OK);
}

TEST_F(TcpSessionTest, BytePollsWithoutWaitingSeeEveryByteOnce) {
    // A protocol converter reads one byte per call with the timeout at 0, until nothing is waiting.
    ASSERT_EQ(WriteText(session_.Get(), "ECHO ab\n"), S_OK);
    ASSERT_EQ(SetTimeout(session_.Get(), 0), S_OK);
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (received.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        ReadResult byte = ReadText(session_.Get(), 1);
        if (byte.status == kSuccessMaxCount) {
            EXPECT_EQ(byte.text.size(), 1u);
            received += byte.text;
        } else {
            ASSERT_EQ(byte.status, kErrorTimeout); // nothing yet, or nothing more
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_EQ(received, "ab\n");
    EXPECT_EQ(ReadText(session_.Get(), 1).status, kErrorTimeout) << "a byte was seen twice";
}

class TcpOpenTest : public VisaTest {};

TEST_F(TcpOpenTest, ARefusedInstrumentFailsAtOpenAsNotFound) {
    vr::ComPtr<IMessage> session;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Open("TCPIP0::127.0.0.1::" + std::to_string(UnusedPort()) + "::SOCKET", &session),
              kErrorResourceNotFound);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    std::string message = LastErrorText();
    EXPECT_NE(message.find("refused"), std::string::npos) << message;
    EXPECT_EQ(Open("TCPIP0::no-such-host.invalid::5025::SOCKET", &session), kErrorResourceNotFound);
}

TEST_F(TcpOpenTest, AnInstrResourceWithAPortNumberSaysThatARawPortNeedsSocket) {
    vr::ComPtr<IMessage> session;
    EXPECT_EQ(Open("TCPIP0::127.0.0.1::5025::INSTR", &session), kErrorResourceNotFound);
    std::string message = LastErrorText();
    EXPECT_NE(message.find("needs '::SOCKET'"), std::string::npos) << message;
    EXPECT_NE(message.find("TCPIP0::127.0.0.1::5025::SOCKET"), std::string::npos) << message;
}

TEST_F(TcpOpenTest, GpibAndUsbResourcesAreClearlyNotAvailable) {
    vr::ComPtr<IMessage> session;
    EXPECT_EQ(Open("GPIB0::5::INSTR", &session), kErrorResourceNotFound);
    EXPECT_NE(LastErrorText().find("No GPIB support on this system"), std::string::npos);
    EXPECT_EQ(Open("USB0::0x1::0x2::SN::INSTR", &session), kErrorResourceNotFound);
    EXPECT_EQ(Open("COM1", &session), kErrorInvalidResourceName);
    // A HiSLIP device is not taken for a VXI-11 one that merely did not answer.
    EXPECT_EQ(Open("TCPIP0::127.0.0.1::HiSLIP0::INSTR", &session), kErrorResourceNotFound);
    EXPECT_NE(LastErrorText().find("HiSLIP is not supported on this system"), std::string::npos)
        << LastErrorText();
}

TEST_F(TcpOpenTest, KeywordsInAnyCaseBlanksAroundAndIpv6Hosts) {
    LoopbackInstrument instrument;
    ASSERT_TRUE(instrument.Start("\\n", true));
    vr::ComPtr<IMessage> session =
        OpenOrFail("  tcpip::[::1]::" + std::to_string(instrument.Port()) + "::socket  ");
    ASSERT_TRUE(session);
    ASSERT_EQ(SetTermChar(session.Get(), '\n'), S_OK);
    ASSERT_EQ(WriteText(session.Get(), "*idn?\n"), S_OK);
    EXPECT_EQ(ReadText(session.Get()).text, "VORNIC,LOOPBACK,0,1.0\n");
    BSTR name = nullptr;
    ASSERT_EQ(session->get_ResourceName(&name), S_OK);
    EXPECT_EQ(vr::BstrToUtf8(name), "TCPIP0::[::1]::" + std::to_string(instrument.Port()) + "::SOCKET");
    SysFreeString(name);
}

TEST_F(TcpOpenTest, ASessionKeepsTheOptionsItWasOpenedWith) {
    LoopbackInstrument instrument;
    ASSERT_TRUE(instrument.Start());
    vr::ComPtr<IVisaSession> session;
    BSTR name = vr::AllocBstrUtf8(instrument.SocketResource());
    BSTR options = vr::AllocBstr(u"Simulate=false");
    ASSERT_EQ(manager_->Open(name, NO_LOCK, 2000, options, session.Put()), S_OK) << LastErrorText();
    SysFreeString(name);
    SysFreeString(options);
    BSTR kept = nullptr;
    ASSERT_EQ(session->get_OptionString(&kept), S_OK);
    EXPECT_EQ(vr::BstrToUtf8(kept), "Simulate=false");
    SysFreeString(kept);
}

TEST_F(TcpOpenTest, UnknownAccessModesAreRefused) {
    vr::ComPtr<IVisaSession> session;
    BSTR name = vr::AllocBstr(u"TCPIP::127.0.0.1::1::SOCKET");
    EXPECT_EQ(manager_->Open(name, 8, 100, nullptr, session.Put()), kErrorInvalidAccessMode);
    SysFreeString(name);
}

} // namespace
} // namespace vrvisatest
