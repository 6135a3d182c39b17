// The Device and Attributes pages on the offscreen platform, driven as an engineer drives them: sequences
// typed (a line naming no operation turns red and stays out of the file), a time-out that is no number
// refused, attributes made with New, edited in the element editor's rows and removed.
#include "VrDev/Ostrel/editors/XmlSchemaElementEditor.h"
#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/sheet/AttributesPage.h"
#include "VrDev/Ostrel/sheet/DevicePage.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/text.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace ostrel;

// The value combo of the element editor's row whose label shows name.
QComboBox* RowCombo(QWidget* page, const QString& name) {
    for (QLabel* label : page->findChildren<QLabel*>()) {
        if (label->text() == name && label->parentWidget()->findChild<QComboBox*>()) {
            return label->parentWidget()->findChild<QComboBox*>();
        }
    }
    return nullptr;
}

QColor ColourAt(QTextEdit* edit, int position) {
    QTextCursor cursor(edit->document());
    cursor.setPosition(position + 1); // the format of the character before the cursor
    return cursor.charFormat().foreground().color();
}

class PagesWindowTest : public testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = fs::temp_directory_path() / ("ostrel-pagesui-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        vr::ui::DropModalAnswers();
        CoUninitialize();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::u16string Copy(const std::string& name) {
        fs::copy_file(fs::path(OSTREL_TEST_DATA) / name, folder_ / name,
                      fs::copy_options::overwrite_existing);
        return vr::FromUtf8((folder_ / name).string());
    }
    fs::path folder_;
    RecordingMessages messages_;
};

TEST_F(PagesWindowTest, TheDevicePageWritesTheSequencesAndDefaultValuesAsTyped) {
    SheetContext context(messages_);
    ASSERT_EQ(context.SetAdapterFile(Copy("plugmar_multimeter.daf")), S_OK);
    std::unique_ptr<SheetPage> made = MakeDevicePage(context);
    auto* page = static_cast<DevicePage*>(made.get());
    EXPECT_EQ(page->Caption(), QStringLiteral("Device"));
    page->FileShown();
    page->Enter();
    page->show();

    QTextEdit* open = page->OpenSequence();
    ASSERT_TRUE(open->toPlainText().startsWith(QStringLiteral("Reset\n")));
    // Entered by focus, a sequence starts with the caret at its beginning.
    open->moveCursor(QTextCursor::End);
    QApplication::setActiveWindow(page);
    open->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return open->hasFocus(); }, 5000));
    EXPECT_EQ(open->textCursor().position(), 0);
    open->moveCursor(QTextCursor::End);
    QTest::keyClicks(open, QStringLiteral("Identify"));
    QTest::keyClick(open, Qt::Key_Return);
    QTest::keyClicks(open, QStringLiteral("Identify "));
    std::vector<std::u16string> sequence;
    ASSERT_EQ(context.Document().GetSequence(CDeviceAdapterFile::Sequence::Open, &sequence), S_OK);
    EXPECT_EQ(sequence.back(), u"Identify");
    const int stale = static_cast<int>(open->toPlainText().lastIndexOf(QStringLiteral("Identify ")));
    EXPECT_EQ(ColourAt(open, stale), QColor(255, 0, 0));
    EXPECT_EQ(ColourAt(open, 0), QColor(Qt::black));

    // Clearing the open sequence leaves neither its action nor the device's attribute.
    open->selectAll();
    QTest::keyClick(open, Qt::Key_Delete);
    std::u16string value;
    EXPECT_EQ(context.Document().GetDeviceSetting(u"open", &value), S_FALSE);

    // The time-out takes whole numbers only; the selector row shows what the file does not define.
    AttrValueCombo* timeout = page->Row(kTimeoutRow)->Combo();
    EXPECT_EQ(timeout->currentText(), QStringLiteral("2000"));
    timeout->lineEdit()->clear();
    QTest::keyClicks(timeout->lineEdit(), QStringLiteral("2.5")); // "2" is stored as typed, "2.5" never
    EXPECT_EQ(timeout->TextColour(), QColor(255, 0, 0));
    ASSERT_EQ(context.Document().GetDeviceSetting(u"timeout", &value), S_OK);
    EXPECT_EQ(value, u"2");
    timeout->lineEdit()->clear();
    QTest::keyClicks(timeout->lineEdit(), QStringLiteral("2500"));
    ASSERT_EQ(context.Document().GetDeviceSetting(u"timeout", &value), S_OK);
    EXPECT_EQ(value, u"2500");
    EXPECT_EQ(page->Row(kDefaultSelectorRow)->Combo()->currentText(), QStringLiteral("<Undefined>"));
    EXPECT_EQ(page->Row(kTermStringRow)->Combo()->currentText(), QStringLiteral("\\n"));
    EXPECT_TRUE(messages_.boxes.empty()) << vr::ToUtf8(messages_.LastText());
}

TEST_F(PagesWindowTest, TheAttributesPageMakesEditsAndRemovesAttributesThroughItsButtonsAndRows) {
    const std::u16string path = vr::FromUtf8((folder_ / "attributes.daf").string());
    {
        CDeviceAdapterFile blank(path.c_str());
        ASSERT_EQ(blank.CreateFromBlank(), S_OK);
        ASSERT_EQ(blank.Save(), S_OK);
    }
    SheetContext context(messages_);
    ASSERT_EQ(context.SetAdapterFile(path), S_OK);
    std::unique_ptr<SheetPage> made = MakeAttributesPage(context);
    auto* page = static_cast<AttributesPage*>(made.get());
    page->FileShown();
    page->show();
    EXPECT_EQ(page->Editor()->StatusText(), QStringLiteral("No Attributes are defined."));
    EXPECT_FALSE(page->RemoveButton()->isEnabled());

    vr::ui::AnswerNextModal([](QDialog& dialog) {
        static_cast<NewNameDialog&>(dialog).NameEdit()->setText(QStringLiteral("Channel"));
        dialog.accept();
    });
    QTest::mouseClick(page->NewButton(), Qt::LeftButton);
    EXPECT_TRUE(page->RemoveButton()->isEnabled());
    QComboBox* kind = RowCombo(page, QStringLiteral("class :"));
    ASSERT_NE(kind, nullptr) << "no class row for an integer";
    EXPECT_EQ(kind->currentText(), QStringLiteral("Attribute"));
    QTest::keyClick(kind, Qt::Key_Down); // InnerSelector, the choice after
    auto selectors = [&] {
        CDeviceAdapterFile onDisk(path.c_str());
        std::vector<std::u16string> names;
        EXPECT_EQ(onDisk.GetAttributeNames(names, u"InnerSelector"), S_OK);
        return names;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return selectors().size() == 1; }, 20000))
        << page->Editor()->StatusText().toStdString();
    EXPECT_TRUE(page->Diagnostics()->toPlainText().contains(QStringLiteral("vrt:class=\"InnerSelector\"")));

    // New on the same name asks; no keeps it as it is.
    messages_.answers = {IDNO};
    vr::ui::AnswerNextModal([](QDialog& dialog) {
        static_cast<NewNameDialog&>(dialog).NameEdit()->setText(QStringLiteral("Channel"));
        dialog.accept();
    });
    QTest::mouseClick(page->NewButton(), Qt::LeftButton);
    EXPECT_EQ(messages_.boxes.size(), 1u);
    EXPECT_EQ(selectors().size(), 1u);

    QTest::mouseClick(page->RemoveButton(), Qt::LeftButton);
    CDeviceAdapterFile onDisk(path.c_str());
    std::vector<std::u16string> names;
    ASSERT_EQ(onDisk.GetAttributeNames(names, nullptr), S_OK);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(page->Editor()->StatusText(), QStringLiteral("No Attributes are defined."));
    EXPECT_FALSE(page->RemoveButton()->isEnabled());
}

} // namespace
