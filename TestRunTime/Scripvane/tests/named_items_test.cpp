// The hardware manager's records as script objects: made on first use, kept until ClearAll, records that
// begin with "_" left out, failures that name the record, the language and the line that used it.
#include "executive_fixture.h"

namespace scripvanetest {
namespace {

class NamedItemsTest : public ExecutiveTest {
protected:
    void SetUp() override {
        ExecutiveTest::SetUp();
        std::lock_guard lock(scene.mutex);
        scene.connections = {u"Meter", u"Broken", u""};
        scene.sockets = {u"Dmm", u"_spare"};
        scene.failing = {u"Broken"};
    }
    int Created(const std::u16string& name) {
        std::lock_guard lock(scene.mutex);
        return scene.created[name];
    }
};

TEST_F(NamedItemsTest, RecordsBecomeObjectsMadeOnceOnFirstUse) {
    Load(u"function Test() {\n"
         u"  Meter.WriteString('*IDN?');\n"
         u"  return Meter.ReadString() + '|' + Dmm.QueryString('READ?') + '|' + Dmm.QueryString('X');\n"
         u"}\n");
    EXPECT_EQ(Created(u"Meter"), 0);
    Value result;
    ASSERT_EQ(Run(u"Test", &result), S_OK) << vr::ToUtf8(TakeErrorDescription());
    EXPECT_EQ(result.Text(), u"echo:*IDN?|Dmm:READ?|Dmm:X");
    ASSERT_EQ(Run(u"Test", &result), S_OK);
    EXPECT_EQ(Created(u"Meter"), 1);
    EXPECT_EQ(Created(u"Dmm"), 1);

    // A new engine for the same executive still finds the objects made before.
    EXPECT_EQ(executive->ClearScript(), S_OK);
    EXPECT_EQ(executive->AddScript(Bstr(u"function Again() { return Dmm.QueryString('Y'); }")), S_OK);
    EXPECT_EQ(Run(u"Again", &result), S_OK);
    EXPECT_EQ(Created(u"Dmm"), 1);

    // ClearAll lets them go; the next use makes them again.
    EXPECT_EQ(executive->ClearAll(), S_OK);
    ASSERT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), S_OK);
    EXPECT_EQ(executive->AddScript(Bstr(u"function Again() { return Dmm.QueryString('Z'); }")), S_OK);
    EXPECT_EQ(Run(u"Again", &result), S_OK);
    EXPECT_EQ(result.Text(), u"Dmm:Z");
    EXPECT_EQ(Created(u"Dmm"), 2);
}

TEST_F(NamedItemsTest, UnderscoreAndEmptyRecordsAreNoObjects) {
    Load(u"var probe = 1;");
    Value type;
    ASSERT_EQ(Eval(u"typeof _spare", &type), S_OK);
    EXPECT_EQ(type.Text(), u"undefined");
    ASSERT_EQ(Eval(u"typeof Dmm", &type), S_OK);
    EXPECT_NE(type.Text(), u"undefined");
    EXPECT_EQ(Created(u"_spare"), 0);
}

TEST_F(NamedItemsTest, ARecordThatCannotBeMadeNamesItselfAndTheLanguage) {
    Load(u"function Test() {\n  return Broken.ReadString();\n}\n");
    Value result;
    EXPECT_TRUE(FAILED(Run(u"Test", &result)));
    // The error is raised where the script used the name: its text gives that line.
    std::u16string error = TakeErrorDescription();
    EXPECT_EQ(error.rfind(u"Couldn't open 'Broken' Connection by the 'JScript' Script Engine.;", 0), 0u)
        << vr::ToUtf8(error);
    EXPECT_NE(error.find(u"Line: 2, "), std::u16string::npos) << vr::ToUtf8(error);
    EXPECT_NE(error.find(u"Script: '  return Broken.ReadString();'"), std::u16string::npos)
        << vr::ToUtf8(error);
    // Every later use asks the hardware manager again.
    EXPECT_TRUE(FAILED(Run(u"Test", &result)));
}

TEST_F(NamedItemsTest, UnreadableRecordsLeaveTheScriptWithoutThem) {
    {
        std::lock_guard lock(scene.mutex);
        scene.namesFail = true;
    }
    Load(u"function Test() { return typeof Meter; }");
    Value result;
    EXPECT_EQ(Run(u"Test", &result), S_OK);
    EXPECT_EQ(result.Text(), u"undefined");
}

TEST_F(NamedItemsTest, EngineMembersAreGlobalAndTheEngineIsAnObject) {
    Load(u"function Test() { engine.OutputLn('one'); OutputLn('two', 2); return engine.SN; }");
    engine->sn = u"SN-7";
    Value result;
    ASSERT_EQ(Run(u"Test", &result), S_OK) << vr::ToUtf8(TakeErrorDescription());
    EXPECT_EQ(result.Text(), u"SN-7");
    ASSERT_EQ(engine->output.size(), 2u);
    EXPECT_EQ(engine->output[1].first, 2);
}

} // namespace
} // namespace scripvanetest
