// The graph host's window with its one graph control, and the CGraphHost objects that clients create.
#pragma once

#include "graphhost.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/com/server.h"
#include "platform/ui/control.h"

#include <QPointer>
#include <QWidget>

namespace graphhost {

// The program's one window: a top-level widget filled by one graph control, made by the control factory.
// Open() makes it the first time and shows it; once the user closed it, it stays gone (the program is
// ending). Window thread only.
class HostWindow {
public:
    // The window, made and shown on the first call; S_OK also when it is open already. E_ABORT once it was
    // closed, or the failure of creating the control (its error information stays the thread's).
    [[nodiscard]] static HRESULT Open();
    // The open window, or null.
    static QWidget* Window();
    // Closes the window, if open, with its control: the program's end when it was idle.
    static void Close();
};

// What a client creates: opens the window; its member saves a picture of it. Apartment-threaded: the
// window thread serves every call; it has no state of its own.
class CGraphHost : public vr::ObjectRoot,
                   public vr::CoClass<CGraphHost>,
                   public vr::DispatchImpl<CGraphHost, IGraphHost>,
                   public vr::SupportErrorInfoImpl<IGraphHost> {
public:
    using Interfaces = vr::InterfaceList<IGraphHost, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CGraphHost>& GetDispatchTable();

    HRESULT FinalConstruct();
    HRESULT SavePicture(BSTR sFile);
};

// The registry entry of the class, served by this program (LocalServer32).
const vr::server::ClassEntry& GraphHostClass();

} // namespace graphhost
