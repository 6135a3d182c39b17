// IDispatch objects in scripts: members, indexed and default members, arrays both ways, ActiveXObject,
// Enumerator and VBArray, script objects handed out and back.
#include "platform/base/text.h"
#include "script_fixture.h"

namespace scripttest {
namespace {

class HostObjectTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        host = Make<TestHost>();
        AddItem(u"host", static_cast<IDispatch*>(host.Get()));
    }
    void TearDown() override {
        (void)VariantClear(&host->kept); // a host that keeps itself would never go
        host = nullptr;
        ScriptTest::TearDown();
    }
    ComPtr<vr::ComObject<TestHost>> host;
};

TEST_F(HostObjectTest, MethodsAndPropertiesByName) {
    EXPECT_EQ(EvalText(u"host.Add(40, 2)"), u"42");
    EXPECT_EQ(EvalText(u"host.add(1, 1)"), u"2"); // the object decides how names compare
    ASSERT_EQ(Run(u"host.Name = 'probe'"), S_OK);
    EXPECT_EQ(host->name, u"probe");
    EXPECT_EQ(EvalText(u"host.Name.toUpperCase()"), u"PROBE");
    EXPECT_EQ(EvalText(u"host.Count"), u"4");
    EXPECT_EQ(EvalText(u"'Add' in host"), u"-1");
    EXPECT_EQ(EvalText(u"'Nothing' in host"), u"0");
    EXPECT_EQ(EvalText(u"typeof host.Nothing"), u"undefined");
}

TEST_F(HostObjectTest, MethodWithoutArgumentsRunsOncePerCall) {
    ASSERT_EQ(Run(u"host.Ping(); var f = host.Ping; f(); f();"), S_OK);
    EXPECT_EQ(host->pings, 3);
}

TEST_F(HostObjectTest, IndexedAndDefaultMembers) {
    ASSERT_EQ(Run(u"host[1] = 'one'; host.Item(2) ; host[3] = 3.5;"), S_OK);
    EXPECT_EQ(EvalText(u"host[1]"), u"one");
    EXPECT_EQ(EvalText(u"host.Item(1)"), u"one");
    EXPECT_EQ(EvalText(u"host(3)"), u"3.5"); // calling the object calls its default member
    EXPECT_EQ(Run(u"host[9] = 1;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, DISP_E_BADINDEX);
}

TEST_F(HostObjectTest, AssigningAnUnknownMemberFails) {
    EXPECT_EQ(Run(u"host.NoSuchThing = 1;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, DISP_E_UNKNOWNNAME);
}

// A misspelled member fails on its line as a write does, while typeof and "in" still answer for it; other
// objects keep the language's own rules.
TEST_F(HostObjectTest, ReadingAnUnknownMemberFailsWhereItStands) {
    EXPECT_EQ(Run(u"var count = host.Count;\nvar volts = host.Vlot;\ncount = 0;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(site->errors[0].description, u"Object doesn't support this property or method");
    EXPECT_EQ(site->errors[0].line, 2u);
    EXPECT_EQ(EvalText(u"count"), u"4") << "the line before ran, the one after did not";
    EXPECT_EQ(EvalText(u"typeof host.Vlot + typeof host['Vlot'] + ('Vlot' in host)"),
              u"undefinedundefinedfalse");
    EXPECT_EQ(EvalText(u"typeof host.Count + ' ' + typeof host.Add + ' ' + typeof host[1]"),
              u"number function undefined");
    EXPECT_EQ(EvalText(u"typeof ({}).x + typeof 'abc'.length + typeof [].push"), u"undefinednumberfunction");
    EXPECT_EQ(Run(u"var none;\ntypeof none.x;"), SCRIPT_E_REPORTED);
    EXPECT_EQ(site->errors.back().scode, JSERR_OBJECT_EXPECTED)
        << "typeof of a member of nothing still fails";
}

TEST_F(HostObjectTest, ScriptArrayReachesTheHostWithInheritedMembers) {
    ASSERT_EQ(Run(u"var list = [1, 2, 3];\nvar total = host.Sum(list);"), S_OK)
        << (site->errors.empty() ? "" : vr::ToUtf8(site->errors[0].description));
    EXPECT_EQ(EvalText(u"total"), u"6");
    // The host pushed 99 and shifted the first element away through the array's own methods.
    EXPECT_EQ(EvalText(u"list.join(',')"), u"2,3,99")
        << (site->errors.empty() ? "" : vr::ToUtf8(site->errors.back().description));
}

TEST_F(HostObjectTest, HostArraysAreReadThroughVBArray) {
    EXPECT_EQ(EvalText(u"new VBArray(host.Numbers).toArray().join(',')"), u"10,20,30");
    EXPECT_EQ(
        EvalText(u"var v = new VBArray(host.Numbers); v.lbound() + ':' + v.ubound(1) + ':' + v.dimensions()"),
        u"1:3:1");
    EXPECT_EQ(EvalText(u"new VBArray(host.Numbers).getItem(2)"), u"20");
    EXPECT_EQ(EvalText(u"var g = new VBArray(host.Grid); g.dimensions() + ':' + g.getItem(1, 2)"), u"2:12");
    EXPECT_EQ(EvalText(u"new VBArray(host.Grid).toArray().length"), u"6");
    EXPECT_EQ(Run(u"new VBArray([1, 2]);"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_VBARRAY_EXPECTED);
}

TEST_F(HostObjectTest, HostArrayGoesBackToTheHostAsAnArray) {
    ASSERT_EQ(Run(u"host.Kept = host.Numbers;"), S_OK);
    ASSERT_EQ(host->kept.vt, VT_ARRAY | VT_I4);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(host->kept.parray, 1, &upper), S_OK);
    EXPECT_EQ(upper, 3);
}

TEST_F(HostObjectTest, EnumeratorWalksCollectionsAndScriptArrays) {
    ASSERT_EQ(Run(u"host[0] = 'a'; host[1] = 'b'; host[2] = 'c'; host[3] = 'd';"), S_OK);
    EXPECT_EQ(
        EvalText(
            u"var s = ''; for (var e = new Enumerator(host); !e.atEnd(); e.moveNext()) { s += e.item(); } s"),
        u"abcd");
    EXPECT_EQ(EvalText(u"var e = new Enumerator(host); e.moveNext(); e.moveNext(); e.moveFirst(); e.item()"),
              u"a");
    EXPECT_EQ(EvalText(u"var e = new Enumerator([5, 6]); e.moveNext(); e.item() + ':' + e.atEnd()"),
              u"6:false");
    EXPECT_EQ(Run(u"new Enumerator(42);"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_NOT_A_COLLECTION);
}

TEST_F(HostObjectTest, ObjectsKeepTheirIdentityAcrossTheBoundary) {
    ASSERT_EQ(Run(u"var mine = { tag: 't' };\nhost.Kept = mine;"), S_OK);
    EXPECT_EQ(host->kept.vt, VT_DISPATCH);
    EXPECT_EQ(EvalText(u"host.Kept === mine"), u"-1");
    ASSERT_EQ(Run(u"host.Kept = host;"), S_OK);
    ASSERT_EQ(host->kept.vt, VT_DISPATCH);
    EXPECT_EQ(host->kept.pdispVal, static_cast<IDispatch*>(host.Get()));
}

TEST_F(HostObjectTest, HostCallsBackIntoScriptFunctions) {
    ASSERT_EQ(Run(u"var seen = [];\nhost.Kept = function (a, b) { seen.push(a, b); return a * b; };"), S_OK);
    EXPECT_EQ(EvalText(u"host.CallKept(6, 7)"), u"42");
    EXPECT_EQ(EvalText(u"seen.join(',')"), u"6,7");
}

TEST_F(HostObjectTest, DatesCrossAsAutomationDates) {
    ASSERT_EQ(Run(u"host.Kept = new Date(Date.UTC(2000, 0, 1, 12, 0, 0));"), S_OK);
    ASSERT_EQ(host->kept.vt, VT_DATE);
    EXPECT_DOUBLE_EQ(host->kept.date, 36526.5);
    EXPECT_EQ(EvalText(u"host.Kept.getUTCHours()"), u"12");
}

TEST_F(HostObjectTest, AssignmentsToMemberCallsPutWithTheirArguments) {
    ASSERT_EQ(Run(u"host.Item(2) = 'two';\n"
                  u"var value = (host.Item(1) = 5);\n"
                  u"host.Item(1) += 2;\n"
                  u"function inFunction(i) { host.item(i) = 'f' + i; }\n"
                  u"inFunction(0);\n"
                  u"var key = 'Item'; host[key](3) = 'keyed';"),
              S_OK)
        << (site->errors.empty() ? "" : vr::ToUtf8(site->errors[0].description));
    EXPECT_EQ(EvalText(u"host.Item(2) + ',' + value + ',' + host.Item(1) + ',' + host(0) + ',' + host(3)"),
              u"two,5,7,f0,keyed");
    // The member is not read before the put: a failing put is the script's error, at its own line.
    EXPECT_EQ(Run(u"var n = 1;\n\nhost.Item(9) = n;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, DISP_E_BADINDEX);
    EXPECT_EQ(site->errors[0].line, 3u);
}

TEST_F(HostObjectTest, AssignmentsToScriptFunctionCallsStayInvalid) {
    EXPECT_EQ(Run(u"var calls = 0;\nfunction f(a) { calls += a; }\nf(2) = 1;"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_NE(vr::ToUtf8(site->errors[0].description).find("invalid lvalue"), std::string::npos);
    EXPECT_EQ(site->errors[0].line, 3u);
    EXPECT_EQ(EvalText(u"calls"), u"2"); // the call was made, as the language says
    EXPECT_EQ(EvalText(u"var o = { g: function () { return 4; } }; o.g() == 4 && (o.g() + 1)"), u"5");
}

TEST_F(HostObjectTest, MethodOnlyMembersRunOnceAndNamesAreLookedUpOnce) {
    EXPECT_EQ(EvalText(u"host.Identify()"), u"LOOPBACK");
    EXPECT_EQ(host->identifies, 1);
    int invokes = host->invokes;
    EXPECT_EQ(EvalText(u"host.Identify()"), u"LOOPBACK");
    EXPECT_EQ(host->identifies, 2);
    EXPECT_EQ(host->invokes - invokes, 1); // learnt: no read is tried first
    int lookups = host->lookups;
    invokes = host->invokes;
    EXPECT_EQ(EvalText(u"host.Count + host.Count"), u"8");
    EXPECT_EQ(host->lookups - lookups, 1); // once for both reads
    EXPECT_EQ(host->invokes - invokes, 2); // one Invoke per read
    ASSERT_EQ(Run(u"host.Kept = host;"), S_OK);
    EXPECT_EQ(EvalText(u"host.Kept === host"), u"-1"); // an object that hands back itself stays one object
}

TEST_F(ScriptTest, ActiveXObjectCreatesRegisteredServers) {
    EXPECT_EQ(EvalText(u"var s = new ActiveXObject('Vornic.TestServer'); s.Add(2, 3)"), u"5");
    EXPECT_EQ(EvalText(u"s.Name = 'Bo'; s.Greet(s.Name, 'Dr.', 2)"), u"Hello, Dr. Bo Hello, Dr. Bo");
    EXPECT_EQ(EvalText(u"s.Greet('Al')"), u"Hello, Al"); // optional arguments left out
    EXPECT_EQ(EvalText(u"(function () { try { s.Fail('broken'); } catch (e) { return e.description; } })()"),
              u"broken");
    EXPECT_EQ(Run(u"\nnew ActiveXObject('No.Such.Server');"), SCRIPT_E_REPORTED);
    ASSERT_EQ(site->errors.size(), 1u);
    EXPECT_EQ(site->errors[0].scode, JSERR_CANT_CREATE_OBJECT);
    EXPECT_EQ(site->errors[0].line, 2u);
}

} // namespace
} // namespace scripttest
