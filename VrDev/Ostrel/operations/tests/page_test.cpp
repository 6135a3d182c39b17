// The Operations page on the offscreen platform, in a sheet context of the test's own over the real hardware
// manager and the loopback instrument: an engineer defines an operation from the instrument's answer, tries
// it, saves it, and the saved adapter file drives the instrument socket.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/operations/tests/page_driver.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"

#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "plugmar.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

using namespace ostrel;

using ostreltest::OperationsPageDriver;

class OperationsPageTest : public ostreltest::ManagerTest {
protected:
    void SetUp() override {
        ManagerTest::SetUp();
        (void)vrtest::TestApplication(); // made once per process
        SaveLoopback(u"Loopback");
        path_ = vr::FromUtf8(folder + "/loopback.daf");
        {
            // The device's own settings, as the Device page leaves them.
            CDeviceAdapterFile blank(path_.c_str());
            ASSERT_EQ(blank.CreateFromBlank(), S_OK);
            ASSERT_EQ(blank.SetDeviceSetting(u"timeout", u"2000"), S_OK);
            ASSERT_EQ(blank.SetDeviceSetting(u"termstring", u"\n"), S_OK);
            ASSERT_EQ(blank.Save(), S_OK);
        }
        context_ = std::make_unique<SheetContext>(messages_, rigmont.Get());
        ASSERT_EQ(context_->SetAdapterFile(path_), S_OK);
        ASSERT_EQ(context_->ChooseConnection(u"Loopback"), S_OK);
        page_ = std::make_unique<OperationsPage>(*context_);
        page_->resize(1100, 600);
        page_->show();
        page_->FileShown();
        page_->Enter();
    }
    void TearDown() override {
        vr::ui::DropModalAnswers();
        page_.reset();
        context_.reset();
        ManagerTest::TearDown();
    }

    void Click(const QString& button) { OperationsPageDriver(*page_).Click(button); }
    void Mark(MsgTypeDefEdit* editor, int begin, int end, const QString& command) {
        OperationsPageDriver(*page_).Mark(editor, begin, end, command);
    }
    static void AnswerName(const QString& name) { OperationsPageDriver::AnswerName(name); }

    std::u16string path_;
    RecordingMessages messages_;
    std::unique_ptr<SheetContext> context_;
    std::unique_ptr<OperationsPage> page_;
};

TEST_F(OperationsPageTest, AnOperationDefinedFromAnAnswerIsTriedSavedAndDrivesTheSocket) {
    OperationsPageDriver(*page_).DefineModelOperation();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(messages_.boxes.empty()) << vr::ToUtf8(messages_.LastText());
    std::ifstream file(vr::ToUtf8(path_));
    const std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(saved, std::regex(R"(vra:units=["']Hz["'])"))) << saved;

    // The saved file drives a socket on a connection of the hardware manager to the same instrument.
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(u"Meter"), _bstr_t(u"Vornic.Socket"),
                                  _bstr_t(u"Loopback"), _bstr_t((u"AdapterFile=" + path_).c_str())),
              S_OK);
    vr::ComPtr<IVrSocket> socket;
    ASSERT_EQ(rigmont->CreateSocket(_bstr_t(u"Meter"), _variant_t(u""), socket.Put()), S_OK);
    vr::ComPtr<IDispatch> device;
    ASSERT_EQ(socket->QueryInterface(IID_IDispatch, device.PutVoid()), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Model")};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(device->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{};
    _variant_t model;
    ASSERT_EQ(device->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &model, nullptr,
                             nullptr),
              S_OK);
    ASSERT_EQ(model.vt, VT_BSTR);
    EXPECT_EQ(vr::ToUtf8(vr::BstrView(model.bstrVal)), "LOOPBACK");
}

TEST_F(OperationsPageTest, LeavingWithAChangedTimeoutAsksAndAnUnparsedAnswerIsShownWithItsText) {
    AnswerName(QStringLiteral("get_Echo"));
    Click(QStringLiteral("New Operation"));
    AnswerName({});
    Click(QStringLiteral("New"));
    QTest::keyClicks(page_->InputEditor()->TextWindow(), QStringLiteral("ECHO 1"));
    QTest::keyClick(page_->InputEditor()->TextWindow(), Qt::Key_Return);
    Click(QStringLiteral("Send"));
    Click(QStringLiteral("Save Operation"));
    ASSERT_FALSE(page_->Model().IsModified());

    // The time-out alone is a change: leaving asks, and Cancel stays.
    page_->TimeoutRow()->setEditText(QStringLiteral("500"));
    messages_.answers = {IDCANCEL};
    EXPECT_FALSE(page_->Leave());
    ASSERT_EQ(messages_.boxes.size(), 1u) << vr::ToUtf8(messages_.boxes[0].text);
    EXPECT_EQ(messages_.boxes[0].text, u"Save changes to the current Operation?");
    EXPECT_EQ(messages_.boxes[0].type, MB_YESNOCANCEL | MB_ICONQUESTION);
    messages_.answers = {IDYES};
    EXPECT_TRUE(page_->Leave());
    CDeviceAdapterFile saved(path_.c_str());
    CDeviceAdapterFile::Operation operation;
    ASSERT_EQ(saved.GetOperation(u"get_Echo", &operation), S_OK);
    EXPECT_EQ(operation.timeout, std::u16string(u"500"));

    // A number the definition cannot parse: the dialog shows the answer itself.
    MsgTypeDefEdit* output = page_->OutputEditor();
    Mark(output, 0, 1, QStringLiteral("&Value"));
    QString shown;
    vr::ui::AnswerNextModal([&shown](QDialog& dialog) {
        shown = static_cast<WarningResponseDialog&>(dialog).ResponseText()->toPlainText();
        dialog.accept();
    });
    page_->InputEditor()->TextWindow()->setFocus();
    QTextCursor caret(page_->InputEditor()->TextWindow()->document());
    caret.setPosition(6);
    page_->InputEditor()->TextWindow()->setTextCursor(caret);
    QTest::keyClick(page_->InputEditor()->TextWindow(), Qt::Key_X); // "ECHO 1x"
    ASSERT_EQ(page_->InputEditor()->Model().Definition().Sample(), "ECHO 1x\n");
    Click(QStringLiteral("Send"));
    EXPECT_EQ(shown, QStringLiteral("1x\n"));
    EXPECT_EQ(vr::ui::PendingModalAnswers(), 0u);
}

// The hand-written meter's SetFunction writes its value as the schema's own type FunctionName (VOLT, CURR
// or RES): the token shows the rows of a text, and its default is checked against that type as the socket
// composes it.
TEST_F(OperationsPageTest, ATokenOfTheFilesOwnTypeShowsItsRowsAndItsDefaultIsCheckedAgainstThatType) {
    const std::u16string meter = vr::FromUtf8(folder + "/meter.daf");
    std::filesystem::copy_file(VR_TEST_DATA "/handwritten_meter.daf", vr::ToUtf8(meter));
    SheetContext context(messages_, rigmont.Get());
    ASSERT_EQ(context.SetAdapterFile(meter), S_OK);
    OperationsPage page(context);
    page.resize(1100, 600);
    page.show();
    page.FileShown();
    page.Enter();
    ASSERT_TRUE(page.Model().ChooseOperation(u"SetFunction"));
    MsgTypeDefEdit* input = page.InputEditor();
    ASSERT_EQ(input->Model().Definition().Sample(), "FUNC VOLT\n");
    int at = 6;
    int unused = 6;
    MapPositions(input->Model().DisplayText(), &at, &unused, MapDirection::ToDisplay);
    QTextCursor cursor(input->TextWindow()->document());
    cursor.setPosition(at);
    QTest::mouseClick(input->TextWindow()->viewport(), Qt::LeftButton, {},
                      input->TextWindow()->cursorRect(cursor).center());
    CElementEditorModel& editor = page.ElementEditor()->Model();
    ASSERT_TRUE(std::any_of(editor.Rows().begin(), editor.Rows().end(), [](const ElementRow& row) {
        return row.name == u"default";
    })) << "no default row for the function token";

    EXPECT_FALSE(editor.EditRow(u"default", u"AMPS"));
    EXPECT_EQ(editor.StatusText(), u"The default 'AMPS' is not valid according to its type definition.");
    for (const char16_t* taken : {u"CURR", u"Attribute:Function"}) {
        const std::optional<std::u16string> sent = editor.EditRow(u"default", taken);
        ASSERT_TRUE(sent) << vr::ToUtf8(editor.StatusText());
        EXPECT_EQ(ItemOf(*sent, u"vra:default"), taken);
        EXPECT_EQ(ItemOf(*sent, u"type"), u"FunctionName");
    }
}

} // namespace
