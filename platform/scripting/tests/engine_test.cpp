// The engine through its interfaces: values of expressions, the script's dispatch, named items, states.
#include "script_fixture.h"
#include "vrtestserver.h"

namespace scripttest {
namespace {

TEST_F(ScriptTest, ExpressionsGiveAutomationValues) {
    Value number;
    ASSERT_EQ(Eval(u"1 + 2", number), S_OK);
    EXPECT_EQ(number.v.vt, VT_I4);
    EXPECT_EQ(number.v.lVal, 3);

    Value fraction;
    ASSERT_EQ(Eval(u"7 / 2", fraction), S_OK);
    EXPECT_EQ(fraction.v.vt, VT_R8);
    EXPECT_DOUBLE_EQ(fraction.v.dblVal, 3.5);

    Value large; // beyond 32 bits stays a double
    ASSERT_EQ(Eval(u"4294967296", large), S_OK);
    EXPECT_EQ(large.v.vt, VT_R8);

    Value flag;
    ASSERT_EQ(Eval(u"1 < 2", flag), S_OK);
    EXPECT_EQ(flag.v.vt, VT_BOOL);
    EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE);

    Value nothing;
    ASSERT_EQ(Eval(u"undefined", nothing), S_OK);
    EXPECT_EQ(nothing.v.vt, VT_EMPTY);
    Value null;
    ASSERT_EQ(Eval(u"null", null), S_OK);
    EXPECT_EQ(null.v.vt, VT_NULL);
}

TEST_F(ScriptTest, TextKeepsUtf16UnitsBothWays) {
    EXPECT_EQ(EvalText(u"'gr\u00fc\u00df' + '\u20ac'"), u"gr\u00fc\u00df\u20ac");
    // A character outside the BMP is two units in scripts as in BSTRs.
    EXPECT_EQ(EvalText(u"'\U0001F600'.length"), u"2");
    EXPECT_EQ(EvalText(u"'\U0001F600'"), u"\U0001F600");
    EXPECT_EQ(EvalText(u"'\\uD83D\\uDE00' === '\U0001F600'"), u"-1");
}

TEST_F(ScriptTest, CodeOfEarlierTextsStaysVisibleToLaterOnes) {
    ASSERT_EQ(Run(u"var counter = 40;\nfunction Bump(by) { counter += by; return counter; }"), S_OK);
    ASSERT_EQ(Run(u"Bump(1);"), S_OK);
    EXPECT_EQ(EvalText(u"Bump(1)"), u"42");
}

TEST_F(ScriptTest, ScriptDispatchCallsFunctionsAndReadsAndWritesGlobals) {
    ASSERT_EQ(Run(u"var greeting = 'hi';\nfunction Test(a, b) { return greeting + ':' + (a + b); }"), S_OK);
    ComPtr<IDispatch> script = ScriptDispatch();

    Value called;
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = b.vt = VT_I4;
    a.lVal = 2;
    b.lVal = 3;
    ASSERT_EQ(CallByName(script.Get(), u"Test", DISPATCH_METHOD, {a, b}, &called.v), S_OK);
    EXPECT_EQ(called.Text(), u"hi:5");

    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = vr::AllocBstr(u"ho");
    Value ignored;
    ASSERT_EQ(CallByName(script.Get(), u"greeting", DISPATCH_PROPERTYPUT, {text}, &ignored.v), S_OK);
    SysFreeString(text.bstrVal);
    Value read;
    ASSERT_EQ(CallByName(script.Get(), u"greeting", DISPATCH_PROPERTYGET, {}, &read.v), S_OK);
    EXPECT_EQ(read.Text(), u"ho");
}

TEST_F(ScriptTest, ScriptDispatchKnowsOnlyDefinedNamesCaseSensitively) {
    ASSERT_EQ(Run(u"function Test() {}"), S_OK);
    ComPtr<IDispatch> script = ScriptDispatch();
    std::u16string names[] = {u"Test", u"test", u"Reset"};
    DISPID ids[3] = {};
    for (int i = 0; i < 3; ++i) {
        LPOLESTR name = names[i].data();
        HRESULT hr = script->GetIDsOfNames(IID_NULL, &name, 1, 0x400, &ids[i]);
        EXPECT_EQ(hr, i == 0 ? S_OK : DISP_E_UNKNOWNNAME) << i;
    }
    EXPECT_NE(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    // A function added by a later text is found through the same dispatch.
    ASSERT_EQ(Run(u"function Reset() { return 7; }"), S_OK);
    Value result;
    EXPECT_EQ(CallByName(script.Get(), u"Reset", DISPATCH_METHOD, {}, &result.v), S_OK);
    EXPECT_EQ(result.v.lVal, 7);
}

TEST_F(ScriptTest, VisibleItemIsCreatedThroughTheSiteOnFirstUseOnly) {
    auto host = Make<TestHost>();
    AddItem(u"box", static_cast<IDispatch*>(host.Get()));
    ASSERT_EQ(Run(u"var unused = 1;"), S_OK);
    EXPECT_EQ(site->itemRequests[u"box"], 0);
    ASSERT_EQ(Run(u"box.Name = 'a'; box.Name += 'b';"), S_OK);
    EXPECT_EQ(EvalText(u"box.Name"), u"ab");
    EXPECT_EQ(site->itemRequests[u"box"], 1);
    EXPECT_EQ(EvalText(u"box === box"), u"-1");
}

TEST_F(ScriptTest, ItemWithoutVisibleFlagIsNoScriptName) {
    auto host = Make<TestHost>();
    AddItem(u"hidden", static_cast<IDispatch*>(host.Get()), 0);
    EXPECT_EQ(EvalText(u"typeof hidden"), u"undefined");
}

TEST_F(ScriptTest, GlobalMembersItemLendsItsMembersToGlobalCode) {
    ComPtr<IDispatch> server;
    ASSERT_EQ(CoCreateInstance(CLSID_VrTestServer, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IDispatch>(),
                               server.PutVoid()),
              S_OK);
    AddItem(u"engine", server.Get(), SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    ASSERT_EQ(Run(u"Name = 'Ann';\nvar sum = Add(2, 3);"), S_OK);
    EXPECT_EQ(EvalText(u"sum"), u"5");
    EXPECT_EQ(EvalText(u"engine.Name"), u"Ann");
    EXPECT_EQ(EvalText(u"Greet(Name)"), u"Hello, Ann");
    // A script's own global of the same name wins over the member.
    ASSERT_EQ(Run(u"function Add(a, b) { return 'own'; }"), S_OK);
    EXPECT_EQ(EvalText(u"Add(1, 1)"), u"own");
}

TEST_F(ScriptTest, ItemTheSiteCannotGiveFailsWithTheSitesCode) {
    site->failingItems[u"meter"] = TYPE_E_ELEMENTNOTFOUND;
    ASSERT_EQ(engine->AddNamedItem(u"meter", SCRIPTITEM_ISVISIBLE), S_OK);
    EXPECT_EQ(Run(u"var a = 1;\nmeter.Read();"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(site->errors[0].description, u""); // the site has told why
    EXPECT_EQ(site->errors[0].line, 2u);
}

TEST_F(ScriptTest, StatesAreReportedAndClosedEngineRefusesWork) {
    ASSERT_EQ(engine->SetScriptState(SCRIPTSTATE_CONNECTED), S_OK);
    SCRIPTSTATE state{};
    ASSERT_EQ(engine->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_CONNECTED);
    ASSERT_EQ(engine->Close(), S_OK);
    ASSERT_EQ(engine->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_CLOSED);
    ASSERT_GE(site->states.size(), 3u);
    EXPECT_EQ(site->states.front(), SCRIPTSTATE_INITIALIZED);
    EXPECT_EQ(site->states.back(), SCRIPTSTATE_CLOSED);
    EXPECT_EQ(Run(u"1"), E_UNEXPECTED);
    ComPtr<IDispatch> script;
    EXPECT_EQ(engine->GetScriptDispatch(nullptr, script.Put()), E_UNEXPECTED);
}

TEST_F(ScriptTest, ScriptObjectHeldOutsideIsDisconnectedWhenTheEngineCloses) {
    ASSERT_EQ(Run(u"var list = [1, 2];"), S_OK);
    Value list;
    ASSERT_EQ(CallByName(ScriptDispatch().Get(), u"list", DISPATCH_PROPERTYGET, {}, &list.v), S_OK);
    ASSERT_EQ(list.v.vt, VT_DISPATCH);
    Value length;
    ASSERT_EQ(CallByName(list.v.pdispVal, u"length", DISPATCH_PROPERTYGET, {}, &length.v), S_OK);
    EXPECT_EQ(length.v.lVal, 2);
    ASSERT_EQ(engine->Close(), S_OK);
    Value after;
    EXPECT_EQ(CallByName(list.v.pdispVal, u"length", DISPATCH_PROPERTYGET, {}, &after.v), RPC_E_DISCONNECTED);
}

TEST_F(ScriptTest, ClosingReleasesHostObjectsThatHoldScriptObjects) {
    auto host = Make<TestHost>();
    AddItem(u"host", static_cast<IDispatch*>(host.Get()));
    // host -> script function -> heap -> host: closing the engine breaks the cycle.
    ASSERT_EQ(Run(u"host.Kept = function () { return host; };"), S_OK);
    site->items.clear();
    ASSERT_EQ(engine->Close(), S_OK);
    EXPECT_EQ(host->AddRef(), 2u); // only this test's reference is left (plus the one just taken)
    host->Release();
}

TEST_F(ScriptTest, EachRunIsBracketedByEnterAndLeave) {
    ASSERT_EQ(Run(u"function f() { return 1; }\nf();"), S_OK);
    Value ignored;
    ASSERT_EQ(CallByName(ScriptDispatch().Get(), u"f", DISPATCH_METHOD, {}, &ignored.v), S_OK);
    EXPECT_EQ(site->enters, site->leaves);
    EXPECT_GE(site->enters, 2);
}

} // namespace
} // namespace scripttest
