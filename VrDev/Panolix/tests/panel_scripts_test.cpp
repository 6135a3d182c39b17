// The control and graph objects with the real worker, test engine, script executive (JScript) and spec
// validator, and the installed templates: values shown formatted and coloured, an unreadable value that
// stops the loop, a Set refused row by row without losing entries, a plain button, a bad display format,
// a missing language, and two graphs each refreshed as engine.graph.
#include "PanelObjectControl.h"
#include "PanelObjectKinds.h"
#include "PanelWidgets.h"
#include "panel_host.h"

#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/text.h"
#include "platform/ui/tests/test_application.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace panolixtest {
namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 100, 0);
constexpr QRgb kBlack = qRgb(0, 0, 0);

class PanelScriptsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        hardware = std::make_unique<scripvanetest::ClassRegistration>(
            CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
        worker = std::make_unique<CTestExecutive>();
        ASSERT_TRUE(worker->EngineProxy && worker->ScriptExecProxy);
        host = std::make_unique<FakeHost>(worker.get());
        SysFreeString(worker->Language);
        worker->Language = vr::AllocBstr(u"JScript");
        SysFreeString(worker->Code);
        worker->Code = vr::AllocBstr(u"var counter = 0;\r\nfunction Preset() {}\r\n");
        worker->Request(vr::AllocBstr(u""), vr::AllocBstr(u""), vr::AllocBstr(u""));
        while (worker->GetState() != CTestExecutive::kDone) {
            PumpMessages(8);
        }
        BSTR error = nullptr;
        HRESULT hr = S_OK;
        worker->GetError(&error, &hr);
        SysFreeString(error);
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override {
        host.reset();
        worker.reset();
        hardware.reset();
        CoUninitialize();
    }

    std::unique_ptr<CPObjectControl> Control(std::u16string_view value, std::u16string_view format,
                                             std::u16string_view spec) {
        auto control = std::make_unique<CPObjectControl>(*host, worker.get());
        control->SetName(host->NewName());
        control->SetLanguage(u"JScript");
        control->SetDescription(u"Volts");
        control->SetPosition(0, 0);
        control->SetSize(300, 24);
        control->SetValueExpression(std::u16string(value));
        control->SetFormat(std::u16string(format));
        control->SetSpec(std::u16string(spec));
        return control;
    }
    // The panel's refresh: every object's refresh text in one request, then each object shows its value.
    bool Refresh(std::vector<CPObject*> objects) {
        std::u16string script;
        for (CPObject* object : objects) {
            EXPECT_EQ(object->ComposeRefreshScript(script), S_OK);
        }
        worker->Request(vr::AllocBstr(u"_execute"), vr::AllocBstr(script), vr::AllocBstr(u""));
        while (worker->GetState() != CTestExecutive::kDone) {
            PumpMessages(8);
        }
        bool all = true;
        for (CPObject* object : objects) {
            all = object->ShowValue() && all;
        }
        return all;
    }
    bool Option(const char16_t* name) {
        BSTR text = vr::AllocBstr(name);
        VARIANT_BOOL enabled = VARIANT_FALSE;
        EXPECT_EQ(worker->EngineProxy->IsOptionEnabled(text, &enabled), S_OK);
        SysFreeString(text);
        return enabled == VARIANT_TRUE;
    }
    void PutOption(const char16_t* name, const char16_t* value) {
        BSTR text = vr::AllocBstr(name);
        VARIANT option;
        VariantInit(&option);
        option.vt = VT_BSTR;
        option.bstrVal = vr::AllocBstr(value);
        EXPECT_EQ(worker->EngineProxy->put_option(text, option), S_OK);
        (void)VariantClear(&option); // a BSTR: nothing can fail
        SysFreeString(text);
    }

    std::unique_ptr<scripvanetest::ClassRegistration> hardware;
    std::unique_ptr<CTestExecutive> worker;
    std::unique_ptr<FakeHost> host;
};

TEST_F(PanelScriptsTest, ValuesAreShownFormattedAndColouredByTheirSpec) {
    auto checked = Control(u"3.14159", u"%5.2f", u"[0..5]");
    auto failing = Control(u"255.9", u"%04X", u"[0..5]");
    auto unchecked = Control(u"'abc'", u"%d", u"{V}");
    ASSERT_EQ(checked->Initialize(true), S_OK);
    ASSERT_EQ(failing->Initialize(true), S_OK);
    ASSERT_EQ(unchecked->Initialize(true), S_OK);
    EXPECT_TRUE(checked->CaptionLabel());
    EXPECT_EQ(host->LastStatus(), u"Ready");
    ASSERT_TRUE(Refresh({checked.get(), failing.get(), unchecked.get()}));
    EXPECT_EQ(checked->ValueText(), u" 3.14");
    EXPECT_EQ(checked->ValueColor().rgb(), kGreen);
    EXPECT_EQ(PanelEditText(checked->ValueWindow()), u" 3.14");
    EXPECT_EQ(PanelEditColor(checked->ValueWindow()).rgb(), kGreen);
    EXPECT_EQ(failing->ValueText(), u"00FF");
    EXPECT_EQ(failing->ValueColor().rgb(), kRed);
    EXPECT_EQ(unchecked->ValueText(), u"abc");
    EXPECT_EQ(unchecked->ValueColor().rgb(), kBlack);
    ASSERT_TRUE(unchecked->InfoStatic());
    EXPECT_EQ(unchecked->InfoStatic()->text(), QStringLiteral("V"));
    EXPECT_FALSE(Option(u"StopLoop")); // StopLoopIfFailed is off
}

TEST_F(PanelScriptsTest, AnUnreadableValueShowsErrorAndStopsTheLoopWhenAskedTo) {
    auto control = Control(u"1", u"", u"[0..5]");
    ASSERT_EQ(control->Initialize(true), S_OK);
    PutOption(u"StopLoopIfFailed", u"true");
    EXPECT_FALSE(control->ShowValue()); // no refresh ran: rt_valueobj0 was never set
    EXPECT_EQ(control->ValueText(), u"<ERROR>");
    EXPECT_EQ(control->ValueColor().rgb(), kRed);
    EXPECT_TRUE(Option(u"StopLoop"));
    EXPECT_TRUE(Option(u"StopNotValid"));
}

TEST_F(PanelScriptsTest, AWrongDisplayFormatIsAnErrorOnTheValueNeverACrash) {
    for (const char16_t* format : {u"%s", u"%n", u"%d%d"}) {
        auto control = Control(u"'text'", format, u"");
        ASSERT_EQ(control->Initialize(true), S_OK);
        EXPECT_FALSE(Refresh({control.get()}));
        EXPECT_EQ(control->ValueText(), u"<ERROR> Wrong display format '" + std::u16string(format) + u"'");
        EXPECT_EQ(control->ValueColor().rgb(), kRed);
    }
}

TEST_F(PanelScriptsTest, ASetRefusesABadRowKeepsEveryEntryAndThenRunsAndRefreshes) {
    auto control = Control(u"total", u"", u"");
    control->SetParameters(u"a='[0..10]' b='[0..10]'");
    control->SetSetScript(u"total = Number(a) + Number(b);");
    control->SetGetScript(u"counter++;");
    ASSERT_EQ(control->Initialize(true), S_OK);
    ASSERT_EQ(control->RowCount(), 2u);
    ASSERT_TRUE(control->RowEdit(0) && control->RowEdit(1));
    ASSERT_TRUE(control->SetButton());
    EXPECT_EQ(control->SetButton()->text(), QStringLiteral("Set"));

    SetPanelEditText(control->RowEdit(0), u"30");
    SetPanelEditText(control->RowEdit(1), u"4");
    control->SetButton()->click();
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].text, u"Control Object 'Volts': Parameter 'a' has an invalid value '30'.");
    EXPECT_EQ(host->LastStatus(), u"Wrong entry value");
    EXPECT_EQ(control->ParamValues(), u"a=30 b=4"); // the row after the refused one keeps its entry

    SetPanelEditText(control->RowEdit(0), u"3");
    SetPanelEditText(control->RowEdit(1), u"");
    control->ExecuteSet();
    ASSERT_EQ(host->messages.size(), 2u);
    EXPECT_EQ(host->messages[1].text, u"Control Object 'Volts': Parameter 'b' is empty.");
    EXPECT_EQ(host->LastStatus(), u"Run-Time Error");

    SetPanelEditText(control->RowEdit(1), u"4");
    control->ExecuteSet();
    EXPECT_EQ(host->messages.size(), 2u);
    EXPECT_EQ(host->LastStatus(), u"Ready");
    EXPECT_EQ(control->ValueText(), u"7");
    EXPECT_EQ(control->ParamValues(), u"a=3 b=4");

    host->refreshRunning = true; // a Set during a refresh waits for the next one
    SetPanelEditText(control->RowEdit(1), u"5");
    control->ExecuteSet();
    EXPECT_EQ(host->LastStatus(), u"Executing ...");
    host->refreshRunning = false;
    ASSERT_TRUE(Refresh({control.get()}));
    EXPECT_EQ(control->ValueText(), u"8");
}

TEST_F(PanelScriptsTest, APlainButtonRunsItsSetScriptAndRefreshes) {
    auto button = Control(u"", u"", u"");
    button->SetDescription(u"Go");
    button->SetSetScript(u"counter = counter + 10;");
    button->SetGetScript(u"counter++;");
    ASSERT_EQ(button->Initialize(true), S_OK);
    EXPECT_TRUE(button->IsPlainButton());
    EXPECT_FALSE(button->CaptionLabel());
    EXPECT_FALSE(button->ValueWindow());
    ASSERT_TRUE(button->SetButton());
    EXPECT_EQ(button->SetButton()->text(), QStringLiteral("Go"));
    button->SetButton()->click();
    EXPECT_EQ(host->LastStatus(), u"Ready");
    auto counter = Control(u"counter", u"", u"");
    ASSERT_EQ(counter->Initialize(true), S_OK);
    ASSERT_TRUE(Refresh({counter.get()}));
    EXPECT_EQ(counter->ValueText(), u"11"); // the Set script, then the button's refresh
}

TEST_F(PanelScriptsTest, ALanguageWithoutTemplatesFailsInitialisation) {
    auto control = Control(u"1", u"", u"");
    control->SetLanguage(u"NoSuchScript");
    EXPECT_EQ(control->Initialize(true), E_FAIL);
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].text, u"Configuration data for 'NoSuchScript' Script Language is not found.");
    CPObjectGraph graph(*host, worker.get());
    graph.SetLanguage(u"NoSuchScript");
    EXPECT_EQ(graph.Initialize(true), E_FAIL);
    EXPECT_EQ(host->messages.size(), 2u);
}

TEST_F(PanelScriptsTest, TwoGraphsGetTheDefaultScriptsAndEachRefreshesAsEngineGraph) {
    std::vector<std::unique_ptr<CPObjectGraph>> graphs;
    for (int index = 0; index < 2; ++index) {
        auto graph = std::make_unique<CPObjectGraph>(*host, worker.get());
        graph->SetLanguage(u"JScript");
        graph->SetDescription(u"Graph");
        graph->SetPosition(0, 100 * index);
        graph->SetSize(200, 100);
        ASSERT_EQ(graph->Initialize(true), S_OK) << vr::ToUtf8(host->LastStatus());
        EXPECT_EQ(graph->InitScript(), u"engine.graph.Clear();");
        ASSERT_TRUE(graph->GraphWindow());
        graphs.push_back(std::move(graph));
    }
    graphs[0]->SetGetScript(u"engine.graph.SetCaption('first');");
    graphs[1]->SetGetScript(u"engine.graph.SetCaption('second');");
    QImage before[2] = {graphs[0]->GraphWindow()->grab().toImage(),
                        graphs[1]->GraphWindow()->grab().toImage()};
    ASSERT_TRUE(Refresh({graphs[0].get(), graphs[1].get()}));
    for (int index = 0; index < 2; ++index) {
        EXPECT_NE(graphs[index]->GraphWindow()->grab().toImage(), before[index]) << "graph " << index;
    }
}

} // namespace
} // namespace panolixtest
