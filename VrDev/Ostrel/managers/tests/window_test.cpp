// The windows on the offscreen platform over the real hardware manager: the connection window fills its
// editor and opens the tester, which queries the loopback instrument; New through the new-name dialog; the
// tester's window waits for a pending read when closed, and runs its events while a read is pending.
// VR_OSTREL_SCREENSHOT=1 (under xvfb-run with VR_TEST_QPA_PLATFORM=xcb) writes docs/ostrel-tester.png and
// docs/ostrel-connections.png.
#include "VrDev/Ostrel/managers/HwManWindow.h"
#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "platform/base/text.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>

namespace ostreltest {
namespace {

bool Screenshots() {
    const char* wanted = std::getenv("VR_OSTREL_SCREENSHOT");
    return wanted && std::string(wanted) == "1";
}

TEST_F(ManagerTest, ConnectionWindowTestsTheLoopbackInstrument) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment; // the window's apartment, served by its event loop
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Loop");
    ostrel::HwManWindow window(ostrel::HwKind::kConnection, rigmont.Get(), nullptr);
    window.show();
    window.NameField()->RefreshChoices();
    EXPECT_EQ(window.NameField()->findText("Loop") > 0, true);
    EXPECT_FALSE(window.NameField()->isEditable()); // a record is chosen, never typed
    window.ChooseName("Loop");
    EXPECT_EQ(window.StatusLine()->text(), "OK");
    EXPECT_EQ(window.ServerField()->currentText(), "Vornic.CnVISA");
    EXPECT_TRUE(window.Button("Test")->isEnabled());
    ASSERT_TRUE(window.Editor().Widget());
    EXPECT_GT(window.Editor().Widget()->findChildren<QComboBox*>().size(), 3); // the connection's attributes

    QTest::mouseClick(window.Button("Test"), Qt::LeftButton);
    ostrel::TesterWindow* tester = window.Tester();
    ASSERT_TRUE(tester);
    // The line end typed as text, as the engineer types it; the answer ends the query by itself.
    QTest::keyClicks(tester->SendField()->lineEdit(), QStringLiteral("*IDN?\\n"));
    QTest::mouseClick(tester->SendButton(), Qt::LeftButton);
    EXPECT_EQ(tester->SendButton()->text(), "Stop");
    for (int wait = 0; wait < 500 && tester->Tester().Reading(); ++wait) {
        QTest::qWait(10);
    }
    EXPECT_EQ(tester->ResponseBox()->toPlainText(), QString::fromUtf8("VORNIC,LOOPBACK,0,1.0¶\n"));
    EXPECT_EQ(tester->SendButton()->text(), "Send");
    EXPECT_TRUE(tester->StatusLine()->text().startsWith("End of Response ("));
    EXPECT_TRUE(tester->StatusLine()->text().endsWith("Read Status: 'ReadTimeout'."));
    EXPECT_TRUE(tester->StatusLine()->wordWrap()); // the whole status reads, however narrow the window
    if (Screenshots()) {
        EXPECT_TRUE(tester->grab().save(VR_DOCS "/ostrel-tester.png"));
        EXPECT_TRUE(window.grab().save(VR_DOCS "/ostrel-connections.png"));
    }

    // Closing while a read is pending waits for it.
    tester->SendField()->setCurrentText("SILENT\n");
    QTest::mouseClick(tester->SendButton(), Qt::LeftButton);
    ASSERT_TRUE(tester->Tester().Reading());
    tester->close(); // waits for the pending read
    EXPECT_FALSE(tester->Tester().Reading());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window.Tester());
}

// The tester reads on a thread of its own, straight from the hardware manager's process: the window thread
// runs its events while a read is pending, and Stop during a read reports how that read ended.
TEST_F(ManagerTest, TesterWindowRunsItsEventsWhileAReadIsPending) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    auto open = [&](const std::u16string& name, const std::u16string& setup) {
        SaveLoopback(name, setup);
        ostrel::HwManager record(ostrel::HwKind::kConnection, rigmont.Get(), nullptr);
        record.SelectName(name);
        vr::ComPtr<IVrConnection> connection = record.TestConnection();
        EXPECT_TRUE(connection) << vr::ToUtf8(record.Status());
        return std::make_unique<ostrel::TesterWindow>(name, connection.Get());
    };
    auto send = [](ostrel::TesterWindow& tester, const char* text) {
        tester.SendField()->setCurrentText(text);
        QTest::mouseClick(tester.SendButton(), Qt::LeftButton);
    };

    // Stopped while the answer is on its way: Stop waits for the read, which takes the answer in and ends at
    // the record's time-out (a socket has no end indicator).
    std::unique_ptr<ostrel::TesterWindow> quick = open(u"Quick", u"Timeout=3000");
    send(*quick, "DELAY 200 x\n");
    QTest::mouseClick(quick->SendButton(), Qt::LeftButton); // Stop
    EXPECT_EQ(quick->SendButton()->text(), "Send");
    EXPECT_EQ(quick->ResponseBox()->toPlainText(), QString::fromUtf8("x¶\n"));
    EXPECT_TRUE(quick->StatusLine()->text().startsWith("End of Response ("))
        << quick->StatusLine()->text().toStdString();
    EXPECT_TRUE(quick->StatusLine()->text().endsWith("Read Status: 'ReadTimeout'."));

    // A read that waits long for its answer: a timer of the window ends the instrument meanwhile, so the read
    // ends at once with the connection lost and the answer never comes. A window thread held by the read
    // would run the timer only after the read had brought the answer.
    std::unique_ptr<ostrel::TesterWindow> slow = open(u"Slow", u"Timeout=20000");
    send(*slow, "DELAY 10000 late\n");
    bool fired = false;
    QTimer::singleShot(200, slow.get(), [&] {
        fired = true;
        instrument.Stop();
    });
    for (int wait = 0; wait < 3000 && slow->Tester().Reading(); ++wait) {
        QTest::qWait(10);
    }
    EXPECT_TRUE(fired);
    EXPECT_FALSE(slow->Tester().Reading());
    EXPECT_EQ(slow->ResponseBox()->toPlainText(), "");
    EXPECT_TRUE(slow->StatusLine()->text().startsWith("Error: Couldn't read from the Connection, Code: 0x"))
        << slow->StatusLine()->text().toStdString();
}

TEST_F(ManagerTest, NewAsksForTheNameAndStoresACopyOfTheDefault) {
    vrtest::TestApplication();
    ostrel::HwManWindow window(ostrel::HwKind::kDevice, rigmont.Get(), nullptr);
    EXPECT_FALSE(window.Button("Test")->isVisibleTo(&window));
    QString caption;
    QString prompt;
    vr::ui::AnswerNextModal([&](QDialog& dialog) {
        auto& asked = static_cast<ostrel::NewNameDialog&>(dialog);
        caption = asked.windowTitle();
        prompt = asked.Prompt()->text();
        asked.NameEdit()->setText("Bench");
        asked.accept();
    });
    window.NewCommand();
    EXPECT_EQ(caption, "New Device");
    EXPECT_EQ(prompt, "Enter a new Device Name :");
    EXPECT_EQ(window.NameField()->currentText(), "Bench");
    EXPECT_EQ(window.ServerField()->currentText(), "Vornic.Socket");

    ostrel::NewNameDialog operation(u"Operation", u"get_", nullptr);
    EXPECT_EQ(operation.windowTitle(), "New Operation");
    EXPECT_EQ(operation.NameEdit()->selectedText(), "get_");
    operation.NameEdit()->clear();
    vr::ui::AnswerNextModal([](QDialog& dialog) { dialog.accept(); });
    std::u16string name = u"unchanged";
    EXPECT_TRUE(ostrel::AskNewName(u"Operation", u"", nullptr, &name));
    EXPECT_EQ(name, u"");
}

} // namespace
} // namespace ostreltest
