// The converter against a real telnetd on loopback: option negotiation with the server, then lines to and
// from the echo program behind it, through a VISA socket session opened by the platform's resource manager.
#include "converter_fixture.h"
#include "telnetd_fixture.h"

#include <chrono>
#include <type_traits>

namespace wirelotest {
namespace {

class TelnetdTest : public ConverterTest {
protected:
    void SetUp() override {
        ConverterTest::SetUp();
        std::string why;
        ASSERT_TRUE(server_.Start(VR_TELNET_ECHO_PROGRAM, &why)) << why;
        CLSID clsid;
        ASSERT_EQ(CLSIDFromProgID(u"VISA.GlobalRM", &clsid), S_OK);
        vr::ComPtr<IResourceManager> manager;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IResourceManager>(),
                                   manager.PutVoid()),
                  S_OK);
        vr::ComPtr<IVisaSession> session;
        BSTR resource = vr::AllocBstrUtf8(server_.SocketResource());
        HRESULT hr = manager->Open(resource, NO_LOCK, 2000, nullptr, session.Put());
        SysFreeString(resource);
        ASSERT_EQ(hr, S_OK) << LastErrorText();
        ASSERT_EQ(session.As(&session_), S_OK);
        ASSERT_EQ(converter_->put_VisaIMessage(session_.Get()), S_OK);
        ASSERT_EQ(message_->put_Timeout(5000), S_OK);
        ASSERT_EQ(message_->put_TerminationCharacter('\n'), S_OK);
        ASSERT_EQ(message_->put_TerminationCharacterEnabled(VARIANT_TRUE), S_OK);
    }
    void TearDown() override {
        if (session_) {
            (void)session_->Close();
        }
        session_ = nullptr;
        server_.Stop();
        ConverterTest::TearDown();
    }

    // Sends line and the line feed; the answer line the program gave.
    std::string Ask(const std::string& line) {
        LONG written = 0;
        EXPECT_EQ(Send(line + "\n", &written), S_OK) << LastErrorText();
        EXPECT_EQ(written, static_cast<LONG>(line.size() + 1));
        std::string answer;
        EXPECT_EQ(Receive(1000, &answer), vr::visa::kSuccessTermChar) << answer;
        return answer;
    }

    TelnetServer server_;
    vr::ComPtr<IMessage> session_;
};

TEST_F(TelnetdTest, NegotiatesWithTheServerAndExchangesLines) {
    // telnetd starts the program only once the negotiation (terminal type among it) is done.
    std::string greeting;
    ASSERT_EQ(Receive(1000, &greeting), vr::visa::kSuccessTermChar) << greeting;
    EXPECT_EQ(greeting, "READY\r\n");
    EXPECT_EQ(Ask("hello"), "HEX 68656C6C6F\r\n");
    EXPECT_EQ(Ask("second line"), "HEX 7365636F6E64206C696E65\r\n");
}

TEST_F(TelnetdTest, Byte255CrossesBothWaysAsData) {
    std::string greeting;
    ASSERT_EQ(Receive(1000, &greeting), vr::visa::kSuccessTermChar);
    // Sent doubled, the server hands the program one byte 255; its own 255 comes back as one byte too.
    EXPECT_EQ(Ask("x\xffy"), "HEX 78FF79\r\n");
    EXPECT_EQ(Ask("FF"), "A\xff"
                         "B\r\n");
}

TEST_F(TelnetdTest, AnsiTerminalTypeStripsEscapeSequences) {
    std::string greeting;
    ASSERT_EQ(Receive(1000, &greeting), vr::visa::kSuccessTermChar);
    EXPECT_EQ(Ask("ANSI"), "RED\r\n");
}

TEST_F(TelnetdTest, ReadWithoutAnswerEndsAtTheTimeout) {
    std::string text;
    ASSERT_EQ(Receive(1000, &text), vr::visa::kSuccessTermChar);
    ASSERT_EQ(message_->put_Timeout(300), S_OK);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Receive(1000, &text), vr::visa::kErrorTimeout);
    EXPECT_EQ(text, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(TelnetdTest, ProgramEndingIsALostConnection) {
    std::string text;
    ASSERT_EQ(Receive(1000, &text), vr::visa::kSuccessTermChar);
    LONG written = 0;
    ASSERT_EQ(Send("QUIT\n", &written), S_OK);
    EXPECT_EQ(Receive(1000, &text), vr::visa::kErrorConnectionLost);
}

// A property read through the converter and straight from the session gives the same value.
template <class Interface, class T>
void ExpectSameValue(IMessage* converter, IMessage* session, HRESULT (Interface::*get)(T*),
                     const char* name) {
    T forwarded{};
    T direct{};
    EXPECT_EQ((converter->*get)(&forwarded), S_OK) << name;
    EXPECT_EQ((session->*get)(&direct), S_OK) << name;
    if constexpr (std::is_same_v<T, BSTR>) {
        EXPECT_EQ(vr::BstrToUtf8(forwarded), vr::BstrToUtf8(direct)) << name;
        SysFreeString(forwarded);
        SysFreeString(direct);
    } else {
        EXPECT_EQ(forwarded, direct) << name;
    }
    EXPECT_EQ((converter->*get)(nullptr), E_POINTER) << name;
}

TEST_F(TelnetdTest, EverySessionMemberTheConverterDoesNotKeepIsTheSessions) {
    IMessage* converter = message_.Get();
    IMessage* session = session_.Get();
    ExpectSameValue(converter, session, &IVisaSession::get_ComponentVersion, "ComponentVersion");
    ExpectSameValue(converter, session, &IVisaSession::get_SpecVersion, "SpecVersion");
    ExpectSameValue(converter, session, &IVisaSession::get_HardwareInterfaceName, "HardwareInterfaceName");
    ExpectSameValue(converter, session, &IVisaSession::get_HardwareInterfaceNumber,
                    "HardwareInterfaceNumber");
    ExpectSameValue(converter, session, &IVisaSession::get_HardwareInterfaceType, "HardwareInterfaceType");
    ExpectSameValue(converter, session, &IVisaSession::get_LockState, "LockState");
    ExpectSameValue(converter, session, &IVisaSession::get_OptionString, "OptionString");
    ExpectSameValue(converter, session, &IVisaSession::get_ProgID, "ProgID");
    ExpectSameValue(converter, session, &IVisaSession::get_ResourceName, "ResourceName");
    ExpectSameValue(converter, session, &IVisaSession::get_SessionType, "SessionType");
    ExpectSameValue(converter, session, &IVisaSession::get_SoftwareManufacturerID, "SoftwareManufacturerID");
    ExpectSameValue(converter, session, &IVisaSession::get_SoftwareManufacturerName,
                    "SoftwareManufacturerName");
    ExpectSameValue(converter, session, &IVisaSession::get_Timeout, "Timeout");
    ExpectSameValue(converter, session, &IBaseMessage::get_IOProtocol, "IOProtocol");
    ExpectSameValue(converter, session, &IBaseMessage::get_SendEndEnabled, "SendEndEnabled");
    BSTR text = nullptr;
    ASSERT_EQ(converter->get_SessionType(&text), S_OK);
    EXPECT_EQ(vr::BstrToUtf8(text), "SOCKET");
    SysFreeString(text);
    ASSERT_EQ(converter->get_HardwareInterfaceName(&text), S_OK);
    EXPECT_EQ(vr::BstrToUtf8(text), "TCPIP0");
    SysFreeString(text);

    // Settings and calls reach the session, and its refusals come back unchanged.
    EXPECT_EQ(converter->put_IOProtocol(PROT_NORMAL), S_OK);
    EXPECT_EQ(converter->put_IOProtocol(PROT_4882_STRS), vr::visa::kErrorUnsupportedAttributeState);
    ExpectSameValue(converter, session, &IVisaSession::get_LastStatus, "LastStatus");
    EXPECT_EQ(converter->put_SendEndEnabled(VARIANT_FALSE), S_OK);
    VARIANT_BOOL sendEnd = VARIANT_TRUE;
    ASSERT_EQ(session->get_SendEndEnabled(&sendEnd), S_OK);
    EXPECT_EQ(sendEnd, VARIANT_FALSE);
    EXPECT_EQ(converter->AssertTrigger(0), vr::visa::kErrorUnsupportedOperation);
    SHORT status = 0;
    EXPECT_EQ(converter->ReadSTB(&status), vr::visa::kErrorUnsupportedOperation);
    EXPECT_EQ(converter->LockRsrc(EXCLUSIVE_LOCK, 0, nullptr, &text), vr::visa::kErrorUnsupportedOperation);
    EXPECT_EQ(converter->UnlockRsrc(), vr::visa::kErrorUnsupportedOperation);
    EXPECT_EQ(converter->Clear(), S_OK);
    EXPECT_EQ(converter->Init(), S_OK);
    EXPECT_EQ(converter->Close(), S_OK);
    EXPECT_EQ(session->Init(), vr::visa::kErrorInvalidObject) << "Close reached the session";
    EXPECT_EQ(converter->Init(), vr::visa::kErrorInvalidObject);
}

} // namespace
} // namespace wirelotest
