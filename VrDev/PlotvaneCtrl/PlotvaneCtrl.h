// CPlotvaneCtrl: the graph control object that scripts drive through IPlotvane, with its window seam and
// its registration in the running object table while its window exists.
#pragma once

#include "GraphPlot.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/ui/control.h"
#include "plotvane.h"

#include <QPointer>

namespace plotvane {

class PlotvaneWidget;

// An argument error of a member: Invoke reports it as EXCEPINFO wCode 1001 with the message text.
inline constexpr HRESULT kArgumentError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1001);

// Threads: apartment-threaded; the container's window thread makes every call, nothing is locked.
class CPlotvaneCtrl : public vr::ObjectRoot,
                      public vr::CoClass<CPlotvaneCtrl>,
                      public vr::DispatchImpl<CPlotvaneCtrl, IPlotvane>,
                      public vr::SupportErrorInfoImpl<IPlotvane>,
                      public IVrControl {
public:
    using Interfaces = vr::InterfaceList<IPlotvane, IDispatch, ISupportErrorInfo, IVrControl>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CPlotvaneCtrl>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();

    // IDispatch: the table's Invoke, with argument errors carried as wCode 1001.
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;

    // IVrControl: the window, registered in the running object table while it exists (see plotvane.h).
    HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) override;

    // The members of IPlotvane.
    HRESULT AboutBox();
    HRESULT Init(VARIANT vOptions);
    HRESULT Clear();
    HRESULT ClearGraph(VARIANT nGraphIndex);
    HRESULT PutPoint(double dX, double dY, VARIANT nGraphIndex);
    HRESULT PutWave(VARIANT vData, VARIANT dXStep, VARIANT nGraphIndex);
    HRESULT SetCursor(double dX);
    HRESULT SetMarker(double dX);
    HRESULT SetYLimits(double dYLow, double dYHigh);
    HRESULT SetDataWindow(double dXBegin, double dXEnd, double dXStep, double dYBegin, double dYEnd,
                          double dYStep);
    HRESULT SetCaption(BSTR sCaption);
    HRESULT SetGraphName(BSTR sName, VARIANT nGraphIndex);
    HRESULT SetOptions(BSTR sOptions, VARIANT nGraphIndex);
    HRESULT get_window(LONG nGraphWindow, IDispatch** ppWindow);
    HRESULT put_window(LONG nGraphWindow, IDispatch* pWindow);
    HRESULT get__graphRefs(LONG nOptions, IDispatch** ppRefs);
    HRESULT put__graphRefs(LONG nOptions, IDispatch* pRefs);
    HRESULT _SetNextGraph();

    // For the window and for tests.
    CGraphPlot& Plot() { return plot_; }
    // Whether the next paint draws everything (false only between an incremental update and that paint).
    bool FullRepaint() const { return fullRepaint_; }
    // Every paint ends with this: the next one is full unless an incremental update asks otherwise.
    void PaintDone() {
        fullRepaint_ = true;
        erasePending_ = false;
    }
    bool IsRegistered() const { return registered_; }
    // Called by the window as it goes: gives up the registration and the outside users.
    void WindowDestroyed();

private:
    // Repaint requests on the control's window (none while it has no window).
    enum class Repaint { Later, Now, Incremental, Parent };
    void RequestRepaint(Repaint how);

    // Reads a graph index: missing keeps fallback; else converted to a 32-bit integer. False when that
    // fails, for a value above 4 and, without allowNegative, for one below 0.
    static bool ReadGraphIndex(const VARIANT& value, int fallback, bool allowNegative, int* index);
    // Traces the argument error and returns it with its error information.
    HRESULT ArgumentError(const std::u16string& text);
    HRESULT AppendWaveData(int index, const VARIANT& data);
    void Register();

    // Every member: the window thread only (the apartment's thread), so nothing is locked.
    CGraphPlot plot_;
    bool fullRepaint_ = true;
    bool erasePending_ = false;       // a full paint was asked for (update) and has not run yet
    QPointer<PlotvaneWidget> window_; // the widget belongs to its Qt parent; null once it is gone
    DWORD cookie_ = 0;                // the running object table's registration, while registered_
    bool registered_ = false;
};

} // namespace plotvane
