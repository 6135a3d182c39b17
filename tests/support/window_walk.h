// The walk of a program's windows as a hand goes through them: every menu item, toolbar button, button, tab
// and drop-down a window shows is found at run time and pressed once in each state the program can be in,
// and what a press brings up (boxes, dialogs, menus, drop-down lists) is answered as a person would.
//
// Usage (in a test, after vrtest::TestApplication()):
//     vrtest::WalkedState loaded{"loaded", [&](const vrtest::InState& inState) {
//         Window window; window.show(); window.Load(file); inState(&window);   // a fresh window each call
//     }, [&](const vrtest::WalkControl& control) { return RefusalOf(control); }};
//     vrtest::WalkWindows({started, loaded, running});
// For each state the walk lists the controls of a window in it, then presses each one in a window of its own
// brought into the state again (a press may end the state: Stop, Exit). A state a run is in is entered from
// within the run (its wait calls inState). Failures are reported as test failures that name the state and
// the control: an enabled control whose request the state refuses, pressed without a box telling the
// refusal; a press that hangs (the walk aborts with its name after kHangLimit). VR_WALK_TRACE=1 in the
// environment writes each press to standard error before it is made (which press a crash came in).
//
// Presses go to the top-level window at the control's place (QTest on its QWindow) and Qt delivers them to
// whatever widget is there. A menu item is pressed by opening its menu on the menu bar and clicking the item;
// an action shown in no menu bar or toolbar (a context menu's) is triggered, as no place on the screen holds
// it. A drop-down is opened at its arrow and its next entry clicked. A modal dialog that comes is answered
// with Escape on its window (then its reject() if it stays), a popup is closed the same way.
// Threads: the window thread (the tests' main thread).
#pragma once

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vrtest {

struct WalkControl {
    enum class Kind { Action, Button, Tab, DropDown };
    Kind kind = Kind::Button;
    // Stable across windows built alike: the kind, the control's words (a menu item's menu path) and which
    // of the controls with the same words it is.
    std::string key;
    // Its words: the text, else its tooltip, else its object name ("" when it has none).
    std::string text;
    QPointer<QObject> object; // the QAction, QAbstractButton, QTabBar or QComboBox
    int tab = -1;             // the tab's index, for a Tab
    // For a menu item: the menu bar's entry, then each submenu's entry down to the item's menu.
    std::vector<QPointer<QAction>> menuPath;
};

// The controls a hand can reach in the window and the windows it owns, in a fixed order.
std::vector<WalkControl> WalkControlsOf(QWidget* window);

// True when the control can be pressed now (enabled, and its widgets enabled).
bool IsEnabled(const WalkControl& control);

// Presses the control once as a hand does; returns the texts of the boxes that came (and were answered).
std::vector<std::string> PressControl(QWidget* window, const WalkControl& control);

// A hand's click at the widget's point (widget coordinates), given to its top-level window.
void ClickAt(QWidget* widget, QPoint point, Qt::MouseButton button = Qt::LeftButton);
// Opens the drop-down at its arrow and clicks the entry with the text in its list; false when the list did
// not open or holds no such entry.
bool PickFromDropDown(QComboBox* dropDown, const QString& text);

using InState = std::function<void(QWidget* window)>;

struct WalkedState {
    std::string name;
    // Makes a fresh window, brings it into the state and calls inState with it once, while it is there.
    std::function<void(const InState& inState)> enter;
    // Why the state refuses what the control asks ("" when it takes it, or the control asks nothing of the
    // run state).
    std::function<std::string(const WalkControl& control)> refusal;
    // Controls left unpressed (null: none), for a press whose effect outlives the test: a program started
    // that is nobody's child. Say why where it is used.
    std::function<bool(const WalkControl& control)> skip;
};

// A press that has not come back after this long is a hang.
inline constexpr std::chrono::seconds kHangLimit{120};

// Walks every state; returns how many presses were made (for the test's own message).
int WalkWindows(const std::vector<WalkedState>& states);

} // namespace vrtest
