// The main window on the offscreen platform with the real worker: a batch run that closes itself with the
// verdict, a close during Preset's wait that waits for the load to end, design mode's drags by a hand (the
// events go to the window at a point, and Qt hands them to whatever is there), and Escape, which never closes
// but cancels a drag.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "VrDev/Panolix/PanelObjectControl.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "common/proxies/SystemProxies.h"
#include "platform/com/activation.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/clipped_widgets.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/test_env.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <regex>
#include <vector>

// QPoint in a failure's text as its coordinates.
inline void PrintTo(const QPoint& point, std::ostream* out) {
    *out << "(" << point.x() << ", " << point.y() << ")";
}

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

// The point of the window over the widget's point.
QPoint OnWindow(const QWidget* widget, QPoint point) {
    return widget->mapTo(widget->window(), point);
}

QPoint CentreOnWindow(const QWidget* widget) {
    return OnWindow(widget, widget->rect().center());
}

// A hand's drag: pressed at from, moved half-way and on, released at to.
void Drag(QWindow* window, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mousePress(window, Qt::LeftButton, modifiers, from);
    QTest::mouseMove(window, (from + to) / 2);
    QTest::mouseMove(window, to);
    QTest::mouseRelease(window, Qt::LeftButton, modifiers, to);
}

// A right-click on the window at the point, and a click on the item of the menu that opens there.
void ChooseFromContextMenu(QWindow* window, QPoint at, const QString& item) {
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            return; // not open yet
        }
        answer.stop();
        for (QAction* action : menu->actions()) {
            if (action->text() == item) {
                QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                                  menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
        ADD_FAILURE() << "no menu item " << item.toStdString();
    });
    answer.start(5);
    QTest::mouseClick(window, Qt::RightButton, {}, at);
}

// The x and y of every object element of a panel file, in file order.
std::vector<QPoint> SavedPositions(const std::string& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex object("<object\\b[^>]*>");
    const std::regex x("\\bx=[\"'](-?\\d+)");
    const std::regex y("\\by=[\"'](-?\\d+)");
    std::vector<QPoint> positions;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), object); it != std::sregex_iterator();
         ++it) {
        std::string tag = it->str();
        std::smatch left;
        std::smatch top;
        if (std::regex_search(tag, left, x) && std::regex_search(tag, top, y)) {
            positions.emplace_back(std::stoi(left[1]), std::stoi(top[1]));
        }
    }
    return positions;
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

// The window as it first opens a panel whose control object has a caption, a value, an input parameter and
// a Set button: no label, button or value of the window or of the object is cut off.
TEST_F(PanolixDialogTest, AtItsFirstSizeTheWindowShowsEveryLabelAndValueWhole) {
    CPanolixDlg dialog(*worker, false, false);
    dialog.SetPendingFile(PanelFile("function Preset() {} function Reset() {} var level = 0;", "no",
                                    "<object type='control' x='10' y='30' width='380' height='26' "
                                    "description='Supply voltage' value='12.5' parameters='Level' "
                                    "paramvalues='Level=3'><setscript>level = 1;</setscript></object>"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Model().IsLoaded(); }, kPatienceMs));
    auto* control = dynamic_cast<CPObjectControl*>(dialog.Objects().At(0));
    ASSERT_TRUE(control && control->ValueWindow() && control->RowEdit(0) && control->SetButton());
    EXPECT_EQ(vrtest::ClippedWidgets(dialog), std::vector<std::string>());
    dialog.close();
}

// Design mode is chosen from the panel's menu while the object's windows are there; each drag then starts
// on a part of the object that has a window of its own (caption, value) or none (margin), and its end remakes
// the windows, which the next drag starts on again.
TEST_F(PanolixDialogTest, AHandMovesAnObjectByItsCaptionValueAndMarginAndCopiesItWithCtrl) {
    CPanolixDlg dialog(*worker, false, false);
    std::string path = PanelFile("function Preset() {} function Reset() {}", "no",
                                 "<object type='control' x='10' y='30' width='300' height='26' "
                                 "description='Volts' value='1.5'/>");
    dialog.SetPendingFile(path);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Model().IsLoaded(); }, kPatienceMs));
    QWindow* window = dialog.windowHandle();
    QWidget* area = dialog.ObjectParent();
    auto* volts = dynamic_cast<CPObjectControl*>(dialog.Objects().At(0));
    ASSERT_NE(volts, nullptr);
    ASSERT_EQ(area->childAt(volts->CaptionLabel()->geometry().center()), volts->CaptionLabel());
    ASSERT_EQ(area->childAt(volts->ValueWindow()->geometry().center()), volts->ValueWindow());
    ASSERT_EQ(area->childAt(11, 43), nullptr); // left of the caption, inside the object

    ChooseFromContextMenu(window, OnWindow(area, QPoint(area->width() - 20, area->height() - 20)),
                          "&Design Mode");
    ASSERT_TRUE(dialog.Objects().IsDesignMode());
    auto dragsTo = [&](QPoint from, QPoint by, QPoint expected, Qt::KeyboardModifiers modifiers = {}) {
        Drag(window, from, from + by, modifiers);
        CPObject* moved = dialog.Objects().At(dialog.Objects().Count() - 1);
        EXPECT_EQ(moved->Rect().topLeft(), expected);
        for (size_t index = 0; index < dialog.Objects().Count(); ++index) {
            auto* control = dynamic_cast<CPObjectControl*>(dialog.Objects().At(index));
            EXPECT_TRUE(control->CaptionLabel() && control->CaptionLabel()->isVisible());
            EXPECT_TRUE(control->ValueWindow() && control->ValueWindow()->isVisible());
        }
    };
    dragsTo(CentreOnWindow(volts->CaptionLabel()), QPoint(40, 30), QPoint(50, 60));
    dragsTo(CentreOnWindow(volts->ValueWindow()), QPoint(20, 40), QPoint(70, 100));
    dragsTo(OnWindow(area, QPoint(71, 113)), QPoint(-30, 10), QPoint(40, 110));
    dragsTo(CentreOnWindow(volts->CaptionLabel()), QPoint(0, 40), QPoint(40, 150), Qt::ControlModifier);
    ASSERT_EQ(dialog.Objects().Count(), 2u);
    EXPECT_EQ(volts->Rect().topLeft(), QPoint(40, 110)); // the copied one stays

    QPushButton* save = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        save = button->text() == "Save" ? button : save;
    }
    ASSERT_NE(save, nullptr);
    QTest::mouseClick(window, Qt::LeftButton, {}, CentreOnWindow(save));
    EXPECT_EQ(SavedPositions(path), (std::vector<QPoint>{QPoint(40, 110), QPoint(40, 150)}));
    dialog.close();
}

TEST_F(PanolixDialogTest, EscapeDuringADragInDesignModeLeavesTheObjectWhereItWas) {
    CPanolixDlg dialog(*worker, false, false);
    dialog.SetPendingFile(
        PanelFile("function Preset() {}", "no",
                  "<object type='group' x='10' y='20' width='200' height='100' description='G'/>"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Model().IsLoaded(); }, kPatienceMs));
    ASSERT_EQ(dialog.Objects().Count(), 1u);
    dialog.Objects().SetDesignMode(true);
    QWindow* window = dialog.windowHandle();
    QWidget* area = dialog.ObjectParent();
    CPObject* group = dialog.Objects().At(0);
    QTest::mousePress(window, Qt::LeftButton, {}, OnWindow(area, QPoint(11, 60))); // on its left border
    QTest::mouseMove(window, OnWindow(area, QPoint(51, 90)));
    ASSERT_TRUE(group->IsDragging());
    EXPECT_EQ(group->DragRect().topLeft(), QPoint(50, 50));
    // A close waiting in the queue meets the status line's pump while the group makes its windows again:
    // it waits for that, and the group stays where it was. The close then resets the panel, which takes the
    // group away: it is looked at as the reset begins.
    std::optional<QRect> rectAtClose;
    QObject::connect(dialog.findChild<QLineEdit*>(), &QLineEdit::textChanged, [&](const QString& text) {
        if (text == "Executing Reset() ..." && !rectAtClose) {
            rectAtClose = group->IsDragging() ? QRect() : group->Rect();
        }
    });
    dialog.PostClose();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, kPatienceMs));
    EXPECT_EQ(rectAtClose, QRect(10, 20, 200, 100));
    QTest::mouseRelease(window, Qt::LeftButton, {}, OnWindow(area, QPoint(51, 90))); // the hand lets go
}

} // namespace
} // namespace panolixtest
