// Controls on Qt: an object that is both an IDispatch object and a widget, created by CLSID from a registered
// in-process server, reporting its events as Qt signals and its notices to the parent as posted events; and
// the typed way a host lends one of its own objects to a control in the same process.
//
// A host creates a control with CreateControl: the class is made by CoCreateInstance (in-process servers
// only), its IVrControl interface makes the widget as a child of the host's parent widget, and the host
// then calls the control through its IDispatch. The control emits its events as Qt signals of its widget
// and posts its notices to the parent as ControlNotice events, delivered when the parent's thread runs its
// event loop (the posted window messages of a desktop control).
//
// Threads: everything here runs on the window thread that owns the parent widget.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

#include <QEvent>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

// What a control object offers its host besides IDispatch: making its widget. In-process only: it passes a
// widget pointer, so it has no proxy and never crosses an apartment or a process.
struct IVrControl : IUnknown {
    // Makes the control's widget as a child of parent at geometry (in the parent's coordinates) and returns
    // it in *widget (owned by the parent, as every child widget). E_INVALIDARG for a null parent or widget
    // pointer; E_UNEXPECTED when the widget exists already (one per control object).
    [[nodiscard]] virtual HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry,
                                                      QWidget** widget) = 0;

protected:
    ~IVrControl() = default;
};

VR_DECLARE_INTERFACE_ID(IVrControl, "6A0E3B0C-2F4D-4E5B-9C1A-7B8D2E4F1A30")

// An object the host lends, as a VARIANT of type VT_UNKNOWN: the pointer and the identifier of its C++
// type. Only in-process: the interface has no proxy, so a lent object cannot be reached from another
// apartment or process (the receiver's QueryInterface fails), and the object answers only in the process
// that lent it.
struct IVrLentObject : IUnknown {
    // *object = the lent pointer when type is its type and the caller runs in the lending process;
    // E_NOINTERFACE otherwise, E_POINTER for a null object.
    [[nodiscard]] virtual HRESULT GetLentObject(REFGUID type, void** object) = 0;

protected:
    ~IVrLentObject() = default;
};

VR_DECLARE_INTERFACE_ID(IVrLentObject, "0F6C9D2E-8B1A-4C7D-A3E5-5D2B7C9E4F61")

namespace vr::ui {

// A created control: its dispatch interface and its widget (null once the parent deleted it).
struct ControlHandle {
    ComPtr<IDispatch> dispatch;
    QPointer<QWidget> widget;
};

// Creates the control of class clsid as a child of parent at geometry. REGDB_E_CLASSNOTREG when no
// in-process server is registered for the class, E_NOINTERFACE when the object is no control (no IDispatch
// or no IVrControl), or the failure of creating it or its widget; *control is left empty on failure.
[[nodiscard]] HRESULT CreateControl(REFCLSID clsid, QWidget* parent, const QRect& geometry,
                                    ControlHandle* control);

// A notice a control posts to its parent widget: the message number, the control's widget (the sender) and
// the message's text (a name, for instance). A parent handles it in its event() or an event filter.
class ControlNotice : public QEvent {
public:
    ControlNotice(UINT message, QWidget* sender, QString text);

    // The event type of every notice, registered once per process.
    static QEvent::Type EventType();

    UINT Message() const { return message_; }
    QWidget* Sender() const { return sender_; }
    const QString& Text() const { return text_; }

private:
    UINT message_;
    QPointer<QWidget> sender_; // the control's widget; null once it is gone
    QString text_;
};

// Posts a notice to parent; delivered when the parent's thread runs its event loop. Nothing when parent is
// null.
void PostControlNotice(QWidget* parent, UINT message, QWidget* sender, const QString& text);

// The page of a control's placeholder property page: an empty widget, one per page object. A property page
// class holds one and answers IVrControl::CreateControlWidget with Create.
class EmptyPage {
public:
    // Makes the page as a child of parent at geometry: E_INVALIDARG for a null parent or widget pointer,
    // E_UNEXPECTED while the page made before still exists.
    [[nodiscard]] HRESULT Create(QWidget* parent, const QRect& geometry, QWidget** widget);

private:
    QPointer<QWidget> page_; // window thread; null until made and once its parent deleted it
};

// ---- Lending an object of the host to a control in the same process (IVrLentObject) ----

// Fills *lent (cleared first) with a VT_UNKNOWN that lends object as type. The object stays the host's and
// must outlive every use the receiver makes of it.
[[nodiscard]] HRESULT LendObject(REFGUID type, void* object, VARIANT* lent);
// The object a VARIANT lends as type, or null when it lends nothing of that type here (another type, an
// object of another process, another kind of VARIANT).
void* LentObjectOf(const VARIANT& lent, REFGUID type);

} // namespace vr::ui
