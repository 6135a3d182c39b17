// CPObject: the base of every element of a control panel (control, graph, group, picture): its rectangle,
// caption and three scripts, loading and saving on its `object` element, the caption label, the refresh
// text, and design mode's frame, dragging (move, resize, Ctrl-copy) and object menu.
//
// Usage: the collection creates an object by its type (CreatePanelObject), names it (SetName), gives it the
// panel's language and loads it (Load, which also initialises it), or a new one gets its defaults through
// the setters and is initialised with Initialize(true). Scripts run on the host's worker; an object waits
// for its own requests (WaitForWorker) and shows a failure in a "Run-Time Error" box.
//
// Coordinates are the host's ObjectParent client pixels. The geometry, hit tests, the drag state machine,
// loading, saving and the refresh text need no widgets; windows are made only when the host gives a parent.
//
// Threads: window thread only. Failures: HRESULTs; what went wrong is recorded as the module's last error
// (Trace.h) or shown as the texts of each operation say.
#pragma once

#include "PanelHost.h"

#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <QLabel>
#include <QPointer>
#include <QRect>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CTestExecutive;
class CXmlFile;

class QPainter;

// A mouse message as the collection routes it to its objects.
enum class PanelMouseAction {
    Move,
    LeftDown,
    LeftUp,
};
struct PanelMouse {
    PanelMouseAction action = PanelMouseAction::Move;
    int x = 0;
    int y = 0;
    bool leftButton = false; // held during a move
    bool control = false;    // Ctrl held
};

// What a drag does with the object.
enum class PanelDragMode {
    None,
    ResizeBottomRight,
    ResizeRight,
    ResizeBottom,
    Move,
    Copy,
};

// The area objects may be moved in (the collection's client rectangle).
struct PanelBounds {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class CPObject {
public:
    CPObject(IPanelHost& host, CTestExecutive* worker);
    virtual ~CPObject();
    CPObject(const CPObject&) = delete;
    CPObject& operator=(const CPObject&) = delete;

    // "control", "graph", "group" or "picture".
    virtual const char16_t* GetType() const = 0;
    // The point lies in the rectangle widened by 2 pixels on every side.
    virtual bool HitTest(int x, int y) const;
    virtual void SetPosition(int x, int y);
    virtual void SetSize(int width, int height);
    // Reads x, y, width, height (integers; one that does not convert records "Vornic Error: A%d (%hs)" and
    // fails with E_INVALIDARG), description and the three scripts' child elements (missing: empty). A type
    // then reads its own attributes and initialises itself.
    [[nodiscard]] virtual HRESULT Load(CXmlFile& file, const vr::xml::Node& element);
    // Writes type, x, y, width, height, description and the three scripts' child elements.
    [[nodiscard]] virtual HRESULT Save(CXmlFile& file, const vr::xml::Node& element);
    // A new, empty object of the same class.
    virtual std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const = 0;
    // Copies the description, scripts, name (as "_" + name), language, geometry, label width and bounds.
    virtual void CopyTo(CPObject& target) const;
    // Hides or shows the object's windows.
    virtual void Show(bool hide);
    // (Re)creates the windows; the base destroys them and makes the caption label when create is true.
    [[nodiscard]] virtual HRESULT Initialize(bool create);
    virtual void DestroyWindows();
    // Shows what the last refresh computed; false when it could not be read. Base: true.
    virtual bool ShowValue();
    // What the last ShowValue showed, as one line for a reader without the window ("<description>:
    // '<value>' <validity>, shown as '<text>'"); none for an object that shows no value. Base: none.
    virtual std::optional<std::u16string> ShownValueLine() const { return std::nullopt; }
    // Appends the 'Refresh' script and then a queued script (each with CR LF when not empty) and clears
    // the queued script.
    [[nodiscard]] virtual HRESULT ComposeRefreshScript(std::u16string& script);
    // Opens the properties dialog and, when confirmed, takes the fields and reinitialises.
    virtual void Edit() = 0;
    // The "Set" request of a control object; nothing for the other types.
    virtual void ExecuteSet() = 0;
    // After the collection's bounds changed; nothing in the four types.
    virtual void OnLayout() = 0;
    // Design mode only: the drag rectangle in a black dotted pen while dragging, else the rectangle in a
    // dotted pen of the active caption colour.
    virtual void DrawFrame(QPainter& painter, bool designMode) const;
    // Design mode's dragging; true when the object took the message. *redraw asks the host to fit to the
    // objects afterwards. Outside design mode nothing is taken. A move without the left button during a drag
    // cancels it as Escape does (its release went elsewhere), so that no object's windows stay hidden.
    virtual bool OnMouse(const PanelMouse& mouse, bool* redraw, bool designMode);
    // Ends a drag: with cancel the rectangle stays as it was; else as WM_LBUTTONUP does.
    virtual void EndDrag(bool cancel);
    // The object menu ("&Edit", "&Remove") at the point (object parent's client coordinates).
    virtual void OnContextMenu(int x, int y);

    // The movement limit given by the collection.
    void SetBounds(const PanelBounds& bounds) { bounds_ = bounds; }
    const PanelBounds& Bounds() const { return bounds_; }

    bool IsDragging() const { return dragMode_ != PanelDragMode::None; }
    PanelDragMode DragMode() const { return dragMode_; }
    QRect DragRect() const { return dragRect_; }

    int X() const { return x_; }
    int Y() const { return y_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    QRect Rect() const { return QRect(x_, y_, width_, height_); }
    int LabelWidth() const { return labelWidth_; }

    const std::u16string& Name() const { return name_; }
    void SetName(std::u16string name) { name_ = std::move(name); }
    const std::u16string& Description() const { return description_; }
    void SetDescription(std::u16string text) { description_ = std::move(text); }
    const std::u16string& InitScript() const { return initScript_; }
    void SetInitScript(std::u16string text) { initScript_ = std::move(text); }
    const std::u16string& SetScript() const { return setScript_; }
    void SetSetScript(std::u16string text) { setScript_ = std::move(text); }
    const std::u16string& GetScript() const { return getScript_; }
    void SetGetScript(std::u16string text) { getScript_ = std::move(text); }
    const std::u16string& Language() const { return language_; }
    void SetLanguage(std::u16string language) { language_ = std::move(language); }
    const std::u16string& QueuedScript() const { return queuedScript_; }

    // The caption label (null when there is none or no windows were made).
    QLabel* CaptionLabel() const { return caption_; }

protected:
    // Hands the worker the request and waits for it (the output lines are read and dropped). A failure
    // sets the status "Run-Time Error", shows the worker's error text in a "Run-Time Error" box and gives
    // false. No worker: false with the status.
    bool RunRequest(std::u16string_view name, std::u16string_view first, std::u16string_view second = {});
    // Runs the text directly through the worker's script executive (AddScript) and reports as RunRequest.
    bool RunDirect(std::u16string_view script);
    // Waits for the posted request as RunRequest does.
    bool WaitForWorker();

    IPanelHost& host_;
    CTestExecutive* worker_; // not owned; may be null in hosts without scripts

    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::u16string name_;
    std::u16string description_;
    std::u16string initScript_;
    std::u16string setScript_;
    std::u16string getScript_;
    std::u16string language_;
    int labelWidth_ = 0;          // 0: no caption label
    PanelBounds bounds_;          // movement limit
    std::u16string queuedScript_; // runs with the next refresh (a Set during a refresh)
    QPointer<QLabel> caption_;    // owned (a child of the host's parent); null when none

private:
    void StartDrag(const PanelMouse& mouse);
    void FollowDrag(const PanelMouse& mouse);
    void FinishDrag();
    PanelDragMode ModeAt(int x, int y) const;
    static Qt::CursorShape CursorOf(PanelDragMode mode);

    PanelDragMode dragMode_ = PanelDragMode::None; // window thread
    QPoint dragStart_;                             // window thread
    QRect dragRect_;                               // window thread: the rectangle being dragged
};

// A new empty object of the panel file's type ("control", "graph", "group", "picture", any case); null for
// any other type.
std::unique_ptr<CPObject> CreatePanelObject(std::u16string_view type, IPanelHost& host,
                                            CTestExecutive* worker);
