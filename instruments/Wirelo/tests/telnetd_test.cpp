// The converter against a real telnetd on loopback: option negotiation with the server, then lines to and
// from the echo program behind it, through a VISA socket session opened by the platform's resource manager.
#include "converter_fixture.h"
#include "telnetd_fixture.h"

#include <chrono>

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

} // namespace
} // namespace wirelotest
