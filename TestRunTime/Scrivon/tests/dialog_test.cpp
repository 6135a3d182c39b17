// The script executive's windows on the offscreen platform, over a scripted worker: the Script Language
// dialog, loading and running through the automation object, coloured output, the language rename, the
// source pane's keys, Show/Hide, what the window shows of a serial number and of a script no longer loaded,
// the screenshot of the window after a run that the README shows, and the walk of every control in every
// state of the program.
#include "TestRunTime/Scrivon/ScriptLanguageDlg.h"
#include "TestRunTime/Scrivon/TestLoaderDlg.h"
#include "TestRunTime/Scrivon/tests/scripted_worker.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/com/comutil.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/window_walk.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <map>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace scrivon {
namespace {

namespace fs = std::filesystem;

// The colour of the output pane's text at the start of a line that holds needle.
QColor OutputColourOf(QTextEdit* output, const QString& needle) {
    for (QTextBlock block = output->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().contains(needle)) {
            return block.begin().fragment().charFormat().foreground().color();
        }
    }
    return {};
}

void Type(AttrValueEditor* row, const QString& text) {
    QLineEdit* edit = row->Combo()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, text);
}

void AnswerLanguage(const QString& language, bool ok) {
    vr::ui::AnswerNextModal([language, ok](QDialog& dialog) {
        auto& asked = static_cast<CScriptLanguageDlg&>(dialog);
        asked.List()->setEditText(language);
        ok ? asked.accept() : asked.reject();
    });
}

class ScrivonDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        folder = fs::path(std::getenv("VORNIC_HOME")) / "scripts";
        fs::create_directories(folder);
    }
    void TearDown() override { vr::ui::DropModalAnswers(); }
    std::string Write(const std::string& name, const std::string& text) {
        fs::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }

    fs::path folder;
    ScriptedWorker worker;
    std::string refusal; // why the window refused a client's call (empty: taken)
};

TEST_F(ScrivonDialogTest, ScriptLanguageDialogPreselectsOnlyAnExactJScript) {
    CScriptLanguageDlg listed({"VBScript", "JScript", "Perl"}, nullptr);
    EXPECT_EQ(listed.List()->itemText(0), "JScript"); // sorted
    EXPECT_EQ(listed.ChosenLanguage(), "JScript");
    CScriptLanguageDlg without({"jscript", "VBScript"}, nullptr);
    EXPECT_EQ(without.List()->currentIndex(), -1);

    AnswerLanguage("Typed", true);
    EXPECT_EQ(AskScriptLanguage({}, nullptr),
              std::optional<std::string>("Typed")); // an empty list still types
    AnswerLanguage("JScript", false);
    EXPECT_EQ(AskScriptLanguage({"JScript"}, nullptr), std::nullopt);
}

TEST_F(ScrivonDialogTest, AutomationLoadsAndRunsWithColouredOutputAndTheVerdict) {
    std::string path = Write("demo.JScript.ts", "function Test() { return 'PASSED'; }\n");
    worker.answers["Test"] = {"PASSED", S_OK};
    worker.outputStatus = 2;
    CVrTestLoaderDlg dialog(worker, {"JScript", "VBScript"});
    const auto& ui = dialog.Widgets();
    EXPECT_EQ(ui.status->text(), "No Code Loaded");
    EXPECT_FALSE(ui.run->isEnabled());

    IVrTestLoader* loader = dialog.Automation();
    // The client's serial number holds the field for its run: the operator can't type over it meanwhile.
    _variant_t serialNumber(_bstr_t(u"SN-0042"));
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&serialNumber, &named, 1, 1};
    ASSERT_EQ(loader->Invoke(DISPID_TestLoaderSN, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                             nullptr),
              S_OK);
    EXPECT_FALSE(ui.serialNumber->isEnabled());
    _variant_t file(_bstr_t(path.c_str()));
    _variant_t result;
    DISPPARAMS one{&file, nullptr, 1, 0};
    ASSERT_EQ(
        loader->Invoke(DISPID_TestLoaderLoad, IID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ui.scriptFile->text().toStdString(), path);
    EXPECT_EQ(ui.language->currentText(), "JScript");
    EXPECT_FALSE(ui.save->isEnabled());

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    result.Clear();
    ASSERT_EQ(
        loader->Invoke(DISPID_TestLoaderRun, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ui.returnValue->text(), "PASSED");
    EXPECT_EQ(ui.status->text(), "Ready");
    EXPECT_EQ(worker.engine.sn, "SN-0042");
    EXPECT_EQ(worker.engine.rows.back().status, 1);
    EXPECT_EQ(OutputColourOf(ui.output, "ran Test"), QColor(Qt::red));
    EXPECT_EQ(ui.serialNumber->Combo()->itemText(0), "SN-0042"); // joined the recent values
    EXPECT_EQ(dialog.LastVerdict(0), 1);                         // the client's verdict ends its turn
    EXPECT_TRUE(ui.serialNumber->isEnabled());

    QTest::keyClick(&dialog, Qt::Key_Escape); // clears the output; the window stays
    EXPECT_TRUE(ui.output->toPlainText().isEmpty());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(ScrivonDialogTest, WarningsAreBlueAndAFailedTestSelectsItsLine) {
    std::string path = Write("lines.JScript.ts", "function Preset() {}\nfunction Test() {\n  x();\n}\n");
    worker.outputStatus = 3;
    worker.answers["Test"] = {"JScript runtime error\nLine: 3\n", E_FAIL};
    CVrTestLoaderDlg dialog(worker, {"JScript"});
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    EXPECT_FALSE(dialog.RunScript(0, &refusal));
    EXPECT_EQ(seen.caption, u"Run-Time Error");
    EXPECT_EQ(dialog.Widgets().returnValue->text(), "Error");
    EXPECT_EQ(dialog.Widgets().source->textCursor().selectedText(), "  x();");
    EXPECT_EQ(OutputColourOf(dialog.Widgets().output, "ran Preset"), QColor(Qt::blue));
    EXPECT_EQ(worker.engine.rows.back().status, 7);
}

TEST_F(ScrivonDialogTest, TheLanguageListRenamesOnlyTheLanguagePart) {
    fs::path tricky = folder / "JScript";
    fs::create_directories(tricky);
    std::string path = (tricky / "demo.JScript.ts").string();
    std::ofstream(path) << "x";
    CVrTestLoaderDlg dialog(worker, {"JScript", "VBScript"});
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    QComboBox* language = dialog.Widgets().language;
    language->setCurrentIndex(language->findText("VBScript"));
    Q_EMIT language->textActivated("VBScript");
    EXPECT_EQ(dialog.Widgets().scriptFile->text().toStdString(), (tricky / "demo.VBScript.ts").string());
}

TEST_F(ScrivonDialogTest, SourcePaneEditsEnableSaveAndTabInsertsBlanks) {
    std::string path = Write("edit.JScript.ts", "");
    CVrTestLoaderDlg dialog(worker, {"JScript"});
    dialog.show();
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    EXPECT_FALSE(dialog.Widgets().save->isEnabled());
    QTest::keyClick(dialog.Widgets().source, Qt::Key_Tab);
    QTest::keyClicks(dialog.Widgets().source, "x");
    EXPECT_EQ(dialog.Widgets().source->toPlainText(), "    x");
    EXPECT_TRUE(dialog.Widgets().save->isEnabled());
    dialog.Widgets().save->click();
    std::ifstream saved(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "    x");

    EXPECT_FALSE(dialog.SourceShown());
    dialog.Widgets().showHide->click();
    EXPECT_TRUE(dialog.SourceShown());
    EXPECT_EQ(dialog.Widgets().showHide->text(), "Hide Script");
    dialog.Widgets().showHide->click();
    EXPECT_EQ(dialog.Widgets().showHide->text(), "Show Script");
}

// The README's picture: the window after a run, with its output and verdict.
TEST_F(ScrivonDialogTest, TheWindowsMenuShowsTheAboutBox) {
    CVrTestLoaderDlg dialog(worker, {"JScript"});
    ASSERT_EQ(dialog.actions().size(), 1);
    EXPECT_EQ(dialog.actions()[0]->text(), QStringLiteral("&About Ostrel Script Executive..."));
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    dialog.actions()[0]->trigger();
    EXPECT_EQ(seen.caption, u"About Ostrel Script Executive");
    EXPECT_EQ(seen.text, u"Ostrel Script Executive Version 1.00");
}

TEST_F(ScrivonDialogTest, ScreenshotAfterARun) {
    std::string path =
        Write("measure.JScript.ts", "function Test() {\n"
                                    "  var volts = dmm.MeasureVoltage();\n"
                                    "  OutputLn(\"Voltage: \" + volts + \" V\");\n"
                                    "  return IsValid(volts, \"[4.9, 5.1]\") ? \"pass\" : \"fail\";\n"
                                    "}\n");
    worker.answers["Test"] = {"pass", S_OK};
    worker.pendingOutput = {"Test ID: measure\n", "Voltage: 4.9987 V\n",
                            "Value 4.9987 is within [4.9, 5.1]\n"};
    CVrTestLoaderDlg dialog(worker, {"JScript", "VBScript"});
    dialog.resize(760, 560);
    dialog.show();
    Type(dialog.Widgets().serialNumber, "SN-0042");
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    dialog.Widgets().showHide->click();
    ASSERT_TRUE(dialog.RunScript(0, &refusal));
    QImage shot = dialog.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(shot.width(), 300);
    if (const char* target = std::getenv("SCRIVON_SCREENSHOT")) {
        EXPECT_TRUE(shot.save(QString::fromUtf8(target), "PNG"));
    }
}

// A given serial number is drawn as a value, not as the grey placeholder; a run without one says in the
// output pane that no row was stored; a cancelled Open leaves no Return Value of the script it unloaded.
TEST_F(ScrivonDialogTest, TheWindowShowsNoStaleOrPlaceholderValue) {
    std::string path = Write("shown.JScript.ts", "function Test() { return 'pass'; }\n");
    worker.answers["Test"] = {"pass", S_OK};
    CVrTestLoaderDlg dialog(worker, {"JScript"});
    dialog.show();
    const auto& ui = dialog.Widgets();
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    ASSERT_TRUE(dialog.RunScript(0, &refusal));
    (void)dialog.LastVerdict(0); // the client's turn ends
    EXPECT_TRUE(ui.output->toPlainText().contains("No serial number was given"))
        << ui.output->toPlainText().toStdString();

    dialog.TypeSerialNumber("SN-0042");
    EXPECT_EQ(ui.serialNumber->Combo()->TextColour(), dialog.palette().color(QPalette::Text));
    ASSERT_TRUE(dialog.LoadScript(path, 0, &refusal));
    ASSERT_TRUE(dialog.RunScript(0, &refusal));
    (void)dialog.LastVerdict(0);
    EXPECT_EQ(worker.engine.sn, "SN-0042");
    EXPECT_FALSE(ui.output->toPlainText().contains("No serial number was given"));
    EXPECT_EQ(ui.returnValue->text(), "pass");

    std::string unnamed = Write("unnamed.ts", "function Test() {}\n");
    AnswerLanguage("JScript", false); // its language is asked for, and the question cancelled
    EXPECT_FALSE(dialog.Model().OpenOrCreate(unnamed));
    EXPECT_EQ(ui.status->text(), "No Code Loaded");
    EXPECT_EQ(ui.returnValue->text(), "");
}

// A worker whose polls let the test act while a run waits.
class PolledWorker : public ScriptedWorker {
public:
    std::function<void()> onPoll;
    int GetState() override {
        if (onPoll) {
            onPoll();
        }
        return ScriptedWorker::GetState();
    }
};

// Every control of the window, pressed in each state of the program: nothing crashes or hangs, and what the
// run state refuses is disabled (or its press says why).
TEST_F(ScrivonDialogTest, EveryControlPressedInEveryStateIsDoneOrDisabled) {
    std::string path = Write("walk.JScript.ts", "function Test() { return 'pass'; }\n");
    PolledWorker polled;
    std::unique_ptr<CVrTestLoaderDlg> dialog;
    auto enter = [&](const std::string& state, const vrtest::InState& inState) {
        dialog.reset();
        polled.onPoll = nullptr;
        dialog = std::make_unique<CVrTestLoaderDlg>(polled, std::vector<std::string>{"JScript", "VBScript"});
        dialog->show();
        if (state == "nothing loaded") {
            inState(dialog.get());
            return;
        }
        std::string refused;
        if (!dialog->LoadScript(path, 0, &refused)) {
            return;
        }
        dialog->Model().EndClientTurn(0); // the walk's hand is the operator's, not the client's that loaded
        if (state == "loaded" || state == "script shown") {
            if (state == "script shown") {
                dialog->Widgets().showHide->click();
            }
            inState(dialog.get());
            return;
        }
        bool entered = false;
        polled.onPoll = [&] {
            vrcommon::RunPhase phase = dialog->Model().Phase();
            if (entered || phase == vrcommon::RunPhase::Closing) {
                return;
            }
            if (phase == vrcommon::RunPhase::Running && state == "stopping") {
                dialog->Model().Stop();
                return;
            }
            if (vrcommon::RunPhaseName(phase) == state) {
                entered = true;
                inState(dialog.get());
            }
        };
        (void)dialog->Model().Run();
        polled.onPoll = nullptr;
    };
    auto refusal = [&](const vrtest::WalkControl& control) -> std::string {
        static const std::map<std::string, vrcommon::RunRequest> requests = {
            {"button Run", vrcommon::RunRequest::Run},
            {"button Open", vrcommon::RunRequest::Load},
            {"button Stop", vrcommon::RunRequest::Stop}};
        auto found = requests.find(control.text);
        if (found == requests.end()) {
            return "";
        }
        vrcommon::RunState probe(u"walk"); // the program's rules in the program's phase
        vrcommon::RunState::Scope phase(probe, dialog->Model().Phase());
        std::string why;
        return probe.Takes(found->second, &why) ? "" : why;
    };
    std::vector<vrtest::WalkedState> states;
    for (const char* state : {"nothing loaded", "loaded", "script shown", "running", "stopping"}) {
        states.push_back({state, [&enter, state](const vrtest::InState& inState) { enter(state, inState); },
                          refusal, nullptr});
    }
    EXPECT_GT(vrtest::WalkWindows(states), 0);
    dialog.reset();
}

} // namespace
} // namespace scrivon
