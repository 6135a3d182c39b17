// The registered TelnetClient over a scripted session: its own properties, the refused byte I/O, reads that
// end at the deadline, writes that escape IAC and answer pending negotiations.
#include "converter_fixture.h"
#include "fake_message.h"
#include "platform/com/object.h"

#include <chrono>

namespace wirelotest {
namespace {

class TelnetClientTest : public ConverterTest {
protected:
    void SetUp() override {
        ConverterTest::SetUp();
        ASSERT_EQ(vr::ComObject<FakeMessage>::Create(&session_), S_OK);
        ASSERT_EQ(converter_->put_VisaIMessage(session_.Get()), S_OK);
    }
    void TearDown() override {
        session_ = nullptr;
        ConverterTest::TearDown();
    }

    vr::ComObjectPtr<FakeMessage> session_;
};

TEST_F(TelnetClientTest, InnerSessionIsHandedBackAndNullPointersAreRefused) {
    vr::ComPtr<IMessage> inner;
    ASSERT_EQ(converter_->get_VisaIMessage(inner.Put()), S_OK);
    EXPECT_EQ(inner.Get(), static_cast<IMessage*>(session_.Get()));
    EXPECT_EQ(converter_->get_VisaIMessage(nullptr), E_POINTER);
    EXPECT_EQ(converter_->put_VisaIMessage(nullptr), E_POINTER);
    EXPECT_EQ(converter_->get_Attributes(nullptr), E_POINTER);
}

TEST_F(TelnetClientTest, AttributeCollectionIsEmptyAndAnswersForTheConverter) {
    vr::ComPtr<IVrAttributeCollection> attributes;
    ASSERT_EQ(converter_->get_Attributes(attributes.Put()), S_OK);
    ASSERT_TRUE(attributes);
    LONG count = -1;
    ASSERT_EQ(attributes->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    vr::ComPtr<IVrAttributeCollection> queried;
    EXPECT_EQ(converter_.As(&queried), S_OK);
}

TEST_F(TelnetClientTest, ByteIoIsRefusedWithMessages) {
    SAFEARRAY* bytes = nullptr;
    EXPECT_EQ(message_->Read(10, nullptr), E_POINTER);
    EXPECT_EQ(message_->Read(10, &bytes), E_NOTIMPL);
    EXPECT_NE(LastErrorText().find("IOProtocolTelnet: Read() method isn't supported."), std::string::npos);
    bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
    LONG written = -1;
    EXPECT_EQ(message_->Write(bytes, -1, nullptr), E_POINTER);
    EXPECT_EQ(message_->Write(bytes, -1, &written), E_NOTIMPL);
    EXPECT_NE(LastErrorText().find("IOProtocolTelnet: Write() method isn't supported."), std::string::npos);
    EXPECT_EQ(session_->TakeWritten(), "");
    (void)SafeArrayDestroy(bytes);
}

TEST_F(TelnetClientTest, TerminationSettingsStayInTheConverter) {
    ASSERT_EQ(message_->put_TerminationCharacter('\r'), S_OK);
    ASSERT_EQ(message_->put_TerminationCharacterEnabled(static_cast<VARIANT_BOOL>(5)), S_OK);
    BYTE character = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_EQ(message_->get_TerminationCharacter(&character), S_OK);
    ASSERT_EQ(message_->get_TerminationCharacterEnabled(&enabled), S_OK);
    EXPECT_EQ(character, '\r');
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(session_->termEnabled, VARIANT_FALSE);
    // Forwarded members reach the session.
    ASSERT_EQ(message_->put_Timeout(1234), S_OK);
    EXPECT_EQ(session_->timeout, 1234);
}

TEST_F(TelnetClientTest, ReadEndsOnTheTerminationCharacterWithTheLineOnly) {
    ASSERT_EQ(message_->put_TerminationCharacter('\n'), S_OK);
    ASSERT_EQ(message_->put_TerminationCharacterEnabled(VARIANT_TRUE), S_OK);
    session_->Arrive("\xff\xfd\x18"
                     "first\r\nsecond\r\n");
    std::string text;
    EXPECT_EQ(Receive(100, &text), vr::visa::kSuccessTermChar);
    EXPECT_EQ(text, "first\r\n");
    EXPECT_EQ(session_->TakeWritten(), "\xff\xfb\x18");
    EXPECT_EQ(Receive(3, &text), vr::visa::kSuccessMaxCount);
    EXPECT_EQ(text, "sec");
}

TEST_F(TelnetClientTest, ReadWithNothingArrivingEndsAtTheTimeoutWithEmptyText) {
    session_->timeout = 150;
    auto start = std::chrono::steady_clock::now();
    std::string text;
    EXPECT_EQ(Receive(100, &text), vr::visa::kErrorTimeout);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(text, "");
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_EQ(session_->timeout, 150);
    // Polls are paced: not one read per processor cycle for the whole wait.
    EXPECT_LT(session_->reads, 1000);
}

TEST_F(TelnetClientTest, ReadHandsOutPartialTextWithTheTimeoutAndKeepsFailuresText) {
    session_->timeout = 50;
    session_->Arrive("part");
    std::string text;
    EXPECT_EQ(Receive(100, &text), vr::visa::kErrorTimeout);
    EXPECT_EQ(text, "part");
    session_->readFailure = vr::visa::kErrorConnectionLost;
    EXPECT_EQ(Receive(100, &text), vr::visa::kErrorConnectionLost);
    EXPECT_EQ(text, "<null>");
}

TEST_F(TelnetClientTest, WriteDoublesDataByte255AndCountsTheCallersCharacters) {
    LONG written = 0;
    ASSERT_EQ(Send("a\xff"
                   "b\xff\xff",
                   &written),
              S_OK);
    EXPECT_EQ(written, 5);
    EXPECT_EQ(session_->TakeWritten(), "a\xff\xff"
                                       "b\xff\xff\xff\xff");
}

TEST_F(TelnetClientTest, WriteAnswersPendingNegotiationsFirstAndDropsTheirText) {
    session_->Arrive("banner\r\n\xff\xfd\x05");
    LONG written = 0;
    ASSERT_EQ(Send("cmd\n", &written), S_OK);
    EXPECT_EQ(session_->TakeWritten(), "\xff\xfc\x05"
                                       "cmd\n");
    session_->Arrive("answer\n");
    ASSERT_EQ(message_->put_TerminationCharacterEnabled(VARIANT_TRUE), S_OK);
    std::string text;
    EXPECT_EQ(Receive(100, &text), vr::visa::kSuccessTermChar);
    EXPECT_EQ(text, "answer\n");
    EXPECT_EQ(message_->WriteString(nullptr, nullptr), E_POINTER);
}

TEST(TelnetClientUnset, ForwardedMembersFailClearlyBeforeTheSessionIsSet) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
        vr::ComPtr<IMessage> message;
        ASSERT_EQ(CoCreateInstance(CLSID_TelnetClient, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IMessage>(),
                                   message.PutVoid()),
                  S_OK);
        LONG timeout = 0;
        EXPECT_EQ(message->get_Timeout(&timeout), E_UNEXPECTED);
        EXPECT_EQ(message->get_Timeout(nullptr), E_POINTER); // the pointer is checked first
        EXPECT_EQ(message->Close(), E_UNEXPECTED);
        BSTR text = nullptr;
        EXPECT_EQ(message->ReadString(10, &text), E_UNEXPECTED);
        EXPECT_EQ(text, nullptr);
    }
    CoUninitialize();
}

} // namespace
} // namespace wirelotest
