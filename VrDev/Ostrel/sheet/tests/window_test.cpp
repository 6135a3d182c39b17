// The sheet window on the offscreen platform over the real hardware manager: its pages in order, the General
// page keeping itself shown until a file and a connection are chosen, a page that asks before it is left
// shown while it asks, a bad file then a good one through the browse button's file dialog, and Exit
// rebuilding the chosen file's libraries once.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/operations/OperationsPage.h"
#include "VrDev/Ostrel/sheet/AdapterSheet.h"
#include "VrDev/Ostrel/sheet/DevicePage.h"
#include "platform/base/text.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <filesystem>
#include <fstream>

namespace ostreltest {
namespace {

void AnswerFileDialog(const std::string& path) {
    vr::ui::AnswerNextModal([path](QDialog& dialog) {
        auto& files = dynamic_cast<QFileDialog&>(dialog);
        files.selectFile(QString::fromStdString(path));
        dialog.accept(); // QDialog's public accept, which takes the selected file
    });
}

// A hand's click on a tab: at its point of the window.
void ClickTab(ostrel::AdapterSheet& sheet, int index) {
    QTabBar* bar = sheet.Tabs()->tabBar();
    QTest::mouseClick(sheet.windowHandle(), Qt::LeftButton, {},
                      bar->mapTo(&sheet, bar->tabRect(index).center()));
}

// A box's text and the pages shown behind it.
struct BoxOverPages {
    QString text;
    std::vector<int> pagesShown;
};

// Answers the next box with the button, noting what it said and which pages were shown behind it.
void AnswerNoting(QMessageBox::StandardButton answer, ostrel::AdapterSheet& sheet, BoxOverPages* seen) {
    *seen = BoxOverPages{};
    vr::ui::AnswerNextModal([answer, &sheet, seen](QDialog& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        seen->text = box.text();
        for (int index = 0; index < sheet.Tabs()->count(); ++index) {
            if (sheet.Page(index)->isVisible()) {
                seen->pagesShown.push_back(index);
            }
        }
        box.button(answer)->click();
    });
}

using SheetWindowTest = ManagerTest;

TEST_F(SheetWindowTest, SheetKeepsTheGeneralPageUntilTheDeviceCanBeUsedAndRebuildsOnExit) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Meter");
    std::vector<std::u16string> rebuilt;
    auto rebuild = [&rebuilt](const std::u16string& file, std::u16string*) {
        rebuilt.push_back(file);
        return S_OK;
    };
    QPointer<ostrel::AdapterSheet> sheet =
        new ostrel::AdapterSheet(QStringLiteral("Device Adapter File"), nullptr, rebuild, rigmont.Get());
    sheet->show();
    QStringList captions;
    for (int i = 0; i < sheet->Tabs()->count(); ++i) {
        captions << sheet->Tabs()->tabText(i);
    }
    EXPECT_EQ(captions, QStringList({"General", "Operations", "Attributes", "Device"}));
    ostrel::GeneralPage* general = sheet->General();
    QComboBox* connections = general->ConnectionField();
    EXPECT_EQ(connections->findText("_default"), -1);
    EXPECT_NE(connections->findText("Meter"), -1);

    // The page that refuses to be left stays shown while it says why.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    BoxOverPages box;
    AnswerNoting(QMessageBox::Ok, *sheet, &box);
    ClickTab(*sheet, 1);
    EXPECT_EQ(box.text, "Device Adapter File is not specified!");
    EXPECT_EQ(box.pagesShown, std::vector<int>{0});
    EXPECT_EQ(sheet->Tabs()->currentIndex(), 0);

    // A file that is not an adapter file, then a good one: the second choice is possible.
    vr::ui::MessageBoxSeen seen;
    std::ofstream(folder + "/Broken.daf") << "<panel/>\n";
    AnswerFileDialog(folder + "/Broken.daf");
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    QTest::mouseClick(general->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(seen.text,
              u"File '" + vr::FromUtf8(folder) + u"/Broken.daf' is not valid Device Adapter File.");
    EXPECT_EQ(general->PathField()->text(), "");
    EXPECT_TRUE(general->BrowseButton()->isEnabled());
    AnswerFileDialog(folder + "/New.daf");
    QTest::mouseClick(general->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(general->PathField()->text(), QString::fromStdString(folder + "/New.daf"));
    EXPECT_FALSE(general->BrowseButton()->isEnabled());
    EXPECT_EQ(vr::ui::PendingModalAnswers(), 0u);

    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    sheet->Tabs()->setCurrentIndex(3);
    EXPECT_EQ(seen.text, u"Device Connection is not specifed!");
    EXPECT_EQ(sheet->Tabs()->currentIndex(), 0);
    connections->setCurrentIndex(connections->findText("Meter"));
    Q_EMIT connections->activated(connections->currentIndex());
    ASSERT_NE(sheet->Context().Connection(), nullptr);
    sheet->Tabs()->setCurrentIndex(3);
    EXPECT_EQ(sheet->Tabs()->currentIndex(), 3);
    // A page that asks before it is left is shown while it asks; the next page shows after the answer.
    sheet->Tabs()->setCurrentIndex(1);
    auto* operations = static_cast<ostrel::OperationsPage*>(sheet->Page(1));
    operations->Model().SetModified(true);
    AnswerNoting(QMessageBox::No, *sheet, &box);
    ClickTab(*sheet, 3);
    EXPECT_EQ(box.text, "Save changes to the current Operation?");
    EXPECT_EQ(box.pagesShown, std::vector<int>{1});
    EXPECT_EQ(sheet->Tabs()->currentIndex(), 3);
    EXPECT_TRUE(sheet->Page(3)->isVisible());

    vr::ui::AnswerNextMessageBox(IDNO); // the operation is still not saved: closing asks again
    QTest::mouseClick(sheet->ExitButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(rebuilt, std::vector<std::u16string>{vr::FromUtf8(folder + "/New.daf")});
    vr::ui::DropModalAnswers();
}

// Closing with edits the file does not hold yet asks first, as leaving a page does: Cancel keeps the window,
// the operation's question and then the file's are answered, and only what was agreed to is saved.
TEST_F(SheetWindowTest, ClosingAsksToSaveTheUnsavedEditsOfTheDeviceAndOperationsPages) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    const std::string path = folder + "/meter.daf";
    std::filesystem::copy_file(VR_TEST_DATA "/handwritten_meter.daf", path);
    int rebuilds = 0;
    auto rebuild = [&rebuilds](const std::u16string&, std::u16string*) {
        ++rebuilds;
        return S_OK;
    };
    QPointer<ostrel::AdapterSheet> sheet =
        new ostrel::AdapterSheet(QStringLiteral("Device Adapter File"), nullptr, rebuild, rigmont.Get());
    sheet->show();
    ASSERT_EQ(sheet->SetAdapterFile(vr::FromUtf8(path)), S_OK);
    auto* device = static_cast<ostrel::DevicePage*>(sheet->Page(3));
    device->Enter();
    QTextEdit* close = device->CloseSequence();
    close->moveCursor(QTextCursor::End);
    QTest::keyClicks(close, QStringLiteral("Reset"));

    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDCANCEL, &seen);
    QTest::mouseClick(sheet->ExitButton(), Qt::LeftButton);
    EXPECT_EQ(seen.text, u"Save changes to '" + vr::FromUtf8(path) + u"'?");
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(rebuilds, 0);

    auto* operations = static_cast<ostrel::OperationsPage*>(sheet->Page(1));
    ASSERT_TRUE(operations->Model().ChooseOperation(u"get_Range"));
    operations->Model().SetResult(u"out:range");
    vr::ui::MessageBoxSeen operation;
    vr::ui::AnswerNextMessageBox(IDNO, &operation);
    vr::ui::AnswerNextMessageBox(IDYES, &seen);
    QTest::mouseClick(sheet->ExitButton(), Qt::LeftButton);
    EXPECT_EQ(operation.text, u"Save changes to the current Operation?");
    EXPECT_EQ(seen.text, u"Save changes to '" + vr::FromUtf8(path) + u"'?");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(rebuilds, 1);
    CDeviceAdapterFile saved(vr::FromUtf8(path).c_str());
    std::vector<std::u16string> sequence;
    ASSERT_EQ(saved.GetSequence(CDeviceAdapterFile::Sequence::Close, &sequence), S_OK);
    EXPECT_EQ(sequence, std::vector<std::u16string>{u"Reset"});
    CDeviceAdapterFile::Operation range;
    ASSERT_EQ(saved.GetOperation(u"get_Range", &range), S_OK);
    EXPECT_EQ(range.result, u"range");
    vr::ui::DropModalAnswers();
}

} // namespace
} // namespace ostreltest
