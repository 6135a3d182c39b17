// IPanelHost: what a panel object needs from the control panel's main dialog and its object collection.
//
// The main dialog implements it (forwarding the collection's part to its CPObjects); tests implement it with
// a fake. Objects hold it by reference and never own it: the host outlives every object it is handed to.
//
// Threads: window thread only, as every panel object.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"

#include <QFont>
#include <QPoint>
#include <Qt>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CPObject;
class CTestExecutive;
class QWidget;

// The text extent of a string in the dialog's font, in pixels.
struct PanelTextExtent {
    int width = 0;
    int height = 0;
};

// The object menu's commands, handed back to the main dialog.
enum class PanelObjectCommand {
    Remove = 142,
    Edit = 143,
};

class IPanelHost {
public:
    virtual ~IPanelHost() = default;

    // The main dialog's part.

    // Shows text in the status line at once (the dialog lets pending window messages run once).
    virtual void SetStatus(std::u16string_view text) = 0;
    // The dialog's font, for every object window; MeasureText and AverageCharWidth measure with it.
    virtual QFont DialogFont() const = 0;
    virtual PanelTextExtent MeasureText(std::u16string_view text) const = 0;
    virtual int AverageCharWidth() const = 0;
    // The parent of all object windows (the "Control Elements" box, whose client coordinates the objects'
    // rectangles are in). Null: the objects make no windows (a host without a display).
    virtual QWidget* ObjectParent() const = 0;
    // Repaints the dialog (the frames of design mode, the drag rectangle).
    virtual void Repaint() = 0;
    // Resizes the dialog to hold all objects (after a drag or an added object).
    virtual void FitToObjects() = 0;
    // Sets the mouse cursor over the objects' area (dragging).
    virtual void SetObjectCursor(Qt::CursorShape shape) = 0;
    // Design mode was switched on or off. A host with windows then lets a press anywhere on an object (its
    // caption, value, button or margin) reach the object's drag, and the moves and the release after it.
    virtual void DesignModeChanged(bool on) { (void)on; }
    // A command of an object's menu, on the object under the last right-click point.
    virtual void RunObjectCommand(PanelObjectCommand command) = 0;
    // The test-execution worker the objects' scripts run on (owned by the dialog).
    virtual CTestExecutive* Worker() const = 0;
    // One round of the window thread's wait for the worker: runs pending window messages and the
    // apartment's calls, and sleeps a little (at most some milliseconds) until the worker has news.
    virtual void PumpWhileWaiting() = 0;
    // Runs work that waits for the worker (an object's Set) as one of the dialog's operations: a close or a
    // timer tick that comes during its waits waits for its end, so the object is still there after them.
    // A host without such operations runs it at once.
    virtual void RunOperation(const std::function<void()>& work) { work(); }
    // A message box (MB_* buttons and icon); ownerless boxes have no owner window. A host without anybody
    // to answer (offscreen) must not wait: it reports the text elsewhere and answers IDOK (or the box's
    // cancel answer).
    virtual int ShowMessage(std::u16string_view text, std::u16string_view caption, UINT type,
                            bool ownerless) = 0;
    // An object could not load what it shows (its picture) and has said so: a batch run cannot pass. A
    // host without a verdict ignores it.
    virtual void NoteObjectFault() {}

    // The collection's part.

    // "obj%d" with the collection's name counter, which then counts on.
    virtual std::u16string NewName() = 0;
    // Appends the object to the collection, which owns it from then on.
    virtual void AddObject(std::unique_ptr<CPObject> object) = 0;
    // Hides (true) or shows (false) every object's windows.
    virtual void ShowAllObjects(bool hide) = 0;
    // True while the dialog runs a refresh: a control object's Set is then queued for the next refresh.
    virtual bool RefreshRunning() const = 0;
};
