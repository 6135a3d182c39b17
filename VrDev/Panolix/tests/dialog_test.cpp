// The main window on the offscreen platform with the real worker: a batch run that closes itself with the
// verdict, a close during Preset's wait that waits for the load to end, and Escape, which never closes but
// cancels a drag of design mode.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "common/proxies/SystemProxies.h"
#include "platform/com/activation.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/test_env.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

namespace panolixtest {
namespace {

using namespace panolix;

constexpr int kPatienceMs = 60000;

std::string PanelFile(const std::string& script, const std::string& autoRefresh,
                      const std::string& objects = "") {
    std::string path = vrtest::MakeFreshFolder("dialog") + "/p.pnx";
    std::ofstream(path) << "<panel language='JScript' autorefresh='" << autoRefresh
                        << "' refreshperiod='1'><script><![CDATA[" << script << "]]></script><objects>"
                        << objects << "</objects></panel>";
    return path;
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint point, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(point), widget->mapToGlobal(QPointF(point)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class PanolixDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
        hardware = std::make_unique<scripvanetest::ClassRegistration>(
            CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
        worker = std::make_unique<TestExecutivePanelWorker>();
    }
    void TearDown() override {
        worker.reset();
        hardware.reset();
        apartment.reset();
        CoUninitialize();
    }
    // Runs the window until it closes; a window still open after the patience fails the test.
    void RunUntilClosed(CPanolixDlg& dialog) {
        bool overdue = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            overdue = true;
            dialog.done(QDialog::Rejected);
        });
        watchdog.start(kPatienceMs);
        dialog.exec();
        EXPECT_FALSE(overdue) << "the window never closed";
    }

    std::unique_ptr<vr::ui::GuiApartment> apartment;
    std::unique_ptr<scripvanetest::ClassRegistration> hardware;
    std::unique_ptr<TestExecutivePanelWorker> worker;
};

TEST_F(PanolixDialogTest, ABatchRunClosesItselfWhenTheScriptStopsTheLoop) {
    std::string script = "var idles = 0; function Preset() {} function Reset() {}\n"
                         "function Idle() { idles++; if (idles >= 2) engine.option('StopLoop') = 'true'; }\n";
    CPanolixDlg dialog(*worker, true, true);
    dialog.SetPendingFile(PanelFile(script, "yes"));
    RunUntilClosed(dialog);
    EXPECT_EQ(dialog.Result(), kExitPassed);
}

// Preset waits in the engine until the test lets it go, so the close surely comes during its wait.
TEST_F(PanolixDialogTest, ACloseDuringPresetWaitsForTheLoadAndEscapeNeverCloses) {
    std::string script = "function Preset() { while (!engine.IsOptionEnabled('Go')) engine.Delay(5); }\n"
                         "function Reset() {}\n";
    CPanolixDlg dialog(*worker, false, false);
    dialog.SetPendingFile(PanelFile(script, "no"));
    bool stillOpenAfterClose = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dialog.Model().IsBusy() || dialog.findChild<QLineEdit*>()->text() != "Executing Preset() ...") {
            return;
        }
        poll.stop();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.close();
        stillOpenAfterClose = dialog.isVisible();
        worker->PutOption("Go", "true");
    });
    poll.start(10);
    dialog.show();
    RunUntilClosed(dialog);
    EXPECT_TRUE(stillOpenAfterClose);
    EXPECT_FALSE(dialog.Model().IsLoaded()); // closing reset the panel after its load
    EXPECT_EQ(dialog.Result(), kExitNotPassed);
}

// A control's Set waits for a slow script, and the object's refresh after it fails: the window is closed
// during the Set's wait and again inside the refresh's error box. Each close waits for the Set, whose object
// is still there when its box returns; then the window closes.
TEST_F(PanolixDialogTest, AClosedDuringASlowSetWhoseRefreshFailsWaitsForTheSet) {
    CPanolixDlg dialog(*worker, false, false);
    dialog.SetPendingFile(PanelFile("function Preset() {} function Reset() {}", "no",
                                    "<object type='control' name='v' x='10' y='20' width='300' height='26' "
                                    "description='Volts' value='missing.reading'>"
                                    "<setscript>Delay(300);</setscript></object>"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Model().IsLoaded(); }, kPatienceMs));
    QPushButton* set = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        set = button->text() == "Set" ? button : set;
    }
    ASSERT_NE(set, nullptr);
    bool openAfterFirstClose = false;
    bool openAfterSecondClose = false;
    QString boxText;
    vr::ui::AnswerNextModal([&](QDialog& box) {
        boxText = static_cast<QMessageBox&>(box).text();
        dialog.close();
        openAfterSecondClose = dialog.isVisible();
        box.accept();
    });
    QTimer::singleShot(100, &dialog, [&] {
        dialog.close();
        openAfterFirstClose = dialog.isVisible();
    });
    QTimer::singleShot(0, set, &QPushButton::click);
    RunUntilClosed(dialog);
    EXPECT_TRUE(openAfterFirstClose);
    EXPECT_TRUE(openAfterSecondClose);
    EXPECT_NE(boxText.indexOf("missing"), -1) << boxText.toStdString();
    EXPECT_FALSE(dialog.Model().IsLoaded());
}

TEST_F(PanolixDialogTest, EscapeDuringADragInDesignModeLeavesTheObjectWhereItWas) {
    CPanolixDlg dialog(*worker, false, false);
    dialog.SetPendingFile(
        PanelFile("function Preset() {}", "no",
                  "<object type='group' x='10' y='20' width='200' height='100' description='G'/>"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Model().IsLoaded(); }, kPatienceMs));
    ASSERT_EQ(dialog.Objects().Count(), 1u);
    dialog.Objects().SetDesignMode(true);
    QWidget* area = dialog.ObjectParent();
    CPObject* group = dialog.Objects().At(0);
    SendMouse(area, QEvent::MouseButtonPress, QPoint(11, 60), Qt::LeftButton); // on its left border
    SendMouse(area, QEvent::MouseMove, QPoint(51, 90), Qt::LeftButton);
    ASSERT_TRUE(group->IsDragging());
    EXPECT_EQ(group->DragRect().topLeft(), QPoint(50, 50));
    // A close waiting in the queue meets the status line's pump while the group makes its windows again:
    // it waits for that, and the group stays where it was.
    dialog.PostClose();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(group->IsDragging());
    EXPECT_EQ(group->Rect(), QRect(10, 20, 200, 100));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, kPatienceMs));
}

} // namespace
} // namespace panolixtest
