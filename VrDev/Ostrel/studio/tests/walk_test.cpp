// The walk of the studio's windows (tests/support/window_walk.h) over the real hardware manager: every menu
// item, toolbar button, tab, button and drop-down of the main frame, the connection and device windows and
// the adapter file window with a file open, pressed once each.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/studio/MainFrame.h"
#include "platform/base/text.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/window_walk.h"

#include <QAction>
#include <QTabWidget>
#include <QToolButton>

#include <filesystem>

namespace ostreltest {
namespace {

using StudioWalk = ManagerTest;

// The commands that start another program (which outlives the studio, nobody's child) are not pressed:
// their start is the studio tests' own case.
bool StartsAProgram(const vrtest::WalkControl& control) {
    auto* button = qobject_cast<QToolButton*>(control.object.data());
    QAction* action = button ? button->defaultAction() : qobject_cast<QAction*>(control.object.data());
    if (!action) {
        return false;
    }
    QString tip = action->toolTip();
    return tip == "Script Executive" || tip == "Test Control Panel" || tip == "Test Executive" ||
           tip == "Tracer";
}

TEST_F(StudioWalk, EveryControlOfEveryStudioWindowPressedIsDoneOrDisabled) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Meter");
    std::string file = folder + "/Meter.daf";
    std::unique_ptr<ostrel::MainFrame> frame;
    // A fresh frame, and the window of the state in it.
    auto enter = [&](const std::string& state, const vrtest::InState& inState) {
        frame.reset();
        std::filesystem::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", file,
                                   std::filesystem::copy_options::overwrite_existing);
        frame = std::make_unique<ostrel::MainFrame>(rigmont.Get());
        frame->show();
        QWidget* window = frame.get();
        if (state == "connections window") {
            window = frame->OpenConnections();
        } else if (state == "devices window") {
            window = frame->OpenDevices();
        } else if (state.starts_with("adapter file open")) {
            window = frame->OpenAdapterFile(vr::FromUtf8(file));
            auto* pages = window ? window->findChild<QTabWidget*>() : nullptr;
            if (pages && state.back() != 'n') { // "..., page N": that page shown, as its tab shows it
                pages->setCurrentIndex(state.back() - '0');
            }
        }
        if (window) {
            window->show();
            inState(window);
        }
    };
    std::vector<vrtest::WalkedState> states;
    for (const char* state :
         {"studio started", "connections window", "devices window", "adapter file open",
          "adapter file open, page 1", "adapter file open, page 2", "adapter file open, page 3"}) {
        states.push_back({state, [&enter, state](const vrtest::InState& inState) { enter(state, inState); },
                          nullptr, StartsAProgram});
    }
    EXPECT_GT(vrtest::WalkWindows(states), 0);
    frame.reset();
}

} // namespace
} // namespace ostreltest
