// The Operations page on the offscreen platform, in a sheet context of the test's own over the real hardware
// manager and the loopback instrument: an engineer defines an operation from the instrument's answer, tries
// it, saves it, and the saved adapter file drives the instrument socket.
#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/operations/OperationsPage.h"
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

#include <fstream>
#include <iterator>
#include <regex>

namespace {

using namespace ostrel;

QAction* ActionOf(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

// The value combo of the element editor's row whose label shows name.
QComboBox* RowCombo(QWidget* window, const QString& name) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text() == name && label->parentWidget()->findChild<QComboBox*>()) {
            return label->parentWidget()->findChild<QComboBox*>();
        }
    }
    return nullptr;
}

// The next new-name dialog takes this name (empty: the name it proposes).
void AnswerName(const QString& name) {
    vr::ui::AnswerNextModal([name](QDialog& dialog) {
        auto& ask = static_cast<NewNameDialog&>(dialog);
        if (!name.isEmpty()) {
            ask.NameEdit()->setText(name);
        }
        ask.accept();
    });
}

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

    void Click(const QString& button) {
        QPushButton* found = page_->Button(button);
        ASSERT_TRUE(found && found->isEnabled()) << button.toStdString();
        QTest::mouseClick(found, Qt::LeftButton);
    }
    QPoint PointAt(MsgTypeDefEdit* editor, int shownPosition) {
        QTextCursor cursor(editor->TextWindow()->document());
        cursor.setPosition(shownPosition);
        return editor->TextWindow()->cursorRect(cursor).center();
    }
    // Drags over sample positions of an editor and chooses a command of the menu that opens.
    void Mark(MsgTypeDefEdit* editor, int begin, int end, const QString& command) {
        MapPositions(editor->Model().DisplayText(), &begin, &end, MapDirection::ToDisplay);
        QWidget* viewport = editor->TextWindow()->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, PointAt(editor, begin));
        QTest::mouseMove(viewport, PointAt(editor, end));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, PointAt(editor, end));
        ASSERT_TRUE(editor->MarkMenu()->isVisible()) << command.toStdString();
        QAction* action = ActionOf(editor->MarkMenu(), command);
        ASSERT_TRUE(action && action->isEnabled()) << command.toStdString();
        editor->MarkMenu()->hide();
        action->trigger();
    }
    // The value of the token under the output editor's caret.
    std::optional<std::u16string> Current(std::u16string_view item) {
        const CMsgTypeDef& definition = page_->OutputEditor()->Model().Definition();
        if (definition.CurrentElement() == CMsgTypeDef::kNoRecord) {
            return std::nullopt;
        }
        return ItemOf(definition.Elements()[definition.CurrentElement()].ExtAttributes, item);
    }

    std::u16string path_;
    RecordingMessages messages_;
    std::unique_ptr<SheetContext> context_;
    std::unique_ptr<OperationsPage> page_;
};

TEST_F(OperationsPageTest, AnOperationDefinedFromAnAnswerIsTriedSavedAndDrivesTheSocket) {
    AnswerName(QStringLiteral("get_Model"));
    Click(QStringLiteral("New Operation"));
    ASSERT_EQ(page_->NameRow()->currentText(), QStringLiteral("get_Model"));
    AnswerName({}); // "msg_get_Model"
    Click(QStringLiteral("New"));
    ASSERT_EQ(page_->InNameRow()->currentText(), QStringLiteral("msg_get_Model"));
    QTest::keyClicks(page_->InputEditor()->TextWindow(), QStringLiteral("*IDN?"));
    QTest::keyClick(page_->InputEditor()->TextWindow(), Qt::Key_Return);
    ASSERT_EQ(page_->InputEditor()->Model().Definition().Sample(), "*IDN?\n");

    // Sent: the answer becomes the response definition's sample.
    Click(QStringLiteral("Send"));
    ASSERT_EQ(page_->OutNameRow()->currentText(), QStringLiteral("msg_get_ModelResponse"));
    MsgTypeDefEdit* output = page_->OutputEditor();
    ASSERT_EQ(output->Model().Definition().Sample(), "VORNIC,LOOPBACK,0,1.0\n");

    // The model's name is a value between its keys, named "model" in the element editor; the version's
    // major number a value whose guessed type (long) is set to int there.
    Mark(output, 0, 7, QStringLiteral("&Constant"));   // "VORNIC,"
    Mark(output, 15, 16, QStringLiteral("&Constant")); // ","
    Mark(output, 7, 15, QStringLiteral("&Value"));
    ASSERT_EQ(page_->Model().Side(), ElementSide::Output);
    QCoreApplication::sendPostedEvents();
    QComboBox* name = RowCombo(page_->ElementEditor(), QStringLiteral("name :"));
    ASSERT_NE(name, nullptr) << "the element editor shows no name row";
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), QStringLiteral("model"));
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    // A row is checked once its edit has paused; the waits are bounded, not measures.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"name") == u"model"; }, 20000))
        << page_->ElementEditor()->StatusText().toStdString();
    ASSERT_EQ(page_->Model().Side(), ElementSide::Output);
    ASSERT_EQ(Current(u"name"), u"model");
    Click(QStringLiteral("Add Token as Result"));
    EXPECT_EQ(page_->ResultField()->text(), QStringLiteral("out:model"));
    Mark(output, 17, 18, QStringLiteral("&Constant")); // ","
    Mark(output, 16, 17, QStringLiteral("&Value"));    // "0", the major version
    QCoreApplication::sendPostedEvents();
    QComboBox* type = RowCombo(page_->ElementEditor(), QStringLiteral("type :"));
    ASSERT_NE(type, nullptr) << "the element editor shows no type row";
    EXPECT_EQ(type->currentText(), QStringLiteral("long"));
    QTest::keyClick(type, Qt::Key_Down); // int, the choice after
    ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"type") == u"int"; }, 20000));
    // The version counts in hertz: the units row of an answer's number, chosen from its list.
    QCoreApplication::sendPostedEvents();
    QComboBox* units = RowCombo(page_->ElementEditor(), QStringLiteral("units :"));
    ASSERT_NE(units, nullptr) << "the element editor shows no units row for an integer";
    units->setFocus();
    QTest::keyClicks(units, QStringLiteral("Hz"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"vra:units") == u"Hz"; }, 20000))
        << page_->ElementEditor()->StatusText().toStdString();
    QComboBox* fallback = RowCombo(page_->ElementEditor(), QStringLiteral("default :"));
    EXPECT_TRUE(fallback && fallback->isEditable()) << "a default names an attribute or is typed";

    // Tried again: the answer parses, and the parsed values show the model.
    Click(QStringLiteral("Send"));
    EXPECT_TRUE(page_->ParsedValues()->toPlainText().contains(QStringLiteral("LOOPBACK")))
        << page_->ParsedValues()->toPlainText().toStdString();
    EXPECT_TRUE(messages_.boxes.empty()) << vr::ToUtf8(messages_.LastText());
    Click(QStringLiteral("Save Operation"));
    EXPECT_FALSE(page_->Model().IsModified());
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

} // namespace
