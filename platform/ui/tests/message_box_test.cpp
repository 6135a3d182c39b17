// Message boxes: buttons and answers, the box that shows a COM failure, and boxes nobody can answer.
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"

#include <QDialog>
#include <QTest>

#include <gtest/gtest.h>

namespace vrtest {
namespace {

class MessageBoxTest : public testing::Test {
protected:
    void SetUp() override { TestApplication(); }
    void TearDown() override {
        EXPECT_EQ(vr::ui::PendingModalAnswers(), 0u); // every queued answer met its box
        vr::ui::DropModalAnswers();
    }
};

TEST_F(MessageBoxTest, AnswersComeBackAsTheButtonsNumbers) {
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDNO, &seen);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Save changes to the current Operation?", u"Warning",
                                 MB_YESNOCANCEL | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(seen.caption, u"Warning");
    EXPECT_EQ(seen.text, u"Save changes to the current Operation?");
    EXPECT_EQ(seen.icon, MB_ICONQUESTION);

    vr::ui::AnswerNextMessageBox(IDCANCEL);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Save?", u"Warning", MB_YESNOCANCEL), IDCANCEL);
    vr::ui::AnswerNextMessageBox(IDRETRY);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Again?", u"Error", MB_RETRYCANCEL | MB_ICONERROR), IDRETRY);
}

TEST_F(MessageBoxTest, ClosingWithoutAButtonGivesTheCancelAnswer) {
    // IDYES is no button of these boxes: the answer closes them instead.
    vr::ui::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Done.", u"Info", MB_OK), IDOK);
    vr::ui::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Sure?", u"Question", MB_YESNO), IDNO);
    vr::ui::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Failed.", u"Error", MB_ABORTRETRYIGNORE), IDABORT);
}

// Where nothing is shown, a box nobody answers would wait for ever: it is written down and closed at once.
TEST_F(MessageBoxTest, OffscreenABoxNobodyAnswersIsWrittenDownAndClosed) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Didn't register the Plotvane Active Object", u"Plotvane", MB_OK),
              IDOK);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Overwrite?", u"Warning", MB_YESNO | MB_ICONWARNING), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Plotvane: Didn't register the Plotvane Active Object\nWarning: Overwrite?\n");
}

TEST_F(MessageBoxTest, KeyboardPicksTheDefaultOrTheEscapeButton) {
    auto press = [](Qt::Key key) {
        vr::ui::AnswerNextModal([key](QDialog& box) { QTest::keyClick(&box, key); });
    };
    press(Qt::Key_Escape);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Save?", u"Warning", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);
    press(Qt::Key_Escape);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Sure?", u"Question", MB_YESNO), IDNO);
    press(Qt::Key_Return);
    EXPECT_EQ(vr::ui::MessageBox(nullptr, u"Sure?", u"Question", MB_YESNO), IDYES);
}

TEST_F(MessageBoxTest, ComFailureShowsDescriptionSourceAndCode) {
    ASSERT_EQ(vr::ReportError(E_FAIL, IID_NULL, u"Vornic.Connection", u"Couldn't open the connection."),
              E_FAIL);
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    EXPECT_EQ(vr::ui::ShowComError(nullptr, E_FAIL), IDOK);
    EXPECT_EQ(seen.caption, u"Error");
    EXPECT_EQ(seen.icon, MB_ICONERROR);
    EXPECT_EQ(seen.text,
              u"Couldn't open the connection.\n\nSource: Vornic.Connection\nError code: 0x80004005");
    // The information was the failure's: it is used up.
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);

    // Without error information the HRESULT's own text stands for the description.
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    vr::ui::ShowComError(nullptr, TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(seen.text, u"Error loading type library/DLL.\n\nError code: 0x80029C4A");
}

TEST_F(MessageBoxTest, RaisedComErrorShowsTheSame) {
    ASSERT_EQ(vr::ReportError(E_INVALIDARG, IID_NULL, u"Vornic.Socket", u"Bad setup string."), E_INVALIDARG);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    _com_error error(E_INVALIDARG, info);
    info->Release();
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    vr::ui::ShowComError(nullptr, error);
    EXPECT_EQ(seen.text, u"Bad setup string.\n\nSource: Vornic.Socket\nError code: 0x80070057");
}

} // namespace
} // namespace vrtest
