// Script errors as the site receives them, and scripts stopped from another thread.
#include "platform/base/text.h"
#include "platform/com/errorinfo.h"
#include "script_fixture.h"

#include <chrono>
#include <malloc.h>
#include <thread>

namespace scripttest {
namespace {

TEST_F(ScriptTest, SyntaxErrorCarriesLineOfItsOwnTextAndThatLine) {
    ASSERT_EQ(Run(u"var a = 1;\nvar b = 2;"), S_OK);
    EXPECT_EQ(Run(u"var c = 3;\n\n   var = 4;\nvar d;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    const ReportedError& error = site->errors[0];
    EXPECT_EQ(error.scode, JSERR_SYNTAX);
    EXPECT_EQ(error.line, 3u); // counted from the start of this text, not of all texts
    EXPECT_EQ(error.column, 4);
    EXPECT_EQ(error.lineText, u"   var = 4;");
    EXPECT_EQ(error.source, u"JScript compilation error");
    EXPECT_FALSE(error.description.empty());
    // Nothing of the failed text ran.
    EXPECT_EQ(EvalText(u"typeof c"), u"undefined");
}

// A control panel parses its refresh scripts again on every refresh, for a whole shift: the heap keeps no
// text per parse, and an error still shows the line of the text it came from, also of a function defined long
// ago.
TEST_F(ScriptTest, TextsParsedOverAndOverKeepTheirErrorLinesWithoutGrowingTheHeap) {
    ASSERT_EQ(Run(u"function Check(v) {\n  if (v > 3) throw new Error('too high');\n}"), S_OK);
    auto refresh = [&](int n) {
        ASSERT_EQ(Run(u"function Helper() { return 1; }\nvar shown = Helper();"), S_OK);
        std::u16string changing = u"var value" + vr::FromUtf8(std::to_string(n % 1000)) + u" = 2;\nCheck(2);";
        ASSERT_EQ(Run(changing.c_str()), S_OK);
    };
    for (int n = 0; n < 2000; ++n) {
        refresh(n); // warm-up: the heap's own tables reach their size
    }
    size_t before = mallinfo2().uordblks;
    for (int n = 0; n < 20000; ++n) {
        refresh(n);
    }
    size_t after = mallinfo2().uordblks;
    EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) / 20000 << " bytes per refresh";

    EXPECT_EQ(Run(u"var late = 1;\nCheck(5);"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].line, 2u);
    EXPECT_EQ(site->errors[0].lineText, u"  if (v > 3) throw new Error('too high');");
}

TEST_F(ScriptTest, StartingLineNumberShiftsReportedLines) {
    EXPECT_EQ(Run(u"x = 1;\nundefinedName();", 10), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].line, 11u);
    EXPECT_EQ(site->errors[0].lineText, u"undefinedName();");
}

TEST_F(ScriptTest, RuntimeErrorsHaveNegativeCodesAndTheirLines) {
    struct Case {
        const char16_t* code;
        HRESULT scode;
        ULONG line;
        const char16_t* lineText;
    } cases[] = {
        {u"var a;\r\n  missing.x = 1;\r\n", JSERR_UNDEFINED, 2, u"  missing.x = 1;"},
        {u"var o = null;\no.x();", JSERR_OBJECT_EXPECTED, 2, u"o.x();"},
        {u"\n\nthrow new Error('plain');", JSERR_UNCAUGHT_EXCEPTION, 3, u"throw new Error('plain');"},
        {u"throw { number: -2147024809, description: 'custom' };", E_INVALIDARG, 1, nullptr},
    };
    for (const Case& c : cases) {
        site->errors.clear();
        EXPECT_EQ(Run(c.code), SCRIPT_E_REPORTED);
        ASSERT_EQ(site->errors.size(), 1u);
        const ReportedError& error = site->errors[0];
        EXPECT_LT(error.scode, 0);
        EXPECT_EQ(error.scode, c.scode) << vr::ToUtf8(c.code);
        EXPECT_EQ(error.line, c.line) << vr::ToUtf8(c.code);
        if (c.lineText) {
            EXPECT_EQ(error.lineText, c.lineText);
        }
    }
    EXPECT_EQ(site->errors[0].description, u"custom");
}

TEST_F(ScriptTest, ThrownTextIsAnErrorWithNegativeCodeAndItsLine) {
    ASSERT_EQ(Run(u"function Test() {\n  var n = 1;\n  throw 'x';\n}"), S_OK);
    Value result;
    EXCEPINFO excep{};
    EXPECT_EQ(CallByName(ScriptDispatch().Get(), u"Test", DISPATCH_METHOD, {}, &result.v, &excep),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, JSERR_UNCAUGHT_EXCEPTION);
    vr::ClearExcepInfo(&excep);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_UNCAUGHT_EXCEPTION);
    EXPECT_EQ(site->errors[0].description, u"x");
    EXPECT_EQ(site->errors[0].line, 3u);
    EXPECT_EQ(site->errors[0].column, 3);
    EXPECT_EQ(site->errors[0].lineText, u"  throw 'x';");
}

TEST_F(ScriptTest, HostFailureCarriesItsCodeDescriptionAndTheCallersLine) {
    auto host = Make<TestHost>();
    AddItem(u"host", static_cast<IDispatch*>(host.Get()));
    EXPECT_EQ(Run(u"var a = 1;\n\nhost.Fail();"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, TestHost::kFailure);
    EXPECT_EQ(site->errors[0].description, u"boom");
    EXPECT_EQ(site->errors[0].line, 3u);
    // The report names the object that failed, as its exception information did, also after a rethrow.
    EXPECT_EQ(site->errors[0].source, u"Test.Host.1");
    EXPECT_EQ(site->errors[0].helpFile, u"host.chm");
    EXPECT_EQ(site->errors[0].helpContext, 42u);
    EXPECT_EQ(Run(u"try { host.Fail(); } catch (e) { throw e; }"), SCRIPT_E_REPORTED);
    EXPECT_EQ(site->errors.back().source, u"Test.Host.1");
    EXPECT_EQ(Run(u"throw new Error('mine');"), SCRIPT_E_REPORTED);
    EXPECT_EQ(site->errors.back().source, u"JScript runtime error");
    // A script may catch it and read the code the JScript way.
    EXPECT_EQ(
        EvalText(
            u"(function () { try { host.Fail(); } catch (e) { return e.number + ' ' + e.description; } })()"),
        u"-2147220992 boom");
}

TEST_F(ScriptTest, ErrorInsideNestedCallsIsReportedOnceByTheOutermost) {
    auto host = Make<TestHost>();
    AddItem(u"host", static_cast<IDispatch*>(host.Get()));
    // The host calls back into a script function that throws: the error goes back through the host's call.
    EXPECT_EQ(Run(u"host.Kept = function (v) {\n  throw 'inner ' + v;\n};\nhost.CallKept(5);"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].description, u"inner 5");
    EXPECT_EQ(site->errors[0].scode, JSERR_UNCAUGHT_EXCEPTION);
}

// Runs code on this thread while another thread interrupts it after a while.
HRESULT RunInterrupted(IActiveScriptParse* parse, IActiveScript* engine, const char16_t* code) {
    std::thread stopper([engine] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(engine->InterruptScriptThread(SCRIPTTHREADID_BASE, nullptr, 0), S_OK);
    });
    HRESULT hr =
        parse->ParseScriptText(code, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr, nullptr);
    stopper.join();
    return hr;
}

TEST_F(ScriptTest, InterruptFromAnotherThreadEndsAnEndlessLoop) {
    EXPECT_EQ(RunInterrupted(parse.Get(), engine.Get(), u"var i = 0;\nwhile (true) { i++; }"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_INTERRUPTED);
    EXPECT_LT(site->errors[0].scode, 0);
    // The engine works on afterwards.
    EXPECT_EQ(EvalText(u"i > 0"), u"-1");
}

TEST_F(ScriptTest, InterruptIsNotSwallowedByTheScriptsCatch) {
    EXPECT_EQ(
        RunInterrupted(parse.Get(), engine.Get(), u"for (;;) { try { while (true) {} } catch (e) { } }"),
        SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_INTERRUPTED);
}

TEST_F(ScriptTest, InterruptEndsACatastrophicRegularExpression) {
    EXPECT_EQ(RunInterrupted(parse.Get(), engine.Get(),
                             u"var text = new Array(43).join('a') + 'c';\n/(a+)+b/.test(text);"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_INTERRUPTED);
}

TEST_F(ScriptTest, InterruptEndsAScriptFunctionCalledThroughItsDispatch) {
    ASSERT_EQ(Run(u"function Test() { for (;;) {} }"), S_OK);
    ComPtr<IDispatch> script = ScriptDispatch();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0), S_OK);
    });
    Value result;
    EXPECT_EQ(CallByName(script.Get(), u"Test", DISPATCH_METHOD, {}, &result.v), DISP_E_EXCEPTION);
    stopper.join();
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_INTERRUPTED);
}

} // namespace
} // namespace scripttest
