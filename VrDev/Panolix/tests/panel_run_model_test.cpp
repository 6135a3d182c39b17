// The main dialog's logic on the real worker, test engine and script executive: the batch verdict of the
// auto-refresh loop, one request at a time while ticks and closes arrive during a wait, a panel whose
// language is not installed, and a new panel made from the shipped blank panel, saved in its own line ends.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "VrDev/Panolix/PanelRunModel.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

namespace panolixtest {
namespace {

using namespace panolix;

// The window as the logic meets it: what it was shown, and a hook run on every pump of a wait.
class RecordingView : public PanelView {
public:
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void ShowState(const PanelState& state) override { shown = state; }
    void ShowError(const std::string& caption, const std::string& text) override {
        errors.push_back(caption + ": " + text);
    }
    std::optional<std::string> AskLanguage(const std::vector<std::string>& languages) override {
        offered = languages;
        return answer;
    }
    void FitToObjects() override {}
    void PumpMessages() override {
        if (onPump) {
            std::function<void()> hook = std::move(onPump); // runs once
            hook();
        }
        ::PumpMessages(0);
        if (worker) {
            worker->WaitForProgress(20);
        }
    }
    void PostClose() override { ++closesPosted; }

    TestExecutivePanelWorker* worker = nullptr;
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::string> offered;
    std::optional<std::string> answer;
    PanelState shown;
    std::function<void()> onPump;
    int closesPosted = 0;
};

// Panel objects that refresh by one script line and whose values read as the test says.
class ScriptedContent : public PanelContent {
public:
    HRESULT LoadAll(CXmlFile&) override { return S_OK; }
    HRESULT SaveAll(CXmlFile&) override { return S_OK; }
    void Clear() override {}
    HRESULT ComposeRefreshScripts(std::u16string* script) override {
        *script += u"refreshes = refreshes + 1;\r\n";
        return S_OK;
    }
    bool ShowValues() override { return valuesReadable; }
    void SetRefreshRunning(bool) override {}

    bool valuesReadable = true;
};

// Idle stops the loop at the second refresh, marking the values not valid when asked to.
constexpr const char* kLoopScript = "var refreshes = 0; var idles = 0;\n"
                                    "function Preset() {}\n"
                                    "function Reset() {}\n"
                                    "function Idle() {\n"
                                    "  idles = idles + 1;\n"
                                    "  if (idles >= 2) {\n"
                                    "    engine.option('StopLoop') = 'true';\n"
                                    "    engine.option('StopNotValid') = '%NOTVALID%';\n"
                                    "  }\n"
                                    "}\n";

std::string PanelFile(const std::string& language, const std::string& script,
                      const std::string& name = "p.pnx") {
    std::string path = vrtest::MakeFreshFolder("panel") + "/" + name;
    std::ofstream(path) << "<panel language='" << language
                        << "' autorefresh='yes' refreshperiod='1'><script><![CDATA[" << script
                        << "]]></script><objects/></panel>";
    return path;
}

std::string LoopScript(bool notValid) {
    std::string script = kLoopScript;
    script.replace(script.find("%NOTVALID%"), 10, notValid ? "true" : "false");
    return script;
}

class PanelRunModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        hardware = std::make_unique<scripvanetest::ClassRegistration>(
            CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
        worker = std::make_unique<TestExecutivePanelWorker>();
        view.worker = worker.get();
    }
    void TearDown() override {
        model.reset();
        worker.reset();
        hardware.reset();
        CoUninitialize();
    }
    void Start(bool batch, bool unattended) {
        model = std::make_unique<PanelRunModel>(view, *worker, content, batch, unattended);
    }
    // Ticks until a close is posted or the loop has long stopped (a refresh comes every 5 ticks).
    void TickThroughTheLoop() {
        for (int tick = 0; tick < 60 && view.closesPosted == 0; ++tick) {
            model->OnTimerTick();
        }
    }

    std::unique_ptr<scripvanetest::ClassRegistration> hardware;
    std::unique_ptr<TestExecutivePanelWorker> worker;
    RecordingView view;
    ScriptedContent content;
    std::unique_ptr<PanelRunModel> model;
};

TEST_F(PanelRunModelTest, ABatchRunPassesOnlyWhenTheLoopStopsWithEveryValueReadAndValid) {
    Start(true, false);
    ASSERT_TRUE(model->Load(PanelFile("JScript", LoopScript(false)))) << model->LastErrorText();
    EXPECT_EQ(model->State().title, "Ostrel Control Panel - p.pnx [JScript]");
    TickThroughTheLoop();
    EXPECT_EQ(view.closesPosted, 1);
    EXPECT_EQ(model->Result(), kExitPassed);
    EXPECT_EQ(view.statuses.back(), "Ready");
    EXPECT_TRUE(model->RequestClose());

    // The script marks the values not valid: the window stays for the user, who closes it.
    view = RecordingView{};
    view.worker = worker.get();
    Start(true, false);
    ASSERT_TRUE(model->Load(PanelFile("JScript", LoopScript(true))));
    TickThroughTheLoop();
    EXPECT_EQ(view.closesPosted, 0);
    EXPECT_EQ(model->Result(), kExitNotPassed);
    EXPECT_TRUE(model->RequestClose());
}

TEST_F(PanelRunModelTest, ALoopStoppedByAnUnreadableValueIsNoPassAndUnattendedTheRunEnds) {
    content.valuesReadable = false;
    Start(true, true);
    ASSERT_TRUE(model->Load(PanelFile("JScript", LoopScript(false))));
    TickThroughTheLoop();
    EXPECT_EQ(view.statuses.back(), "Run-Time Error.");
    EXPECT_EQ(view.closesPosted, 1);
    EXPECT_EQ(model->Result(), kExitNotPassed);
}

TEST_F(PanelRunModelTest, TheLoopRefreshesEveryPeriodAndTheUserSwitchingItOffKeepsABatchRunOpen) {
    Start(true, false);
    ASSERT_TRUE(model->Load(PanelFile("JScript", "function Preset() {} var refreshes = 0;")));
    auto refreshes = [&] { return std::count(view.statuses.begin(), view.statuses.end(), "Executing ..."); };
    for (int tick = 0; tick < 4; ++tick) {
        model->OnTimerTick();
    }
    EXPECT_EQ(refreshes(), 0);
    model->OnTimerTick(); // a period of 1 s is 5 ticks of 200 ms
    EXPECT_EQ(refreshes(), 1);
    model->OnAutoRefreshClicked(false);
    TickThroughTheLoop();
    EXPECT_EQ(view.closesPosted, 0);
    EXPECT_EQ(model->Result(), kExitNotPassed);
}

// Preset waits in the engine until the test lets it go, so the tick, the close and the second request
// surely come during its wait.
TEST_F(PanelRunModelTest, DuringAWaitTicksStartNothingRequestsAreRefusedAndACloseWaitsForItsEnd) {
    std::string script = "var refreshes = 0;\n"
                         "function Preset() { while (!engine.IsOptionEnabled('Go')) engine.Delay(5); }\n"
                         "function Reset() {}\n";
    std::string other = PanelFile("JScript", "function Preset() {}", "other.pnx");
    Start(false, false);
    bool closedDuringWait = true;
    bool secondRequestRan = true;
    view.onPump = [&] {
        model->SetPendingFile(other);
        model->OnTimerTick();
        closedDuringWait = model->RequestClose();
        secondRequestRan = model->RunRequest("_execute", "refreshes = 100;", "", "Run-Time Error");
        worker->PutOption("Go", "true");
    };
    ASSERT_TRUE(model->Load(PanelFile("JScript", script)));
    EXPECT_FALSE(closedDuringWait);
    EXPECT_FALSE(secondRequestRan);
    EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), PanelRunModel::kWorkerBusy),
              view.statuses.end());
    EXPECT_EQ(model->PanelPath().substr(model->PanelPath().rfind('/')), "/p.pnx"); // the tick loaded nothing
    EXPECT_EQ(view.closesPosted, 1); // the close is carried out once the load has ended
    EXPECT_TRUE(model->RequestClose());
    EXPECT_FALSE(model->IsLoaded());
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(PanelRunModelTest, APanelInALanguageNotInstalledIsRefusedAndStaysReset) {
    Start(false, false);
    std::string path = PanelFile("NoSuchLanguage", "function Preset() {}");
    EXPECT_FALSE(model->Load(path));
    std::vector<std::string> tail(view.statuses.end() - 3, view.statuses.end());
    EXPECT_EQ(tail[0], "Unknown script language 'NoSuchLanguage'");
    EXPECT_EQ(tail[1], "Couldn't open file 'p.pnx'");
    EXPECT_EQ(view.errors, std::vector<std::string>{"Error: Couldn't open file '" + path + "'"});
    EXPECT_FALSE(model->IsLoaded());
    EXPECT_EQ(model->State().title, "Ostrel Control Panel");
}

TEST_F(PanelRunModelTest, OpeningANewNameMakesThePanelFromTheBlankPanelOfTheChosenLanguage) {
    CVrConfigData configuration;
    _bstr_t blank(VR_PANOLIX_SOURCE "/Blank.%1.pnx");
    ASSERT_TRUE(configuration.StoreItem("PnxBlankFile", blank));
    Start(false, false);
    view.answer = "JScript";
    std::string folder = vrtest::MakeFreshFolder("open");
    ASSERT_TRUE(model->Open(folder + "/fresh")) << model->LastErrorText();
    EXPECT_EQ(view.statuses.back(), "File 'fresh.pnx' was created");
    EXPECT_EQ(model->PanelPath(), folder + "/fresh.pnx");
    EXPECT_EQ(model->Language(), "JScript");
    EXPECT_NE(std::find(view.offered.begin(), view.offered.end(), "JScript"), view.offered.end());
    EXPECT_TRUE(model->Save());
    EXPECT_EQ(view.statuses.back(), "File 'fresh.pnx' was saved");
    // The blank panel's lines end in LF: so do the saved panel's, its declaration and last line too.
    std::ifstream saved(folder + "/fresh.pnx", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\"?>\n")) << text.substr(0, 40);
    EXPECT_TRUE(text.ends_with("</panel>\n")) << text.substr(text.size() - std::min<size_t>(text.size(), 20));
}

} // namespace
} // namespace panolixtest
