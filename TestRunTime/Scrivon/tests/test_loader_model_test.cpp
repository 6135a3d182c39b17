// The script executive window's logic against a scripted worker and a recording engine: loading, creating
// and renaming scripts, the run's request order, verdicts, result rows and the error line.
#include "TestRunTime/Scrivon/TestLoaderModel.h"
#include "TestRunTime/Scrivon/tests/fake_engine.h"
#include "TestRunTime/Scrivon/tests/scripted_worker.h"
#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>

namespace scrivon {
namespace {

namespace fs = std::filesystem;

class RecordingView : public TestLoaderView {
public:
    TestLoaderState state;
    std::string source, output;
    std::vector<std::string> errors;
    int selectedLine = 0;
    std::optional<std::string> answer; // what the Script Language dialog answers
    int asked = 0;

    void ShowState(const TestLoaderState& shown) override { state = shown; }
    void AppendOutput(const std::string& text, int32_t) override { output += text; }
    void ClearOutput() override { output.clear(); }
    std::string SourceText() override { return source; }
    void SetSourceText(const std::string& text) override { source = text; }
    void SelectSourceLine(int line) override { selectedLine = line; }
    void ShowError(const std::string& caption, const std::string& text) override {
        errors.push_back(caption + ": " + text);
    }
    std::optional<std::string> AskLanguage(const std::string&) override {
        ++asked;
        return answer;
    }
    void PumpMessages() override {}
};

class TestLoaderModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(std::getenv("VORNIC_HOME")) / "scripts";
        fs::create_directories(folder);
    }
    std::string Write(const std::string& name, const std::string& text) {
        fs::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }

    fs::path folder;
    RecordingView view;
    ScriptedWorker worker;
    TestLoaderModel model{view, worker, {"VBScript", "JScript"}};
};

TEST_F(TestLoaderModelTest, LoadsAScriptWhoseNameCarriesItsLanguage) {
    std::string path = Write("demo.jscript.ts", "function Test() { return true; }");
    ASSERT_TRUE(model.Load(path));
    EXPECT_EQ(view.state.status, "Ready");
    EXPECT_TRUE(view.state.runEnabled);
    EXPECT_EQ(view.state.language, "jscript");
    EXPECT_EQ(view.source, "function Test() { return true; }");
    EXPECT_EQ(view.asked, 0);

    EXPECT_FALSE(model.Load(""));
    EXPECT_EQ(view.state.status, "No Code Loaded");
    EXPECT_FALSE(view.state.runEnabled);
    EXPECT_EQ(view.state.scriptPath, "");
}

TEST_F(TestLoaderModelTest, AsksForTheLanguageOfANameWithoutOne) {
    std::string path = Write("notes.ts", "x");
    EXPECT_FALSE(model.Load(path)); // Cancel
    EXPECT_EQ(view.asked, 1);
    view.answer = "VBScript";
    EXPECT_TRUE(model.Load(path));
    EXPECT_EQ(view.state.language, "VBScript");
}

TEST_F(TestLoaderModelTest, CreatesANewScriptFromTheLanguagesBlankFile) {
    Write("Blank.JScript.ts", "// blank JScript\n");
    CVrConfigData config;
    ASSERT_TRUE(config.StoreItem("ScriptBlankFile", _bstr_t((folder / "Blank.%1.ts").string().c_str())));

    view.answer = "JScript";
    ASSERT_TRUE(model.OpenOrCreate((folder / "demo").string()));
    EXPECT_EQ(view.state.scriptPath, (folder / "demo.JScript.ts").string());
    EXPECT_EQ(view.source, "// blank JScript\n");

    model.SelectLanguage("VBScript"); // the file keeps its name; the path follows the language
    EXPECT_EQ(view.state.scriptPath, (folder / "demo.VBScript.ts").string());
    EXPECT_TRUE(fs::exists(folder / "demo.JScript.ts"));

    view.answer = "VBScript"; // no blank file for this language: an empty script
    ASSERT_TRUE(model.OpenOrCreate((folder / "other.ts").string()));
    EXPECT_EQ(view.source, "");

    // A folder that is not there: said in a box and traced with the reason's number.
    const std::string nowhere = (folder / "missing" / "new.VBScript.ts").string();
    EXPECT_FALSE(model.OpenOrCreate(nowhere));
    EXPECT_EQ(view.errors.back(), "Error: Couldn't create file '" + nowhere + "'");
    EXPECT_EQ(vr::ToUtf8(LastErrorText()), "Couldn't create file '" + nowhere +
                                               "'. GetLastError() returns '" + std::to_string(ENOENT) + "'.");
}

TEST_F(TestLoaderModelTest, RunsPresetTestResetAndStoresThePassedVerdict) {
    ASSERT_TRUE(model.Load(Write("run.JScript.ts", "code")));
    worker.answers["Test"] = {"PASSED", S_OK};
    worker.engine.engineOutput = true;
    worker.engine.session = "";
    EXPECT_TRUE(model.Run());
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"", "Preset", "Test", "Reset"}));
    EXPECT_EQ(worker.language, "JScript");
    EXPECT_EQ(worker.code, "code");
    EXPECT_EQ(worker.engine.testId, "run.JScript");
    EXPECT_EQ(worker.engine.nextSessionCalls, 1);
    EXPECT_EQ(worker.engine.output.size(), 2u); // BEGIN and END
    EXPECT_EQ(view.output, "ran load\nran Preset\nran Test\nran Reset\n");
    EXPECT_EQ(view.state.returnValue, "PASSED");
    ASSERT_EQ(worker.engine.rows.size(), 1u);
    EXPECT_EQ(worker.engine.rows[0].status, 1);
}

TEST_F(TestLoaderModelTest, AFailedTestStillResetsAndStoresAnError) {
    ASSERT_TRUE(model.Load(Write("bad.JScript.ts", "a\nb\nc")));
    worker.answers["Test"] = {"Error: 'x' is undefined Line: 2", E_FAIL};
    EXPECT_FALSE(model.Run());
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"", "Preset", "Test", "Reset"}));
    EXPECT_EQ(view.selectedLine, 2);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Run-Time Error: Error: 'x' is undefined Line: 2");
    EXPECT_EQ(view.state.returnValue, "Error");
    ASSERT_EQ(worker.engine.rows.size(), 1u);
    EXPECT_EQ(worker.engine.rows[0].status, 7);
    EXPECT_EQ(worker.engine.rows[0].description, "Error: 'x' is undefined Line: 2");
}

// A verdict whose row cannot be stored is no pass: the run is an error, and the operator reads why.
TEST_F(TestLoaderModelTest, AVerdictRowThatCannotBeStoredIsShownAndMakesTheRunAnError) {
    ASSERT_TRUE(model.Load(Write("kept.JScript.ts", "code")));
    worker.refuseRow = "the disk is full";
    EXPECT_TRUE(model.Run());
    EXPECT_EQ(model.LastVerdict(), 7);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Error: The verdict of 'kept.JScript' couldn't be stored: the disk is full");
}

// A client slow to read its verdict loses its turn, not its verdict: another client's run meanwhile keeps
// its own, and its serial number is no other client's.
TEST(TestLoaderModelClients, AClientWhoseTurnLapsedStillReadsItsOwnVerdict) {
    RecordingView view;
    ScriptedWorker worker;
    TestLoaderModel model(view, worker, {"JScript"},
                          std::chrono::milliseconds(0)); // every turn lapses at once
    fs::path folder = fs::path(std::getenv("VORNIC_HOME")) / "clients";
    fs::create_directories(folder);
    std::ofstream(folder / "c.JScript.ts") << "code";
    using Caller = TestLoaderModel::Caller;
    std::string refusal;
    ASSERT_TRUE(model.Load((folder / "c.JScript.ts").string(), Caller::Client, &refusal, 101));
    worker.answers["Test"] = {"pass", S_OK};
    EXPECT_TRUE(model.Run(Caller::Client, &refusal, 101));
    ASSERT_TRUE(model.TakeSerialNumber(102, &refusal)) << refusal;
    worker.answers["Test"] = {"fail", S_OK};
    EXPECT_TRUE(model.Run(Caller::Client, &refusal, 102));
    EXPECT_EQ(model.TakeVerdict(101), 1);
    EXPECT_EQ(model.TakeVerdict(102), 2);

    // 102's serial number stays 102's: 101, whose turn lapsed too, cannot run under it.
    EXPECT_FALSE(model.Run(Caller::Client, &refusal, 101));
    EXPECT_NE(refusal.find("given by another client (process 102)"), std::string::npos) << refusal;
    refusal.clear();
    ASSERT_TRUE(model.TakeSerialNumber(101, &refusal)) << refusal;
    EXPECT_TRUE(model.Run(Caller::Client, &refusal, 101)) << refusal;
}

TEST_F(TestLoaderModelTest, AFailedPresetRequestsNothingMore) {
    ASSERT_TRUE(model.Load(Write("p.JScript.ts", "x")));
    worker.answers["Preset"] = {"no", E_FAIL};
    EXPECT_FALSE(model.Run());
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"", "Preset"}));
    EXPECT_EQ(view.selectedLine, 0);
}

TEST(TestLoaderModelNoLanguage, WithoutAScriptEngineARunIsAnError) {
    RecordingView view;
    ScriptedWorker worker;
    TestLoaderModel model(view, worker, {});
    EXPECT_FALSE(model.Run()); // nothing loaded: nothing runs, no row
    EXPECT_TRUE(worker.engine.rows.empty());

    fs::path script = fs::path(std::getenv("VORNIC_HOME")) / "bare.ts";
    std::ofstream(script) << "function Test() {}";
    view.answer = ""; // the Script Language dialog's empty list, OK with nothing typed
    ASSERT_TRUE(model.Load(script.string()));
    EXPECT_FALSE(model.Run());
    EXPECT_TRUE(worker.requests.empty());
    EXPECT_EQ(view.state.returnValue, "Error");
    ASSERT_EQ(worker.engine.rows.size(), 1u);
    EXPECT_EQ(worker.engine.rows[0].status, 7);
}

} // namespace
} // namespace scrivon
