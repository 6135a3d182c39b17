// The walk of the control panel's window (tests/support/window_walk.h): every button, drop-down and box of
// the window pressed once with nothing loaded and with a panel of objects loaded, on the real worker.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "common/proxies/SystemProxies.h"
#include "platform/com/activation.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/test_env.h"
#include "tests/support/window_walk.h"

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace panolixtest {
namespace {

using namespace panolix;

constexpr int kPatienceMs = 60000;

TEST(PanolixWalk, EveryControlPressedWithNothingOrAPanelLoadedIsDoneOrDisabled) {
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    auto hardware = std::make_unique<scripvanetest::ClassRegistration>(
        CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
    auto worker = std::make_unique<TestExecutivePanelWorker>();
    std::string path = vrtest::MakeFreshFolder("walk") + "/p.pnx";
    std::ofstream(path)
        << "<panel language='JScript' autorefresh='no' refreshperiod='1'><script><![CDATA["
        << "function Preset() {} function Refresh() {} function Reset() {}]]></script><objects>"
        << "<object type='control' name='v' x='10' y='20' width='300' height='26' "
           "description='Volts' value='5'/>"
        << "<object type='group' x='10' y='60' width='300' height='80' description='G'/>"
        << "</objects></panel>";
    std::unique_ptr<CPanolixDlg> dialog;
    auto enter = [&](bool loaded, const vrtest::InState& inState) {
        dialog.reset();
        dialog = std::make_unique<CPanolixDlg>(*worker, false, false);
        if (loaded) {
            dialog->SetPendingFile(path);
        }
        dialog->show();
        if (loaded && !QTest::qWaitFor([&] { return dialog->Model().IsLoaded(); }, kPatienceMs)) {
            return;
        }
        inState(dialog.get());
    };
    std::vector<vrtest::WalkedState> states = {
        {"nothing loaded", [&](const vrtest::InState& inState) { enter(false, inState); }, nullptr, nullptr},
        {"loaded", [&](const vrtest::InState& inState) { enter(true, inState); }, nullptr, nullptr},
    };
    EXPECT_GT(vrtest::WalkWindows(states), 0);
    dialog.reset();
    worker.reset();
    hardware.reset();
    apartment.reset();
    CoUninitialize();
}

} // namespace
} // namespace panolixtest
