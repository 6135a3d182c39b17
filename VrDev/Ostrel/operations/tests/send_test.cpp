// Trying operations from the Operations page's logic on a connection of the real hardware manager to the
// loopback instrument: answers become response definitions or are parsed against stored ones, never dropped;
// time-outs, silence and a failed write are told as what they are.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/operations/tests/host.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace ostrel;
using opstest::RecordingHost;

class OperationsSendTest : public ostreltest::ManagerTest {
protected:
    void SetUp() override {
        ManagerTest::SetUp();
        SaveLoopback(u"Loopback");
        _variant_t none(u"");
        ASSERT_EQ(rigmont->CreateConnection(_bstr_t(u"Loopback"), none, connection_.Put()), S_OK);
        path_ = vr::FromUtf8(folder + "/device.daf");
        document_ = std::make_unique<CDeviceAdapterFile>(path_.c_str());
        ASSERT_EQ(document_->CreateFromBlank(), S_OK);
        host_.document = document_.get();
        host_.connection = connection_.Get();
        page_.Init();
    }
    void TearDown() override {
        connection_ = nullptr;
        ManagerTest::TearDown();
    }
    // A new operation whose command is the sample, sent at once.
    void Try(const std::u16string& operation, const std::string& command) {
        host_.names = {operation, u"msg_" + operation};
        ASSERT_TRUE(page_.NewOperation());
        ASSERT_TRUE(page_.NewInMessage());
        ASSERT_EQ(input_.SetSample(command), S_OK);
        ASSERT_EQ(page_.Send(), S_OK);
    }

    std::u16string path_;
    std::unique_ptr<CDeviceAdapterFile> document_;
    vr::ComPtr<IVrConnection> connection_;
    RecordingHost host_;
    ModelEditorPort input_{MsgSide::Query};
    ModelEditorPort output_{MsgSide::Response};
    COperationsModel page_{host_, input_, output_};
};

TEST_F(OperationsSendTest, AnAnswerDefinesTheResponseThenParsesAgainstItOrIsShownWhenItCannot) {
    Try(u"get_Idn", "*IDN?\n");
    // No response message chosen: one is made from the answer, named after the operation.
    EXPECT_EQ(page_.OutName(), u"msg_get_IdnResponse");
    EXPECT_EQ(output_.Model().Definition().Sample(), "VORNIC,LOOPBACK,0,1.0\n");
    EXPECT_TRUE(page_.Buttons().newOutput);
    // The model becomes a value between its keys, a string; saved, and sent again: the answer parses.
    CMsgEditorModel& response = output_.Model();
    for (auto [begin, end] : {std::pair{0, 7}, std::pair{15, 16}}) { // "VORNIC," and ","
        response.SetSelection(begin, end);
        ASSERT_TRUE(response.MarkConstant());
    }
    response.SetSelection(7, 15);
    ASSERT_TRUE(response.MarkValue());
    ASSERT_TRUE(response.CurrentToken());
    EXPECT_EQ(response.TakeElementChange(u"type=string name=model"), ElementChangeResult::Parsed);
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    ASSERT_EQ(page_.Send(), S_OK);
    EXPECT_NE(page_.ParsedValues().find(u"LOOPBACK"), std::u16string::npos)
        << vr::ToUtf8(page_.ParsedValues());

    // Another operation whose answer the stored response cannot read: shown with the answer, not dropped.
    host_.names = {u"get_Echo", u"msg_get_Echo"};
    ASSERT_TRUE(page_.NewOperation());
    ASSERT_TRUE(page_.NewInMessage());
    ASSERT_EQ(input_.SetSample("ECHO hello\n"), S_OK);
    ASSERT_TRUE(page_.ChooseOutMessage(u"msg_get_IdnResponse"));
    ASSERT_EQ(page_.Send(), S_OK);
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0], u"Unparsed: Current Response from the Connection can't be parsed accoring to "
                              u"'msg_get_IdnResponse' Message Definition. | hello\n");
    EXPECT_EQ(page_.OutName(), u"msg_get_IdnResponse");
    EXPECT_EQ(output_.Model().Definition().Sample(), "VORNIC,LOOPBACK,0,1.0\n");
}

TEST_F(OperationsSendTest, AnAnswerToAStoredButUnloadedResponseIsParsedAgainstIt) {
    // A response stored for another operation, whose sample differs from the next answer.
    Try(u"get_Volt", "VOLT1?\n");
    CMsgEditorModel& response = output_.Model();
    response.SetSelection(0, 1);
    ASSERT_TRUE(response.MarkValue());
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    // Out Name back to undefined; the instrument now reads 7. The answer goes to the stored response of
    // the operation's name, which is loaded and parses it.
    ASSERT_TRUE(page_.ChooseOutMessage(u"<Undefined>"));
    int32_t written = 0;
    ASSERT_EQ(connection_->WriteString(_bstr_t(u"VOLT1 7\n"), &written), S_OK);
    ASSERT_EQ(page_.Send(), S_OK);
    EXPECT_EQ(page_.OutName(), u"msg_get_VoltResponse");
    EXPECT_EQ(response.Definition().Sample(), "7\n");
    EXPECT_NE(page_.ParsedValues().find(u"7"), std::u16string::npos) << vr::ToUtf8(page_.ParsedValues());
    EXPECT_TRUE(host_.boxes.empty()) << vr::ToUtf8(host_.boxes.front());
}

TEST_F(OperationsSendTest, TimeoutTextsSilenceAndAFailedWriteAreToldAsTheyAre) {
    // Silence within the time-out: told as no response or as a failed read, never as an answer.
    host_.names = {u"get_Late", u"msg_get_Late"};
    ASSERT_TRUE(page_.NewOperation());
    ASSERT_TRUE(page_.NewInMessage());
    ASSERT_EQ(input_.SetSample("SILENT\n"), S_OK);
    page_.SetTimeoutText(u"300");
    (void)page_.Send(); // how the connection ends an empty read is its own; what is shown matters
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_TRUE(host_.boxes[0] == u"Warning: No response from the Connection." ||
                host_.boxes[0].rfind(u"Error: Couldn't read from the Connection, Code: 0x", 0) == 0)
        << vr::ToUtf8(host_.boxes[0]);
    EXPECT_EQ(page_.OutName(), u"<Undefined>");

    // "12x" is no number: the connection's own time-out serves, long enough for a late answer.
    host_.boxes.clear();
    ASSERT_EQ(input_.SetSample("DELAY 300 late\n"), S_OK);
    page_.SetTimeoutText(u"12x");
    ASSERT_EQ(page_.Send(), S_OK);
    EXPECT_EQ(output_.Model().Definition().Sample(), "late\n");
    EXPECT_EQ(page_.OutName(), u"msg_get_LateResponse");
    // "0x10" reads for 16 ms: an answer a second late is not there yet, and the response stays.
    ASSERT_EQ(input_.SetSample("DELAY 1000 later\n"), S_OK);
    page_.SetTimeoutText(u"0x10");
    (void)page_.Send(); // how the connection ends an empty read is its own; what is shown matters
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_TRUE(host_.boxes[0] == u"Warning: No response from the Connection." ||
                host_.boxes[0].rfind(u"Error: Couldn't read from the Connection, Code: 0x", 0) == 0)
        << vr::ToUtf8(host_.boxes[0]);
    EXPECT_EQ(output_.Model().Definition().Sample(), "late\n");

    // A connection that is not open: the write fails, is called a write, and nothing is read.
    host_.boxes.clear();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Vornic.CnVISA", &clsid), S_OK);
    vr::ComPtr<IVrConnection> closed;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrConnection, closed.PutVoid()),
              S_OK);
    host_.connection = closed.Get();
    EXPECT_TRUE(FAILED(page_.Send()));
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0].rfind(u"Error: Couldn't write to the Connection, Code: 0x", 0), 0u)
        << vr::ToUtf8(host_.boxes[0]);
    host_.connection = nullptr;
}

} // namespace
