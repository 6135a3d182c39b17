// The walk of a program's windows: controls found at run time, pressed where they are shown.
#include "tests/support/window_walk.h"

#include "platform/ui/modal.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace vrtest {
namespace {

constexpr int kAnswersPerPress = 8;            // boxes a press may bring up one after another
constexpr int kShowPatienceMs = 10000;         // a menu or a list asked for appears within this
constexpr int kSettleRounds = 20000;           // rounds of events while a box or popup is still open
constexpr std::chrono::milliseconds kTick{20}; // the watchdog's look
constexpr int kStrayLookMs = 50;               // how often a press looks for a dialog nobody answered

// Set while the walk itself opens a menu or a list: the stray-window answerer leaves them (window thread).
bool& Driving() {
    static bool driving = false;
    return driving;
}

// The boxes the current press brought up (window thread).
std::vector<std::string>& Boxes() {
    static std::vector<std::string> boxes;
    return boxes;
}

std::string Words(const QString& text, const QString& tip, const QString& name) {
    QString words = !text.isEmpty() ? text : !tip.isEmpty() ? tip : name;
    return words.remove(QLatin1Char('&')).toStdString();
}

// A dialog answered as a hand answers it: Escape on its window, then its own way out if it stays.
void AnswerAsAHand(QDialog& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    Boxes().push_back((box ? box->text() : dialog.windowTitle()).toStdString());
    if (QWindow* handle = dialog.windowHandle()) {
        QTest::keyClick(handle, Qt::Key_Escape);
    }
    if (dialog.isVisible()) {
        dialog.reject();
    }
}

// A popup or modal window nobody drives: answered (a dialog that ExecModal did not run, a context menu). The
// walked window itself may be a modal dialog: it stays.
bool AnswerStrayWindow(QWidget* walked) {
    QWidget* stray = QApplication::activePopupWidget();
    if (!stray) {
        stray = QApplication::activeModalWidget();
    }
    if (!stray || stray == walked) {
        return false;
    }
    if (auto* dialog = qobject_cast<QDialog*>(stray)) {
        AnswerAsAHand(*dialog);
    } else {
        if (QWindow* handle = stray->windowHandle()) {
            QTest::keyClick(handle, Qt::Key_Escape);
        }
        if (stray->isVisible()) {
            stray->close();
        }
    }
    return true;
}

// Serves the events the press caused until no box or popup of it is left open.
void Settle(QWidget* walked) {
    for (int round = 0; round < kSettleRounds; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (!AnswerStrayWindow(walked)) {
            return;
        }
    }
}

void AddMenuItems(QMenu* menu, std::vector<QPointer<QAction>> path, const std::string& prefix,
                  std::vector<WalkControl>* controls) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible()) {
            continue;
        }
        std::string words = prefix + "/" + Words(action->text(), {}, action->objectName());
        if (action->menu()) {
            std::vector<QPointer<QAction>> deeper = path;
            deeper.emplace_back(action);
            AddMenuItems(action->menu(), deeper, words, controls);
            continue;
        }
        WalkControl control;
        control.kind = WalkControl::Kind::Action;
        control.text = words;
        control.object = action;
        control.menuPath = path;
        controls->push_back(control);
    }
}

bool ShownInBarOrMenu(QAction* action) {
    for (QObject* place : action->associatedObjects()) {
        if (qobject_cast<QMenuBar*>(place) || qobject_cast<QToolBar*>(place) ||
            (qobject_cast<QToolButton*>(place) && static_cast<QWidget*>(place)->isVisible())) {
            return true;
        }
        if (auto* menu = qobject_cast<QMenu*>(place)) {
            for (QObject* above : menu->menuAction()->associatedObjects()) {
                if (qobject_cast<QMenuBar*>(above)) {
                    return true;
                }
            }
        }
    }
    return false;
}

// A widget a hand can reach: shown, and not a part of another control (a line edit's or a tab bar's).
bool Reachable(QWidget* widget) {
    if (!widget->isVisible() || widget->rect().isEmpty()) {
        return false;
    }
    for (QWidget* above = widget->parentWidget(); above; above = above->parentWidget()) {
        if (qobject_cast<QLineEdit*>(above) || qobject_cast<QTabBar*>(above) ||
            qobject_cast<QComboBox*>(above)) {
            return false;
        }
    }
    return true;
}

void PressMenuItem(const WalkControl& control) {
    QAction* entry = control.menuPath.front();
    QMenuBar* bar = nullptr;
    for (QObject* place : entry->associatedObjects()) {
        bar = bar ? bar : qobject_cast<QMenuBar*>(place);
    }
    if (!bar || !bar->isVisible()) {
        return;
    }
    Driving() = true;
    ClickAt(bar, bar->actionGeometry(entry).center());
    QMenu* menu = entry->menu();
    if (!QTest::qWaitFor([&] { return menu->isVisible(); }, kShowPatienceMs)) {
        ADD_FAILURE() << "the menu of '" << control.text << "' never opened";
        return;
    }
    for (size_t level = 1; level < control.menuPath.size(); ++level) {
        QAction* sub = control.menuPath[level];
        ClickAt(menu, menu->actionGeometry(sub).center());
        menu = sub->menu();
        if (!QTest::qWaitFor([&] { return menu->isVisible(); }, kShowPatienceMs)) {
            ADD_FAILURE() << "the submenu of '" << control.text << "' never opened";
            return;
        }
    }
    auto* action = qobject_cast<QAction*>(control.object.data());
    Driving() = false; // what the item brings up is answered
    ClickAt(menu, menu->actionGeometry(action).center());
}

// Opens the list at the arrow; true when it showed.
bool OpenDropDown(QComboBox* combo) {
    Driving() = true;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.subControls = QStyle::SC_All;
    QRect arrow =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, combo);
    ClickAt(combo, arrow.isEmpty() ? combo->rect().center() : arrow.center());
    QAbstractItemView* list = combo->view();
    return QTest::qWaitFor([&] { return list->isVisible(); }, kShowPatienceMs);
}

void ClickEntry(QComboBox* combo, int row) {
    Driving() = false;
    QAbstractItemView* list = combo->view();
    QModelIndex item = combo->model()->index(row, combo->modelColumn(), combo->rootModelIndex());
    list->scrollTo(item);
    ClickAt(list->viewport(), list->visualRect(item).center());
}

void PressDropDown(QComboBox* combo) {
    if (OpenDropDown(combo) && combo->count() > 0) {
        ClickEntry(combo, (combo->currentIndex() + 1) % combo->count());
    } // a list that did not open, or an empty one, is closed by the settling
}

// The watchdog of the presses: a press that does not come back names itself and ends the process.
class HangWatch {
public:
    HangWatch() : thread_([this] { Watch(); }) {}
    ~HangWatch() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Pressing(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        what_ = what;
        since_ = std::chrono::steady_clock::now();
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, kTick, [this] { return done_; })) {
            if (!what_.empty() && std::chrono::steady_clock::now() - since_ > kHangLimit) {
                std::fprintf(stderr, "window walk: the press of %s hangs\n", what_.c_str());
                std::fflush(stderr);
                std::abort();
            }
        }
    }

    std::mutex mutex_;                            // guards what_, since_ and done_
    std::condition_variable wake_;                // tells the watch that the walk ended
    std::string what_;                            // the press under way; guarded by mutex_
    std::chrono::steady_clock::time_point since_; // when it began; guarded by mutex_
    bool done_ = false;                           // guarded by mutex_
    std::thread thread_;                          // the watch; joined by the destructor
};

} // namespace

void ClickAt(QWidget* widget, QPoint point, Qt::MouseButton button) {
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), button, Qt::NoModifier, widget->mapTo(top, point));
}

bool PickFromDropDown(QComboBox* dropDown, const QString& text) {
    int row = dropDown->findText(text);
    if (row < 0 || !OpenDropDown(dropDown)) {
        return false;
    }
    ClickEntry(dropDown, row);
    QAbstractItemView* list = dropDown->view();
    return QTest::qWaitFor([&] { return !list->isVisible(); }, kShowPatienceMs) &&
           dropDown->currentIndex() == row;
}

std::vector<WalkControl> WalkControlsOf(QWidget* window) {
    std::vector<WalkControl> controls;
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        for (QAction* entry : bar->actions()) {
            if (entry->menu() && entry->isVisible()) {
                AddMenuItems(entry->menu(), {entry}, "menu " + Words(entry->text(), {}, {}), &controls);
            }
        }
    }
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->isSeparator() || action->text().isEmpty() || action->menu() || ShownInBarOrMenu(action) ||
            qobject_cast<QMenu*>(action->parent())) {
            continue;
        }
        WalkControl control;
        control.kind = WalkControl::Kind::Action;
        control.text = "action " + Words(action->text(), action->toolTip(), action->objectName());
        control.object = action;
        controls.push_back(control);
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (Reachable(button)) {
            WalkControl control;
            control.text = "button " + Words(button->text(), button->toolTip(), button->objectName());
            control.object = button;
            controls.push_back(control);
        }
    }
    for (QTabBar* bar : window->findChildren<QTabBar*>()) {
        if (!Reachable(bar)) {
            continue;
        }
        for (int tab = 0; tab < bar->count(); ++tab) {
            WalkControl control;
            control.kind = WalkControl::Kind::Tab;
            control.text = "tab " + Words(bar->tabText(tab), bar->tabToolTip(tab), {});
            control.object = bar;
            control.tab = tab;
            controls.push_back(control);
        }
    }
    for (QComboBox* combo : window->findChildren<QComboBox*>()) {
        if (Reachable(combo)) {
            WalkControl control;
            control.kind = WalkControl::Kind::DropDown;
            control.text = "drop-down " + Words({}, combo->toolTip(), combo->objectName());
            control.object = combo;
            controls.push_back(control);
        }
    }
    std::map<std::string, int> seen;
    for (WalkControl& control : controls) {
        int occurrence = seen[control.text]++;
        control.key = control.text + (occurrence ? " #" + std::to_string(occurrence + 1) : "");
    }
    return controls;
}

bool IsEnabled(const WalkControl& control) {
    if (auto* action = qobject_cast<QAction*>(control.object.data())) {
        return action->isEnabled();
    }
    auto* widget = qobject_cast<QWidget*>(control.object.data());
    if (!widget || !widget->isEnabled()) {
        return false;
    }
    auto* bar = qobject_cast<QTabBar*>(widget);
    return !bar || bar->isTabEnabled(control.tab);
}

std::vector<std::string> PressControl(QWidget* window, const WalkControl& control) {
    Boxes().clear();
    vr::ui::DropModalAnswers();
    for (int answer = 0; answer < kAnswersPerPress; ++answer) {
        vr::ui::AnswerNextModal(AnswerAsAHand);
    }
    if (!QTest::qWaitForWindowExposed(window)) {
        ADD_FAILURE() << "the window never showed";
    }
    // A dialog run by its own exec() (not ExecModal) gets no queued answer: it is answered from its loop.
    QTimer stray;
    QObject::connect(&stray, &QTimer::timeout, [window] {
        if (!Driving()) {
            (void)AnswerStrayWindow(window); // nothing stray: nothing to do
        }
    });
    stray.start(kStrayLookMs);
    QObject* object = control.object.data();
    if (!object) {
        ADD_FAILURE() << control.key << " is gone before its press";
    } else if (control.kind == WalkControl::Kind::Action && !control.menuPath.empty()) {
        PressMenuItem(control);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->trigger(); // shown in no bar: no place on the screen holds it
    } else if (auto* bar = qobject_cast<QTabBar*>(object)) {
        ClickAt(bar, bar->tabRect(control.tab).center());
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        PressDropDown(combo);
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
        ClickAt(widget, widget->rect().center());
    }
    Driving() = false;
    Settle(window);
    stray.stop();
    vr::ui::DropModalAnswers();
    return Boxes();
}

int WalkWindows(const std::vector<WalkedState>& states) {
    HangWatch watch;
    int presses = 0;
    for (const WalkedState& state : states) {
        std::vector<std::string> keys;
        state.enter([&](QWidget* window) {
            for (const WalkControl& control : WalkControlsOf(window)) {
                if (!state.skip || !state.skip(control)) {
                    keys.push_back(control.key);
                }
            }
        });
        EXPECT_FALSE(keys.empty()) << "the state '" << state.name
                                   << "' was never reached, or shows no control";
        for (const std::string& key : keys) {
            bool reached = false;
            state.enter([&](QWidget* window) {
                reached = true;
                std::vector<WalkControl> controls = WalkControlsOf(window);
                auto found = std::find_if(controls.begin(), controls.end(),
                                          [&](const WalkControl& control) { return control.key == key; });
                if (found == controls.end()) {
                    ADD_FAILURE() << "in the state '" << state.name << "' a fresh window shows no " << key;
                    return;
                }
                std::string refusal = state.refusal ? state.refusal(*found) : "";
                bool enabled = IsEnabled(*found);
                std::string press = "'" + key + "' in the state '" + state.name + "'";
                watch.Pressing(press);
                if (std::getenv("VR_WALK_TRACE")) { // which press a crash came in
                    std::fprintf(stderr, "window walk: pressing %s\n", press.c_str());
                }
                std::vector<std::string> boxes = PressControl(window, *found);
                watch.Pressing({});
                ++presses;
                if (enabled && !refusal.empty()) {
                    bool told = std::any_of(boxes.begin(), boxes.end(), [&](const std::string& box) {
                        return box.find(refusal) != std::string::npos;
                    });
                    EXPECT_TRUE(told)
                        << "'" << key << "' is enabled in the state '" << state.name
                        << "', which refuses it (" << refusal << "), and its press said nothing of it";
                }
            });
            EXPECT_TRUE(reached) << "the state '" << state.name << "' was not reached again for " << key;
        }
    }
    return presses;
}

} // namespace vrtest
