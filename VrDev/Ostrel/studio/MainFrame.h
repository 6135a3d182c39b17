// MainFrame: the development studio's window, a narrow bar at the top of the screen: its toolbar opens the
// connection, device and device adapter file windows (one of each kind at a time: pressing a button again
// brings the open one forward), starts the script executive, the control panel and the test executive, and
// opens the tracer's window, which shows the trace lines; Help shows the About box with the build stamp.
//
// Usage (window thread, in a single-threaded apartment):
//     ostrel::MainFrame frame;      // runs the self-tests, traced
//     frame.SetRebuild(rebuild);    // what the adapter file window runs when it closes
//     frame.show();
//     frame.OpenAdapterFile(u"/data/Adapter/Meter.daf");
// Threads: the window thread. Failures: a window that cannot be made shows the COM failure; a program that
// cannot be started says so on the status bar (nothing waits for a program).
#pragma once

#include "Rigmont/include/rigmont.h"
#include "VrDev/Ostrel/managers/HwManWindow.h"
#include "VrDev/Ostrel/sheet/AdapterSheet.h"
#include "VrDev/Ostrel/studio/StudioLogic.h"
#include "VrDev/Ostrel/studio/TraceWindow.h"
#include "platform/com/comptr.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QToolBar;

namespace ostrel {

class MainFrame final : public QMainWindow {
public:
    // rigmont: the hardware manager the windows use, or null to create one when a window first needs it.
    explicit MainFrame(IVrRigmont* rigmont = nullptr, QWidget* parent = nullptr);
    ~MainFrame() override;

    void SetRebuild(RebuildLibraries rebuild) { rebuild_ = std::move(rebuild); }

    // The toolbar's commands. Each returns the window of its kind, the open one or a new one; null when it
    // could not be made (the failure was shown).
    HwManWindow* OpenConnections();
    HwManWindow* OpenDevices();
    AdapterSheet* OpenAdapterSheet();
    // The adapter file window with that file (the file argument of the program).
    AdapterSheet* OpenAdapterFile(const std::u16string& path);
    // Starts a program from the program folder; false when it could not be (the status bar says why).
    bool Start(StudioProgram program);
    // The tracer's window, the open one or a new one running the tracer (a failure to start it is shown in
    // the window and on the status bar).
    TraceWindow* OpenTracer();
    // The About box, modal (tests answer it through vr::ui::AnswerNextModal).
    void ShowAbout();

    // The open windows of each kind (null when none is open), and the toolbar's command of a tooltip text.
    HwManWindow* Connections() const { return connections_.data(); }
    HwManWindow* Devices() const { return devices_.data(); }
    AdapterSheet* Sheet() const { return sheet_.data(); }
    TraceWindow* Tracer() const { return tracer_.data(); }
    QAction* Command(const QString& toolTip) const;
    QToolBar* ToolBar() const { return toolBar_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void MakeMenus();
    void MakeToolBar();
    QAction* AddCommand(const char* statusAndTip, std::function<void()> command);
    HwManWindow* OpenManager(HwKind kind, QPointer<HwManWindow>& slot);
    IVrRigmont* Rigmont();
    static void Activate(QWidget* window);

    vr::ComPtr<IVrRigmont> rigmont_;                 // window thread; made on first use
    std::unique_ptr<DeviceLibraries> libraries_;     // window thread; the device window's generated files
    RebuildLibraries rebuild_ = RebuildNotAvailable; // window thread
    QToolBar* toolBar_ = nullptr;                    // owned by the frame
    QPointer<HwManWindow> connections_;              // a window of its own that deletes itself on close
    QPointer<HwManWindow> devices_;                  // the same
    QPointer<AdapterSheet> sheet_;                   // the same
    QPointer<TraceWindow> tracer_;                   // the same
};

} // namespace ostrel
