// The test-execution worker: preparing tests, loading scripts, running their methods with the output
// drained while they run, script text and expressions, failures, Stop, AddScriptNow and control panels run
// as a real child process.
#include "worker_fixture.h"

#include "common/proxies/SystemProxies.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/registry/registry.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace workertest {
namespace {

constexpr const char* kTestScript = "function Preset() { OutputLn('preset'); }\n"
                                    "function Test() {\n"
                                    "  OutputLn('checking', 5);\n"
                                    "  Delay(20);\n"
                                    "  OutputLn('passed', 1);\n"
                                    "  return 'true';\n"
                                    "}\n"
                                    "function Reset() { OutputLn('reset'); }\n";

// Stop borrows its words.
void StopWith(CTestExecutive& worker, std::u16string_view words) {
    BSTR text = B(words);
    worker.Stop(text);
    SysFreeString(text);
}

// Set with a language, a code argument and option-string parameters; its HRESULT.
HRESULT SetTest(CTestExecutive& worker, std::u16string_view language, std::u16string_view code,
                std::u16string_view parameters, std::u16string_view config = u"") {
    return worker.Set(B(language), B(code), B(config), B(parameters));
}

TEST_F(WorkerTest, RunsATestFromItsCodeFileWithItsOutputAndVerdict) {
    std::string file = WriteFile("Test/Scripts/Volt Check.ts", kTestScript);
    ASSERT_EQ(SetTest(*worker, u"jscript", u"", u"file='" + vr::FromUtf8(file) + u"' sn=SN-1"), S_OK)
        << vr::ToUtf8(ErrorText());
    EXPECT_EQ(worker->GetState(), CTestExecutive::kDone);
    EXPECT_EQ(worker->GetState(), CTestExecutive::kIdle); // a finished request is reported once

    EXPECT_EQ(RunRequest(u""), u"");
    ASSERT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(RunRequest(u"Preset"), u"");
    EXPECT_EQ(RunRequest(u"Test"), u"true");
    EXPECT_EQ(RunRequest(u"Reset"), u"");
    EXPECT_EQ(ErrorCode(), S_OK);

    FakeTestEngine* engine = Engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->sn, u"SN-1");
    EXPECT_EQ(engine->testId, u"Volt Check");
    EXPECT_EQ(engine->session, u"");
    EXPECT_EQ(engine->endExecutions, 1);
    std::vector<std::pair<LONG, std::u16string>> expected = {
        {0, u"preset\n"}, {5, u"checking\n"}, {1, u"passed\n"}, {0, u"reset\n"}};
    EXPECT_EQ(output, expected);
}

// Engine calls carried by Set and by a request, as the test executive's run makes them: Set's first on the
// worker's thread, before the engine is given the new test; a request's after the request succeeded, before
// it is reported done, and never after a load that failed.
TEST_F(WorkerTest, EngineCallsCarriedBySetAndByARequestRunOnTheWorkerInTheirPlace) {
    ASSERT_EQ(SetTest(*worker, u"JScript", u"var a;", u"name=Before"), S_OK);
    std::u16string seen;
    std::thread::id thread;
    ASSERT_EQ(worker->Set(B(u"JScript"), B(u"engine.TestExecSession = 'loaded';"), B(u""), B(u"name=Next"),
                          [&](IVrTestEngine*) {
                              seen = Engine()->testId;
                              thread = std::this_thread::get_id();
                          }),
              S_OK);
    EXPECT_EQ(seen, u"Before");
    EXPECT_EQ(Engine()->testId, u"Next");
    EXPECT_EQ(thread, worker->ThreadId);

    worker->Request(B(u""), B(u""), B(u""), [&](IVrTestEngine* engine) {
        BSTR session = nullptr;
        (void)engine->get_TestExecSession(&session); // the fake always answers
        seen = TakeText(session);
        BSTR mark = B(u"after");
        (void)engine->put_TestExecSession(mark); // the fake always takes it
        SysFreeString(mark);
        thread = std::this_thread::get_id();
    });
    Wait();
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(seen, u"loaded");
    EXPECT_EQ(Engine()->session, u"after");
    EXPECT_EQ(thread, worker->ThreadId);

    ASSERT_EQ(SetTest(*worker, u"JScript", u"function Broken( {", u""), S_OK);
    bool called = false;
    worker->Request(B(u""), B(u""), B(u""), [&](IVrTestEngine*) { called = true; });
    Wait();
    EXPECT_LT(ErrorCode(), 0);
    EXPECT_FALSE(called);
}

TEST_F(WorkerTest, SetRefusesWhatCannotRunAndAcceptsControlPanels) {
    EXPECT_EQ(SetTest(*worker, u"", u"var a;", u""), E_FAIL);
    EXPECT_EQ(ErrorText(), u"Executing Language is not provided.");
    EXPECT_EQ(ErrorCode(), E_FAIL);
    EXPECT_EQ(worker->GetState(), CTestExecutive::kDone);

    EXPECT_EQ(SetTest(*worker, u"Klingon", u"var a;", u""), E_FAIL);
    EXPECT_EQ(ErrorText(), u"'Klingon' is unrecognized Language.");

    EXPECT_EQ(SetTest(*worker, u"JScript", u"", u"file=/no/such/file.ts"), E_FAIL);
    EXPECT_EQ(ErrorText(), u"Couldn't find code file '/no/such/file.ts'.");

    EXPECT_EQ(SetTest(*worker, u"JScript", u"", u""), E_FAIL);
    EXPECT_EQ(ErrorText(), u"Nothing to execute: Code file and Script/Code and Config are not provided.");

    EXPECT_EQ(SetTest(*worker, u"ControlPanel", u"", u"file=/no/such/panel.pnl name=Panel"), S_OK);
    EXPECT_EQ(ErrorCode(), S_OK);
    EXPECT_EQ(SysStringLen(worker->Code), 0u);
    EXPECT_EQ(Engine()->testId, u"Panel");
}

TEST_F(WorkerTest, CodeFileIsDecodedWhole) {
    // A two-byte character across the 1000-byte mark, and more text after it.
    std::string code = "var text = '" + std::string(987, 'a') + "\xC3\xA9" + std::string(1500, 'b') + "';";
    ASSERT_EQ(code.substr(999, 2), "\xC3\xA9");
    std::string file = WriteFile("Test/long.ts", code);
    ASSERT_EQ(SetTest(*worker, u"JScript", u"ignored", u"file=" + vr::FromUtf8(file)), S_OK);
    EXPECT_EQ(vr::BstrView(worker->Code), vr::FromUtf8(code));
    EXPECT_EQ(RunRequest(u""), u"");
    EXPECT_EQ(RunRequest(u"_evaluate", u"text.length"), u"2488");
}

TEST_F(WorkerTest, RequestsForMissingMethodsTextAndExpressions) {
    ASSERT_EQ(SetTest(*worker, u"JScript", u"var base = 40;", u"", u"function Add(){ return base + 2; }"),
              S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    EXPECT_EQ(RunRequest(u"NotThere"), u"");
    EXPECT_EQ(ErrorCode(), S_OK);
    EXPECT_EQ(RunRequest(u"add"), u""); // script names are case-sensitive
    EXPECT_EQ(RunRequest(u"Add"), u"42");
    EXPECT_EQ(RunRequest(u"_execute"), u"");
    EXPECT_EQ(RunRequest(u"_EXECUTE", u"base = 1;", u"base * 3"), u"3");
    EXPECT_EQ(RunRequest(u"_evaluate", u"'x' + base"), u"x1");
    EXPECT_EQ(ErrorCode(), S_OK);
}

TEST_F(WorkerTest, ScriptFailuresReachTheCallerAndResetEndsNothingThen) {
    ASSERT_EQ(SetTest(*worker, u"JScript",
                      u"function Test() {\n  return missing.value;\n}\nfunction Reset() { throw 1; }", u""),
              S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    EXPECT_EQ(RunRequest(u"Test"), u"");
    EXPECT_LT(ErrorCode(), 0);
    EXPECT_NE(ErrorText().find(u"Line: 2,"), std::u16string::npos) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(RunRequest(u"Reset"), u"");
    EXPECT_LT(ErrorCode(), 0);
    EXPECT_EQ(Engine()->endExecutions, 0);

    // A load that fails reports it too.
    ASSERT_EQ(SetTest(*worker, u"JScript", u"function Broken( {", u""), S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    EXPECT_LT(ErrorCode(), 0);
}

TEST_F(WorkerTest, StopEndsAScriptThatNeverPumpsButContinueDoesNot) {
    ASSERT_EQ(SetTest(*worker, u"JScript",
                      u"function Spin() { for (;;) {} }\n"
                      u"function Wait() { for (var i = 0; i < 10; i++) { Delay(20); } return 'done'; }",
                      u""),
              S_OK);
    EXPECT_EQ(RunRequest(u""), u"");

    worker->Request(B(u"Wait"), B(u""), B(u""));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    StopWith(*worker, u"continue");
    Wait();
    BSTR result = nullptr;
    worker->GetResult(&result);
    EXPECT_EQ(TakeText(result), u"done");
    EXPECT_EQ(ErrorCode(), S_OK);

    auto start = std::chrono::steady_clock::now();
    worker->Request(B(u"Spin"), B(u""), B(u""));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // One request at a time: a second one is refused and leaves the first's wait and result alone.
    EXPECT_FALSE(worker->Request(B(u"Wait"), B(u""), B(u"")));
    StopWith(*worker, u"");
    Wait();
    EXPECT_LT(ErrorCode(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // The first "continue" is Set's: the new test starts without an interruption left from before.
    std::vector<std::u16string> expected = {u"continue", u"continue", u""};
    EXPECT_EQ(Engine()->stops, expected);
}

TEST_F(WorkerTest, AddScriptNowAddsOnTheCallingThread) {
    ASSERT_EQ(SetTest(*worker, u"JScript", u"var a = 2;", u""), S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    worker->AddScriptNow(B(u"function Twice() { return a * 2; }"));
    EXPECT_EQ(worker->GetState(), CTestExecutive::kDone);
    EXPECT_EQ(ErrorCode(), S_OK);
    EXPECT_EQ(RunRequest(u"Twice"), u"4");

    worker->AddScriptNow(B(u"function ( {"));
    EXPECT_LT(ErrorCode(), 0);
    EXPECT_FALSE(ErrorText().empty());
}

// The control-panel program stand-in sits beside the test program; its exit code is the panel file's number.
class ControlPanelTest : public WorkerTest {
protected:
    std::u16string RunPanel(const std::string& content) {
        std::string panel = WriteFile("Panels/my panel " + content + ".pnl", content);
        EXPECT_EQ(SetTest(*worker, u"ControlPanel", u"", u"file='" + vr::FromUtf8(panel) + u"'"), S_OK);
        EXPECT_EQ(RunRequest(u""), u"");
        return RunRequest(u"Test");
    }
};

TEST_F(ControlPanelTest, ExitCodeOneIsTheOnlyPass) {
    EXPECT_EQ(RunPanel("1"), u"true");
    EXPECT_EQ(RunPanel("0"), u"false");
    EXPECT_EQ(RunPanel("7"), u"false");
    EXPECT_EQ(ErrorCode(), S_OK);
    EXPECT_EQ(RunRequest(u"Preset"), u""); // other requests of a panel do nothing
}

// The control-panel program cannot be started (this test program, copied to a folder without the stand-in,
// runs the case there): the panel does not pass, and the worker goes on.
TEST_F(ControlPanelTest, AProgramThatCannotBeStartedDoesNotPass) {
    std::string copy = vrtest::MakeFreshFolder("no-panel-program") + "/common_worker_tests";
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe"), copy);
    auto [code, output] = vrtest::RunShellCapturing(
        vrtest::ShellQuoted(copy) +
        " --gtest_filter=ControlPanelTest.DISABLED_WithoutItsProgramAPanelDoesNotPass"
        " --gtest_also_run_disabled_tests");
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

TEST_F(ControlPanelTest, DISABLED_WithoutItsProgramAPanelDoesNotPass) {
    ASSERT_FALSE(std::filesystem::exists(vr::ProgramFolder() + "/panolix"));
    EXPECT_EQ(RunPanel("1"), u"false"); // the stand-in would have passed it
    EXPECT_EQ(ErrorCode(), S_OK);
    EXPECT_EQ(RunRequest(u"Preset"), u"");
}

// A batch panel whose loop never ends is ended by the operator's Stop, and the test does not pass.
TEST_F(ControlPanelTest, StopEndsAPanelThatNeverEnds) {
    std::string panel = WriteFile("Panels/endless.pnl", "-1");
    ASSERT_EQ(SetTest(*worker, u"ControlPanel", u"", u"file='" + vr::FromUtf8(panel) + u"'"), S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    worker->Request(B(u"Test"), B(u""), B(u""));
    for (int look = 0; look < 1000 && !std::filesystem::exists(panel + ".running"); ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopWith(*worker, u"");
    Wait();
    BSTR result = nullptr;
    worker->GetResult(&result);
    EXPECT_EQ(TakeText(result), u"false");
}

// A worker whose engine cannot be made: the constructor returns, and the object says why.
TEST(WorkerStartupTest, MissingEngineLeavesAnUnusableWorkerThatSaysSo) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, (u"CLSID\\" + vr::GuidToString(CLSID_TestEngine)).c_str());
    {
        CTestExecutive worker;
        EXPECT_FALSE(worker.EngineProxy);
        EXPECT_EQ(worker.GetState(), CTestExecutive::kDone);
        BSTR text = nullptr;
        HRESULT hr = S_OK;
        worker.GetError(&text, &hr);
        EXPECT_LT(hr, 0);
        EXPECT_NE(TakeText(text).find(u"Couldn't create the Test Engine."), std::u16string::npos);

        worker.Request(B(u""), B(u""), B(u""));
        EXPECT_EQ(worker.GetState(), CTestExecutive::kDone);
        worker.GetError(&text, &hr);
        EXPECT_LT(hr, 0);
        SysFreeString(text);
        LONG status = 0;
        EXPECT_FALSE(worker.GetOutput(&status, &text));
        StopWith(worker, u"");
    }
    CoUninitialize();
}

// Destroying the worker while its script never returns: the script is interrupted and the thread ends.
TEST_F(WorkerTest, DestructionEndsAScriptThatNeverReturns) {
    ASSERT_EQ(SetTest(*worker, u"JScript", u"function Spin() { for (;;) {} }", u""), S_OK);
    EXPECT_EQ(RunRequest(u""), u"");
    worker->Request(B(u"Spin"), B(u""), B(u""));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
}

} // namespace
} // namespace workertest
