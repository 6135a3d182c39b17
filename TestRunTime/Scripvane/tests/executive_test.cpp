// The script executive on real JScript scripts: loading, methods, expressions, globals, script errors,
// the use before Init, and languages kept or reloaded.
#include "executive_fixture.h"

#include "platform/registry/registry.h"
#include "platform/scripting/activscp.h"

#include <thread>

namespace scripvanetest {
namespace {

constexpr std::u16string_view kScript = u"var counter = 7;\n"
                                        u"function Preset() { counter = 1; }\n"
                                        u"function Test() { OutputLn('measured', 1); return counter * 6; }\n";

TEST_F(ExecutiveTest, CannotBeCreatedWithoutTheHardwareManager) {
    hardware.reset();
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, (u"CLSID\\" + vr::GuidToString(CLSID_VrRigmont)).c_str());
    vr::ComPtr<IScrivon> orphan;
    EXPECT_EQ(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_INPROC_SERVER,
                               vr::uuidof<IScrivon>(), orphan.PutVoid()),
              E_FAIL);
    EXPECT_FALSE(orphan);
    EXPECT_EQ(TakeErrorDescription(), u"Couldn't instantiate the Hardware Manager.");
}

TEST_F(ExecutiveTest, UnusableBeforeInitAndLoadFailsClearly) {
    Value result;
    VARIANT_BOOL available = VARIANT_TRUE;
    EXPECT_EQ(executive->Execute(Bstr(u"Test"), &result.v), E_FAIL);
    EXPECT_EQ(TakeErrorDescription(), u"The Script Engine isn't initialized.");
    EXPECT_EQ(executive->Evaluate(Bstr(u"1"), &result.v), E_FAIL);
    EXPECT_EQ(executive->IsMethodAvailable(Bstr(u"Test"), &available), E_FAIL);
    EXPECT_EQ(available, VARIANT_FALSE);
    EXPECT_EQ(executive->GetProperty(Bstr(u"x"), &result.v), E_FAIL);
    EXPECT_EQ(executive->IsMethodAvailable(Bstr(u"Test"), nullptr), E_POINTER);

    EXPECT_EQ(executive->AddScript(Bstr(u"var a = 1;")), E_FAIL);
    EXPECT_EQ(TakeErrorDescription(), u"The Script Language isn't provided.");

    // Loading a language calls the test engine, which only Init supplies.
    EXPECT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), E_FAIL);
    EXPECT_EQ(TakeErrorDescription(), u"Couldn't find TestEngine Object.");
    EXPECT_EQ(executive->ClearScript(), E_FAIL);
    EXPECT_EQ(executive->ClearAll(), E_FAIL);

    EXPECT_EQ(executive->Init(nullptr), E_FAIL);
    EXPECT_EQ(TakeErrorDescription(), u"Wrong TestEngine object.");
    EXPECT_EQ(executive->Init(executive.Get()), E_FAIL);
}

TEST_F(ExecutiveTest, RunsMethodsExpressionsAndGlobals) {
    Load(kScript);
    EXPECT_EQ(engine->initExecutions, 1);
    EXPECT_TRUE(Available(u"Test"));
    EXPECT_TRUE(Available(u"counter"));
    EXPECT_FALSE(Available(u"Reset"));

    Value result;
    EXPECT_EQ(Run(u"Preset"), S_OK);
    EXPECT_EQ(Run(u"Test", &result), S_OK);
    EXPECT_EQ(result.Text(), u"6");
    ASSERT_EQ(engine->output.size(), 1u);
    EXPECT_EQ(engine->output.front().second, u"measured\n");
    EXPECT_EQ(engine->output.front().first, 1);

    Value sum;
    EXPECT_EQ(Eval(u"counter + 0.5", &sum), S_OK);
    EXPECT_EQ(sum.Text(), u"1.5");
    Value global;
    EXPECT_EQ(executive->GetProperty(Bstr(u"counter"), &global.v), S_OK);
    EXPECT_EQ(global.Text(), u"1");
    Value nothing;
    EXPECT_EQ(executive->GetProperty(Bstr(u""), &nothing.v), S_OK);
    EXPECT_EQ(nothing.v.vt, VT_EMPTY);
    Value missing;
    EXPECT_TRUE(FAILED(executive->GetProperty(Bstr(u"noSuchGlobal"), &missing.v)));
    EXPECT_EQ(TakeErrorDescription(), u"Couldn't get 'noSuchGlobal' property of 'JScript' Script Engine.");

    // An empty name connects the script and calls nothing.
    EXPECT_EQ(Run(u""), S_OK);
    EXPECT_EQ(engine->output.size(), 1u);
    vr::ComPtr<IUnknown> scriptEngine;
    ASSERT_EQ(executive->get_ScriptEngine(scriptEngine.Put()), S_OK);
    vr::ComPtr<IActiveScript> active;
    ASSERT_EQ(scriptEngine.As(&active), S_OK);
    SCRIPTSTATE state = SCRIPTSTATE_UNINITIALIZED;
    EXPECT_EQ(active->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_CONNECTED);
}

TEST_F(ExecutiveTest, ScriptErrorsCarryTheirLineAndCode) {
    Load(u"function Test() {\n"
         u"  var x = 1;\n"
         u"  return notDefined + x;\n"
         u"}\n"
         u"function Fail() { throw new Error('boom'); }\n");
    Value result;
    HRESULT hr = Run(u"Test", &result);
    EXPECT_EQ(hr, JSERR_UNDEFINED);
    std::u16string text = TakeErrorDescription();
    EXPECT_NE(text.find(u"Line: 3,"), std::u16string::npos) << vr::ToUtf8(text);
    EXPECT_NE(text.find(u"Script: '  return notDefined + x;'."), std::u16string::npos) << vr::ToUtf8(text);
    EXPECT_NE(text.find(u"Code: 800A1391;"), std::u16string::npos) << vr::ToUtf8(text);

    EXPECT_TRUE(FAILED(Run(u"Fail")));
    EXPECT_NE(TakeErrorDescription().find(u"boom"), std::u16string::npos);

    // The recorded code is cleared by the next call.
    Value two;
    EXPECT_EQ(Eval(u"1 + 1", &two), S_OK);
    EXPECT_EQ(two.Text(), u"2");

    Value bad;
    EXPECT_TRUE(FAILED(Eval(u"1 +* 2", &bad)));
    EXPECT_NE(TakeErrorDescription().find(u"Line: 1,"), std::u16string::npos);

    EXPECT_TRUE(FAILED(executive->AddScript(Bstr(u"function Broken( {"))));
    EXPECT_NE(TakeErrorDescription().find(u"Script: 'function Broken( {'."), std::u16string::npos);
}

TEST_F(ExecutiveTest, UnknownMethodFailsWithItsName) {
    Load(kScript);
    EXPECT_TRUE(FAILED(Run(u"Reset")));
    EXPECT_EQ(TakeErrorDescription(), u"Error during execution of 'Reset' method of 'JScript' Script.");
}

TEST_F(ExecutiveTest, SameLanguageKeepsTheCodeAndClearAllLoadsAFreshEngine) {
    Load(kScript);
    vr::ComPtr<IUnknown> first;
    ASSERT_EQ(executive->get_ScriptEngine(first.Put()), S_OK);
    EXPECT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), S_OK);
    vr::ComPtr<IUnknown> same;
    ASSERT_EQ(executive->get_ScriptEngine(same.Put()), S_OK);
    EXPECT_EQ(first.Get(), same.Get());
    EXPECT_TRUE(Available(u"Test"));
    EXPECT_EQ(engine->initExecutions, 1);

    EXPECT_EQ(executive->ClearAll(), S_OK);
    BSTR language = nullptr;
    EXPECT_EQ(executive->get_ScriptLanguage(&language), S_OK);
    EXPECT_EQ(SysStringLen(language), 0u);
    SysFreeString(language);
    vr::ComPtr<IUnknown> none;
    EXPECT_EQ(executive->get_ScriptEngine(none.Put()), S_OK);
    EXPECT_FALSE(none);

    EXPECT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), S_OK);
    EXPECT_FALSE(Available(u"Test"));
    EXPECT_EQ(engine->initExecutions, 3); // ClearAll's ClearScript and the new load
}

TEST_F(ExecutiveTest, CloseDropsTheEngineAndAddScriptLoadsItAgain) {
    Load(kScript);
    EXPECT_EQ(executive->Close(), S_OK);
    Value result;
    EXPECT_EQ(Run(u"Test", &result), E_FAIL);
    EXPECT_EQ(executive->AddScript(Bstr(u"function Other() { return 'again'; }")), S_OK);
    EXPECT_FALSE(Available(u"Test"));
    EXPECT_EQ(Run(u"Other", &result), S_OK);
    EXPECT_EQ(result.Text(), u"again");
}

TEST_F(ExecutiveTest, UnknownLanguageFailsToLoad) {
    ASSERT_EQ(executive->Init(static_cast<IVrTestEngine*>(engine.Get())), S_OK);
    EXPECT_TRUE(FAILED(executive->put_ScriptLanguage(Bstr(u"NoSuchScript"))));
    EXPECT_EQ(TakeErrorDescription(), u"Couldn't create an instance of the 'NoSuchScript' Script Engine.");
}

TEST_F(ExecutiveTest, FailingInitExecutionFailsTheLoad) {
    FakeTestEngine::failInit = true;
    ASSERT_EQ(executive->Init(static_cast<IVrTestEngine*>(engine.Get())), S_OK);
    EXPECT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), E_FAIL);
    FakeTestEngine::failInit = false;
}

// The site answers "Scripter" and "engine" in any letter case, though only "engine" is a script item.
TEST_F(ExecutiveTest, SiteAnswersScripterAndEngine) {
    Load(u"var a = 1;");
    vr::ComPtr<IUnknown> unknown;
    ASSERT_EQ(executive->get_ScriptEngine(unknown.Put()), S_OK);
    vr::ComPtr<IActiveScript> active;
    ASSERT_EQ(unknown.As(&active), S_OK);
    vr::ComPtr<IActiveScriptSite> site;
    ASSERT_EQ(active->GetScriptSite(vr::uuidof<IActiveScriptSite>(), site.PutVoid()), S_OK);

    vr::ComPtr<IUnknown> item;
    vr::ComPtr<ITypeInfo> info;
    ASSERT_EQ(
        site->GetItemInfo(u"SCRIPTER", SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO, item.Put(), info.Put()),
        S_OK);
    vr::ComPtr<IScrivon> scripter;
    ASSERT_EQ(item.As(&scripter), S_OK);
    EXPECT_EQ(scripter.Get(), executive.Get());
    EXPECT_TRUE(info);

    ASSERT_EQ(site->GetItemInfo(u"Engine", SCRIPTINFO_IUNKNOWN, item.Put(), nullptr), S_OK);
    vr::ComPtr<IVrTestEngine> testEngine;
    ASSERT_EQ(item.As(&testEngine), S_OK);
    EXPECT_EQ(testEngine.Get(), static_cast<IVrTestEngine*>(engine.Get()));

    EXPECT_EQ(site->GetItemInfo(u"Nobody", SCRIPTINFO_IUNKNOWN, item.Put(), nullptr), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_FALSE(item);
    EXPECT_EQ(site->GetItemInfo(u"engine", SCRIPTINFO_IUNKNOWN, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(site->GetItemInfo(u"engine", SCRIPTINFO_ITYPEINFO, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(ExecutiveTest, InterruptFromAnotherThreadEndsAnEndlessLoop) {
    Load(u"function Test() { for (;;) {} }");
    vr::ComPtr<IUnknown> unknown;
    ASSERT_EQ(executive->get_ScriptEngine(unknown.Put()), S_OK);
    vr::ComPtr<IActiveScript> active;
    ASSERT_EQ(unknown.As(&active), S_OK);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        (void)active->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
    });
    EXPECT_TRUE(FAILED(Run(u"Test")));
    stopper.join();
}

} // namespace
} // namespace scripvanetest
