// The test executive's window on the offscreen platform over a scripted worker: which commands a run leaves
// enabled, the tree's status images, the property rows edited through the editor control (the Language row
// picked with clicks), the property pane unclipped at the default size, Edit Code handing a path with blanks
// to the user's editor, and the walk of every control in every state of the program.
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/tests/fixture.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/clipped_widgets.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/window_walk.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <X11/XKBlib.h>
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

namespace runvex {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The value combo of the editor control's row whose label shows name.
QComboBox* RowCombo(QWidget* window, const QString& name) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text() == name && label->parentWidget()->findChild<QComboBox*>()) {
            return label->parentWidget()->findChild<QComboBox*>();
        }
    }
    return nullptr;
}

// The colour of the output pane's text at the start of the line that holds needle.
QColor OutputColourOf(QTextEdit* output, const QString& needle) {
    for (QTextBlock block = output->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().contains(needle)) {
            return block.begin().fragment().charFormat().foreground().color();
        }
    }
    return {};
}

void DeliverPosted() {
    for (int round = 0; round < 4; ++round) { // a queued call may post the next notice
        QCoreApplication::sendPostedEvents();
    }
}

class RunvexWindowTest : public RunvexTest {
protected:
    void SetUp() override {
        RunvexTest::SetUp();
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); // the control's server
        frame = std::make_unique<RunvexWindow>(worker, std::vector<std::string>{"JScript"},
                                               [this](int) { Call(onWait); });
        frame->show();
    }

    void TearDown() override {
        frame.reset(); // releases the control before its server's apartment ends
        CoUninitialize();
    }

    // The enabled commands among the run's and the tree's, in this order.
    std::string Enabled() const {
        std::string names;
        for (const char* name :
             {"Open", "Save", "Run", "Pause", "Stop", "Add Test", "Remove Test", "Execute Test"}) {
            if (frame->Command(name)->isEnabled()) {
                names += (names.empty() ? "" : ", ") + std::string(name);
            }
        }
        return names;
    }
    SequenceItem& Shown(const std::string& label) {
        for (SequenceItem* item : frame->Items().PreOrder()) {
            if (item->label == label) {
                return *item;
            }
        }
        throw std::runtime_error("no item " + label);
    }
    int ImageOf(const std::string& label) {
        return frame->WidgetItemOf(Shown(label))->data(0, RunvexWindow::kImageRole).toInt();
    }
    // The item's image, 0 while no sequence shows it.
    int ImageOfOrZero(const std::string& label) {
        for (SequenceItem* item : frame->Items().PreOrder()) {
            if (item->label == label && frame->WidgetItemOf(*item)) {
                return frame->WidgetItemOf(*item)->data(0, RunvexWindow::kImageRole).toInt();
            }
        }
        return 0;
    }
    void Select(const std::string& label) {
        frame->Tree()->setCurrentItem(frame->WidgetItemOf(Shown(label)));
    }
    // Selects the item as a hand does: a click on its label in the tree.
    void ClickItem(const std::string& label) {
        QTreeWidget* tree = frame->Tree();
        QRect place = tree->visualItemRect(frame->WidgetItemOf(Shown(label)));
        vrtest::ClickAt(tree->viewport(), place.center());
    }
    // Presses the toolbar's button of the command.
    void ClickToolbar(const std::string& name) {
        auto* bar = frame->findChild<QToolBar*>(QStringLiteral("toolbar"));
        QWidget* button = bar->widgetForAction(frame->Command(name));
        vrtest::ClickAt(button, button->rect().center());
    }
    static void Call(const std::function<void()>& hook) {
        if (hook) {
            hook();
        }
    }

    std::function<void()> onWait;        // each wait of the run for the worker
    std::unique_ptr<RunvexWindow> frame; // the window under test
};

// The status bar's CAP, NUM and SCRL after its message, lit as the keyboard's indicators are: on a display
// with indicators, Caps Lock locked lights CAP within the window's timer; offscreen none is lit.
void ExpectLockIndicators(RunvexWindow& frame) {
    std::vector<std::string> shown;
    for (QLabel* label : frame.statusBar()->findChildren<QLabel*>()) {
        if (!label->objectName().isEmpty() && label->isVisibleTo(&frame)) {
            shown.push_back(label->text().toStdString() + (label->isEnabled() ? " lit" : ""));
        }
    }
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) {
        EXPECT_EQ(shown, (std::vector<std::string>{"CAP", "NUM", "SCRL"}));
        return;
    }
    QLabel* caps = frame.statusBar()->findChild<QLabel*>(QStringLiteral("CAP"));
    ASSERT_TRUE(caps);
    XkbLockModifiers(x11->display(), XkbUseCoreKbd, LockMask, LockMask);
    XSync(x11->display(), False);
    EXPECT_TRUE(QTest::qWaitFor([&] { return caps->isEnabled(); }, 10000));
    XkbLockModifiers(x11->display(), XkbUseCoreKbd, LockMask, 0);
    XSync(x11->display(), False);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !caps->isEnabled(); }, 10000));
}

TEST_F(RunvexWindowTest, ARunDisablesWhatWouldChangeTheTreeAndTheTreeShowsEachTestsEnd) {
    EXPECT_EQ(Enabled(), "Open");                      // started without a file
    frame->SetPendingFile(Write("bench.tsq", kBench)); // as the command line names it: loaded by the timer
    for (int look = 0; look < 1000 && !frame->Form().IsLoaded(); ++look) {
        QTest::qWait(10);
    }
    ASSERT_TRUE(frame->Form().IsLoaded());
    EXPECT_EQ(Enabled(), "Open, Save, Run, Add Test");

    worker.answers["Identify:Test"] = {"FAIL", S_OK};
    std::map<std::string, std::string> seen; // what was enabled at a request, and during the pause
    int rippleImage = 0;
    worker.onRequest = [&](const std::string& request) {
        seen[request] = Enabled();
        if (request == "Ripple:Test") {
            rippleImage = ImageOf("Ripple");
            frame->Command("Pause")->trigger();
        }
    };
    onWait = [&] {
        if (frame->Run().Paused() && frame->statusBar()->currentMessage() == "Pause ...") {
            seen["paused"] = Enabled();
            frame->Command("Run")->trigger(); // resumes
        }
    };
    frame->Command("Run")->trigger();
    EXPECT_EQ(seen["Rails:Test"], "Save, Pause, Stop");
    EXPECT_EQ(seen["paused"], "Save, Run, Stop");
    EXPECT_EQ(rippleImage, static_cast<int>(TreeImage::PresetDone));
    EXPECT_EQ(Enabled(), "Open, Save, Run, Add Test");
    EXPECT_EQ(ImageOf("Rails"), 6);
    EXPECT_EQ(ImageOf("Ripple"), 6);
    EXPECT_EQ(ImageOf("Identify"), 3); // failed: the run ends there
    EXPECT_EQ(ImageOf("Buffer"), 1);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");
    EXPECT_EQ(OutputColourOf(frame->Output(), "Rails measured"), QColor(Qt::blue)); // the worker's status 3
    ExpectLockIndicators(*frame);

    // One test from the tree: only Stop acts on it.
    Select("Buffer");
    EXPECT_EQ(Enabled(), "Open, Save, Run, Add Test, Remove Test, Execute Test");
    frame->Command("Execute Test")->trigger();
    EXPECT_EQ(seen["Buffer:Test"], "Save, Stop");
    EXPECT_EQ(ImageOf("Buffer"), 6);
    EXPECT_EQ(ImageOf("Identify"), 3);
}

// runvex --run: the file the timer loads is run at once, and the window stays with the verdicts.
TEST_F(RunvexWindowTest, AFileToRunIsRunAsSoonAsItIsOpen) {
    worker.answers["Identify:Test"] = {"FAIL", S_OK};
    frame->SetPendingFile(Write("bench.tsq", kBench), true);
    for (int look = 0; look < 1000 && ImageOfOrZero("Identify") != 3; ++look) {
        QTest::qWait(10);
    }
    EXPECT_EQ(ImageOf("Rails"), 6);
    EXPECT_EQ(ImageOf("Identify"), 3);
    EXPECT_EQ(ImageOf("Buffer"), 1); // the failure ended the run
    EXPECT_FALSE(frame->Run().Running());
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(RunvexWindowTest, ClosingTheWindowStopsARunInProgress) {
    ASSERT_TRUE(frame->Form().Load(Write("bench.tsq", kBench)));
    worker.onRequest = [&](const std::string& request) {
        if (request == "Rails:Test") {
            frame->close();
        }
    };
    worker.answers["Rails:Test"] = {"Test 'Rails' is interrupted by the User.", E_FAIL};
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen); // a box the closing window must not show
    frame->show();
    frame->Command("Run")->trigger();
    EXPECT_EQ(vr::ui::PendingModalAnswers(), 1u) << "a box came during the close: " << vr::ToUtf8(seen.text);
    vr::ui::DropModalAnswers();
    EXPECT_EQ(worker.stops, (std::vector<std::string>{"", "continue"})); // interrupted, then Reset ran
    EXPECT_EQ(std::count(worker.requests.begin(), worker.requests.end(), "Rails:Reset"), 1);
    EXPECT_EQ(std::count(worker.requests.begin(), worker.requests.end(), "Ripple:set"), 0);
    EXPECT_FALSE(frame->Run().Running());
    EXPECT_TRUE(frame->isVisible()) << "the window waits for the run's end";
    QCoreApplication::processEvents(); // the close the run handed back
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(RunvexWindowTest, TheEditorControlEditsTheSelectedTestAndShowingATestWritesNothing) {
    std::string path = Write("bench.tsq", kBench);
    ASSERT_TRUE(frame->Form().Load(path));
    frame->Command("Properties")->trigger();
    ASSERT_TRUE(frame->PropertiesShown());
    Select("Rails");
    DeliverPosted();
    QComboBox* name = RowCombo(frame.get(), "Name :");
    ASSERT_NE(name, nullptr) << "the editor control shows no Name row";
    EXPECT_EQ(name->currentText(), "Rails");
    EXPECT_EQ(RowCombo(frame.get(), "Description :")->currentText(), "5 V and 12 V rails");

    name->lineEdit()->clear();
    QTest::keyClicks(name->lineEdit(), "Rails 5V");
    DeliverPosted();
    EXPECT_EQ(frame->WidgetItemOf(Shown("Rails 5V"))->text(0), "Rails 5V");

    // Ripple has no description: its row shows "<Undefined>", which must not land in the file.
    Select("Ripple");
    DeliverPosted();
    EXPECT_EQ(RowCombo(frame.get(), "Name :")->currentText(), "Ripple");
    Select("Main Sequence");
    DeliverPosted();
    frame->Command("Save")->trigger();
    std::string saved = ReadText(path);
    EXPECT_NE(saved.find("name=\"Rails 5V\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Undefined"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<test name=\"Ripple\">"), std::string::npos) << saved;
}

TEST_F(RunvexWindowTest, EditCodeHandsThePathToTheUsersEditorAsOneArgumentAfterItsOptions) {
    ASSERT_TRUE(frame->Form().Load(Write("bench.tsq", kBench)));
    fs::create_directories(folder / "My Scripts");
    std::string code = Write("My Scripts/rails check.JScript.ts", "function Test() {}\n");
    fs::path record = folder / "editor-arguments";
    std::string editor = Write(
        "editor.sh", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + record.string() +
                         ".part\" && mv \"" + record.string() + ".part\" \"" + record.string() + "\"\n");
    fs::permissions(editor, fs::perms::owner_all);
    Select("Rails");
    frame->Form().PropertyEdited("Code File", code);

    setenv("VISUAL", (editor + " --wait").c_str(), 1);
    auto editedWith = [&] {
        fs::remove(record);
        frame->Command("Edit Code")->trigger();
        for (int look = 0; look < 1000 && !fs::exists(record); ++look) { // the editor runs on its own
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ReadText(record);
    };
    EXPECT_EQ(editedWith(), "--wait\n--\n" + code + "\n");
    // A name that starts with "-" reaches the editor as a file, not as one of its options.
    fs::path before = fs::current_path();
    fs::current_path(folder);
    Write("-rf.JScript.ts", "function Test() {}\n");
    frame->Form().PropertyEdited("Code File", "-rf.JScript.ts");
    EXPECT_EQ(editedWith(), "--wait\n--\n-rf.JScript.ts\n");
    fs::current_path(before);
    frame->Form().PropertyEdited("Code File", code);

    setenv("VISUAL", (folder / "no-such-editor").c_str(), 1);
    vr::ui::MessageBoxSeen box;
    vr::ui::AnswerNextMessageBox(IDOK, &box);
    frame->Command("Edit Code")->trigger();
    unsetenv("VISUAL");
    EXPECT_NE(vr::ToUtf8(box.text).find("no-such-editor"), std::string::npos) << vr::ToUtf8(box.text);
}

// The Language row is labelled as the others, offers the languages as its values, and a pick (by clicks on
// its list) changes the test's language: another selection, a run and Save keep it.
TEST_F(RunvexWindowTest, TheLanguageRowOffersTheLanguagesAndAPickIsTheTestsLanguage) {
    std::string path = Write("bench.tsq", kBench);
    ASSERT_TRUE(frame->Form().Load(path));
    frame->Command("Properties")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    ClickItem("Rails");
    DeliverPosted();
    QComboBox* language = RowCombo(frame.get(), "Language :");
    ASSERT_NE(language, nullptr) << "the Language row has no \"Language :\" label";
    EXPECT_EQ(language->currentText(), "JScript");
    for (const char* picked : {"WinDLL", "ControlPanel", "JScript"}) {
        ClickItem("Rails"); // a run shows the root's rows
        DeliverPosted();
        ASSERT_TRUE(vrtest::PickFromDropDown(RowCombo(frame.get(), "Language :"), picked)) << picked;
        DeliverPosted();
        ClickItem("Ripple"); // where the renamed row once took the window down
        DeliverPosted();
        EXPECT_EQ(RowCombo(frame.get(), "Language :")->currentText(), "JScript");
        ClickItem("Rails");
        DeliverPosted();
        EXPECT_EQ(RowCombo(frame.get(), "Language :")->currentText(), picked);
        ClickToolbar("Run");
        EXPECT_FALSE(frame->Run().Running());
        ClickToolbar("Save");
        EXPECT_NE(ReadText(path).find("language=\"" + std::string(picked) + "\""), std::string::npos)
            << picked << ": " << ReadText(path) << frame->statusBar()->currentMessage().toStdString();
    }
    EXPECT_EQ(std::count(worker.requests.begin(), worker.requests.end(), "Rails:Test"), 3);
}

// At the default size every label and value of the property pane is whole, with a test's values shown.
TEST_F(RunvexWindowTest, ThePropertyPaneShowsEveryLabelAndValueWhole) {
    ASSERT_TRUE(frame->Form().Load(Write("bench.tsq", kBench)));
    frame->Command("Properties")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    ClickItem("Ripple");
    DeliverPosted();
    QCoreApplication::processEvents();
    QGroupBox* pane = nullptr;
    for (QGroupBox* group : frame->findChildren<QGroupBox*>()) {
        pane = group->title() == "Test Properties" ? group : pane;
    }
    ASSERT_NE(pane, nullptr);
    std::vector<std::string> cut = vrtest::ClippedWidgets(*frame, pane);
    EXPECT_TRUE(cut.empty()) << ::testing::PrintToString(cut);
    EXPECT_NE(RowCombo(frame.get(), "Code File :"), nullptr);
    if (const char* shot = std::getenv("VR_RUNVEX_SCREENSHOT")) {
        frame->grab().save(QString::fromUtf8(shot)); // for a look by eye; the check above is the test
    }
}

// A test ended in error keeps its reason in the output pane after its box, with the verdict of each test and
// the note that a run without a serial number stored no row.
TEST_F(RunvexWindowTest, TheOutputPaneKeepsEachVerdictAndTheReasonOfAnError) {
    ASSERT_TRUE(frame->Form().Load(Write("bench.tsq", kBench)));
    worker.answers["Ripple:Test"] = {"CSocket::Invoke(): the meter did not answer", E_FAIL};
    vr::ui::AnswerNextMessageBox(IDOK);
    frame->Command("Run")->trigger();
    QString output = frame->Output()->toPlainText();
    EXPECT_TRUE(output.contains("Test 'Rails': Passed")) << output.toStdString();
    EXPECT_TRUE(output.contains("Test 'Ripple': Error: CSocket::Invoke(): the meter did not answer"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("No serial number was given")) << output.toStdString();
    vr::ui::DropModalAnswers();

    frame->TypeSerialNumber("SN-0042");
    frame->Output()->clear();
    worker.answers.clear();
    frame->Command("Run")->trigger();
    output = frame->Output()->toPlainText();
    EXPECT_TRUE(output.contains("Test 'Buffer': Passed")) << output.toStdString();
    EXPECT_FALSE(output.contains("No serial number was given")) << output.toStdString();
}

// Every control of the window, pressed in each state of the program: nothing crashes or hangs, and what the
// run state refuses is disabled (or its press says why).
TEST_F(RunvexWindowTest, EveryControlPressedInEveryStateIsDoneOrDisabled) {
    setenv("VISUAL", "true", 1); // Edit Code starts an editor that ends at once
    std::string path = Write("bench.tsq", kBench);
    auto enter = [&](const std::string& state, const vrtest::InState& inState) {
        frame.reset();
        frame = std::make_unique<RunvexWindow>(worker, std::vector<std::string>{"JScript"},
                                               [this](int) { Call(onWait); });
        frame->show();
        if (state == "nothing loaded") {
            inState(frame.get());
            return;
        }
        if (!frame->Form().Load(path)) {
            return;
        }
        if (state == "loaded" || state == "a test's properties shown") {
            if (state != "loaded") {
                frame->Command("Properties")->trigger();
                Select("Rails");
            }
            inState(frame.get());
            return;
        }
        bool entered = false;
        onWait = [&] {
            vrcommon::RunPhase phase = frame->Run().State().Phase();
            if (entered || phase == vrcommon::RunPhase::Closing) {
                return;
            }
            // Stopped during Test, the run still waits for the test's Reset: the stopping state has a wait.
            if (phase == vrcommon::RunPhase::Running && state != "running" &&
                worker.requests.back() == "Rails:Test") {
                state == "paused" ? frame->Run().Pause() : frame->Run().Stop();
                return;
            }
            if (vrcommon::RunPhaseName(phase) == state) {
                entered = true;
                inState(frame.get());
                if (frame->Run().Paused()) {
                    frame->Run().Stop(); // the walk ends the paused run
                }
            }
        };
        frame->Command("Run")->trigger();
        onWait = nullptr;
    };
    auto refusal = [&](const vrtest::WalkControl& control) -> std::string {
        static const std::map<std::string, vrcommon::RunRequest> requests = {
            {"Open", vrcommon::RunRequest::Load},        {"Run", vrcommon::RunRequest::Run},
            {"Pause", vrcommon::RunRequest::Pause},      {"Stop", vrcommon::RunRequest::Stop},
            {"Add Test", vrcommon::RunRequest::Load},    {"Insert Test", vrcommon::RunRequest::Load},
            {"Remove Test", vrcommon::RunRequest::Load}, {"Execute Test", vrcommon::RunRequest::Run}};
        auto* action = qobject_cast<QAction*>(control.object.data());
        if (auto* button = qobject_cast<QToolButton*>(control.object.data())) {
            action = button->defaultAction();
        }
        auto found = action ? requests.find(action->text().remove('&').toStdString()) : requests.end();
        std::string why;
        if (found != requests.end() && !frame->Run().State().Takes(found->second, &why)) {
            return why;
        }
        return "";
    };
    std::vector<vrtest::WalkedState> states;
    for (const char* state :
         {"nothing loaded", "loaded", "a test's properties shown", "running", "paused", "stopping"}) {
        states.push_back({state, [&enter, state](const vrtest::InState& inState) { enter(state, inState); },
                          refusal, nullptr});
    }
    EXPECT_GT(vrtest::WalkWindows(states), 0);
    unsetenv("VISUAL");
}

} // namespace
} // namespace runvex
