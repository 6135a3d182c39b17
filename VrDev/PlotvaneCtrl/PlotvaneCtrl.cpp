// CPlotvaneCtrl: the dispatch table, the members of IPlotvane, and the window with its registration.
#include "PlotvaneCtrl.h"

#include "PlotvaneWidget.h"
#include "common/trace/Trace.h"
#include "platform/com/comptr.h"
#include "platform/com/rot.h"
#include "platform/ui/message_box.h"

#include <cmath>

namespace plotvane {

namespace {

constexpr DISPID DISPID_ABOUTBOX = -552;
constexpr DISPID kDispidWindow = 13;
// The source line that the window property's put reports, as the control has always reported it.
constexpr int kWindowPutLine = 648;

std::u16string TextOf(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

// A VARIANT converted in place of its own, cleared at the end of the scope.
class ConvertedVariant {
public:
    ConvertedVariant() { VariantInit(&value_); }
    ~ConvertedVariant() { (void)VariantClear(&value_); } // nothing to report: a plain number or none
    ConvertedVariant(const ConvertedVariant&) = delete;
    ConvertedVariant& operator=(const ConvertedVariant&) = delete;
    bool From(const VARIANT& source, VARTYPE vt) {
        return SUCCEEDED(VariantChangeType(&value_, &source, 0, vt));
    }
    const VARIANT& Get() const { return value_; }

private:
    VARIANT value_;
};

} // namespace

const vr::DispatchTable<CPlotvaneCtrl>& CPlotvaneCtrl::GetDispatchTable() {
    using D = vr::DispatchTable<CPlotvaneCtrl>;
    using vr::Param;
    static const D table(
        u"IPlotvane",
        {
            D::Method<&CPlotvaneCtrl::AboutBox>(DISPID_ABOUTBOX, u"AboutBox"),
            D::Method<&CPlotvaneCtrl::Init>(1, u"Init", {Param(u"vOptions").Optional()}),
            D::Method<&CPlotvaneCtrl::Clear>(2, u"Clear"),
            D::Method<&CPlotvaneCtrl::ClearGraph>(3, u"ClearGraph", {Param(u"nGraphIndex").Optional()}),
            D::Method<&CPlotvaneCtrl::PutPoint>(4, u"PutPoint",
                                                {u"dX", u"dY", Param(u"nGraphIndex").Optional()}),
            D::Method<&CPlotvaneCtrl::PutWave>(
                5, u"PutWave", {u"vData", Param(u"dXStep").Optional(), Param(u"nGraphIndex").Optional()}),
            D::Method<&CPlotvaneCtrl::SetCursor>(6, u"SetCursor", {u"dX"}),
            D::Method<&CPlotvaneCtrl::SetMarker>(7, u"SetMarker", {u"dX"}),
            D::Method<&CPlotvaneCtrl::SetYLimits>(8, u"SetYLimits", {u"dYLow", u"dYHigh"}),
            D::Method<&CPlotvaneCtrl::SetDataWindow>(
                9, u"SetDataWindow", {u"dXBegin", u"dXEnd", u"dXStep", u"dYBegin", u"dYEnd", u"dYStep"}),
            D::Method<&CPlotvaneCtrl::SetCaption>(10, u"SetCaption", {u"sCaption"}),
            D::Method<&CPlotvaneCtrl::SetGraphName>(11, u"SetGraphName",
                                                    {u"sName", Param(u"nGraphIndex").Optional()}),
            D::Method<&CPlotvaneCtrl::SetOptions>(12, u"SetOptions",
                                                  {u"sOptions", Param(u"nGraphIndex").Optional()}),
            D::PropGet<&CPlotvaneCtrl::get_window>(kDispidWindow, u"window", {u"nGraphWindow", u"ppWindow"}),
            D::PropPut<&CPlotvaneCtrl::put_window>(kDispidWindow, u"window", {u"nGraphWindow", u"pWindow"}),
            D::PropGet<&CPlotvaneCtrl::get__graphRefs>(14, u"_graphRefs", {u"nOptions", u"ppRefs"}),
            D::PropPut<&CPlotvaneCtrl::put__graphRefs>(14, u"_graphRefs", {u"nOptions", u"pRefs"}),
            D::Method<&CPlotvaneCtrl::_SetNextGraph>(25, u"_SetNextGraph"),
        });
    return table;
}

HRESULT CPlotvaneCtrl::FinalConstruct() {
    SetTraceMethodName(u"CPlotvaneCtrl::CPlotvaneCtrl()");
    TraceFunction(u"CPlotvaneCtrl::CPlotvaneCtrl()", 1);
    return S_OK;
}

void CPlotvaneCtrl::FinalRelease() {
    SetTraceMethodName(u"CPlotvaneCtrl::~CPlotvaneCtrl()");
    TraceFunction(u"CPlotvaneCtrl::CPlotvaneCtrl()", -1);
    // Only a control that never registered can go while its window stays: the window goes with it.
    if (window_) {
        window_->DetachControl();
        delete window_.data();
    }
}

HRESULT CPlotvaneCtrl::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT* argError) {
    // The window property is also the control's default member.
    const DISPID member = id == DISPID_VALUE ? kDispidWindow : id;
    const HRESULT hr = DispatchImpl::Invoke(member, riid, lcid, flags, params, result, excep, argError);
    if (hr == DISP_E_EXCEPTION && excep && excep->scode == kArgumentError) {
        excep->wCode = 1001;
        excep->scode = 0; // an exception is told by wCode or by scode, never both
    }
    return hr;
}

// ---- The window and the running object table ----

HRESULT CPlotvaneCtrl::CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) {
    if (!widget || !parent) {
        return E_INVALIDARG;
    }
    *widget = nullptr;
    if (window_) {
        return E_UNEXPECTED;
    }
    window_ = new PlotvaneWidget(this, parent);
    window_->setGeometry(geometry);
    Register();
    *widget = window_.data();
    return S_OK;
}

void CPlotvaneCtrl::Register() {
    IUnknown* identity = static_cast<IPlotvane*>(this);
    registered_ = SUCCEEDED(RegisterActiveObject(identity, CLSID_PlotvaneCtrl, ACTIVEOBJECT_WEAK, &cookie_));
    if (registered_) {
        // Keeps the control alive and connected while its window exists; the weak registration holds nothing.
        (void)CoLockObjectExternal(identity, TRUE, TRUE); // cannot fail for a live object of this process
        return;
    }
    (void)vr::ui::MessageBox(window_.data(), u"Didn't register the Plotvane Active Object", u"Plotvane",
                             MB_OK); // OK is the only answer
}

void CPlotvaneCtrl::WindowDestroyed() {
    window_ = nullptr;
    if (!registered_) {
        return;
    }
    registered_ = false;
    IUnknown* identity = static_cast<IPlotvane*>(this);
    // Giving back the outside lock may release the last reference: stay alive until the end of this call.
    vr::ComPtr<IUnknown> keepAlive(identity);
    (void)CoLockObjectExternal(identity, FALSE, TRUE); // the lock taken in Register
    (void)RevokeActiveObject(cookie_, nullptr);        // the cookie is ours and still registered
    (void)CoDisconnectObject(identity, 0);             // nothing to report: the window is going anyway
}

void CPlotvaneCtrl::RequestRepaint(Repaint how) {
    // Every repaint but an incremental one erases, so the paint after it draws everything afresh; an
    // incremental one that comes while such a paint is still due keeps it full.
    fullRepaint_ = how != Repaint::Incremental || erasePending_;
    if (!window_) {
        return;
    }
    switch (how) {
    case Repaint::Later:
        erasePending_ = true;
        window_->update();
        break;
    case Repaint::Now:
        erasePending_ = true; // a hidden window paints later, and that paint must still be full
        window_->repaint();
        break;
    case Repaint::Incremental:
        window_->RepaintAdded();
        break;
    case Repaint::Parent:
        erasePending_ = true;
        if (QWidget* parent = window_->parentWidget()) {
            parent->update();
        }
        window_->update(); // a parent's update repaints only what it covers itself
        break;
    }
}

// ---- Argument checks ----

HRESULT CPlotvaneCtrl::ArgumentError(const std::u16string& text) {
    SetTraceSite();
    TraceError(u"%s", text.c_str());
    return FailWithErrorInfo(CLSID_PlotvaneCtrl, kArgumentError);
}

bool CPlotvaneCtrl::ReadGraphIndex(const VARIANT& value, int fallback, bool allowNegative, int* index) {
    *index = fallback;
    if (vr::IsMissingArgument(value)) {
        return true;
    }
    ConvertedVariant number;
    // A negative index reaches no graph: ClearGraph and SetOptions take it as "all", the others refuse it.
    if (number.From(value, VT_I4) && number.Get().lVal <= 4 && (allowNegative || number.Get().lVal >= 0)) {
        *index = number.Get().lVal;
        return true;
    }
    return false;
}

// ---- Members ----

HRESULT CPlotvaneCtrl::AboutBox() {
    SetTraceMethodName(u"CPlotvaneCtrl::AboutBox()");
    (void)vr::ui::MessageBox(window_.data(), u"Plotvane Control, Version 1.0", u"About Plotvane Control",
                             MB_OK | MB_ICONINFORMATION); // OK is the only answer
    return S_OK;
}

HRESULT CPlotvaneCtrl::Init(VARIANT vOptions) {
    SetTraceMethodName(u"CPlotvaneCtrl::Init()");
    plot_.Reset();
    if (vOptions.vt == VT_BSTR) {
        const std::u16string wrong = plot_.ApplyOptions(TextOf(vOptions.bstrVal), -1);
        if (!wrong.empty()) {
            RequestRepaint(Repaint::Parent);
            return ArgumentError(u"graph.SetOptions(): Wrong value of '" + wrong + u"' parameter.");
        }
    }
    RequestRepaint(Repaint::Parent);
    return S_OK;
}

HRESULT CPlotvaneCtrl::Clear() {
    SetTraceMethodName(u"CPlotvaneCtrl::Clear()");
    plot_.Clear();
    RequestRepaint(Repaint::Now);
    return S_OK;
}

HRESULT CPlotvaneCtrl::ClearGraph(VARIANT nGraphIndex) {
    SetTraceMethodName(u"CPlotvaneCtrl::ClearGraph()");
    int index = -1;
    if (!ReadGraphIndex(nGraphIndex, -1, true, &index)) {
        return ArgumentError(u"graph.ClearGraph(): Wrong value of 'GraphIndex' parameter.");
    }
    plot_.ClearGraph(index);
    RequestRepaint(Repaint::Now);
    return S_OK;
}

HRESULT CPlotvaneCtrl::PutPoint(double dX, double dY, VARIANT nGraphIndex) {
    SetTraceMethodName(u"CPlotvaneCtrl::PutPoint()");
    int index = 1;
    if (!ReadGraphIndex(nGraphIndex, 1, false, &index)) {
        return ArgumentError(u"graph.PutPoint(): Wrong value of 'GraphIndex' parameter.");
    }
    plot_.PutPoint(index, dX, dY);
    RequestRepaint(Repaint::Incremental);
    return S_OK;
}

HRESULT CPlotvaneCtrl::PutWave(VARIANT vData, VARIANT dXStep, VARIANT nGraphIndex) {
    SetTraceMethodName(u"CPlotvaneCtrl::PutWave()");
    int index = 1;
    if (!ReadGraphIndex(nGraphIndex, 1, false, &index)) {
        return ArgumentError(u"graph.PutWave(): Wrong value of 'GraphIndex' parameter.");
    }
    // A new sweep has removed points: the next paint erases; otherwise it draws over the last picture.
    const bool restarted = plot_.RestartSweepIfPast(index);
    if (!vr::IsMissingArgument(dXStep)) {
        ConvertedVariant step;
        if (!step.From(dXStep, VT_R8)) {
            if (restarted) {
                RequestRepaint(Repaint::Now);
            }
            return ArgumentError(u"graph.PutWave(): Wrong value of 'XStep' parameter.");
        }
        plot_.SetWaveStep(index, step.Get().dblVal);
    }
    const HRESULT hr = AppendWaveData(index, UnwrapVariantRef(vData));
    RequestRepaint(restarted ? Repaint::Now : Repaint::Incremental);
    return hr;
}

HRESULT CPlotvaneCtrl::AppendWaveData(int index, const VARIANT& data) {
    if (data.vt == VT_BSTR) {
        (void)plot_.AppendWaveText(index, TextOf(data.bstrVal)); // a text without numbers adds nothing
        return S_OK;
    }
    if (data.vt == (VT_ARRAY | VT_VARIANT) && data.parray && SafeArrayGetDim(data.parray) == 1) {
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(data.parray, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(data.parray, 1, &upper))) {
            return TraceInternalError();
        }
        for (LONG i = lower; i <= upper; ++i) {
            VARIANT element;
            VariantInit(&element);
            ConvertedVariant number;
            // An element that cannot be read or converted is skipped: the rest of the wave still counts.
            if (SUCCEEDED(SafeArrayGetElement(data.parray, &i, &element)) && number.From(element, VT_R8)) {
                plot_.AppendWaveValue(index, number.Get().dblVal);
            }
            (void)VariantClear(&element); // a copy of ours; clearing it cannot fail
        }
        return S_OK;
    }
    ConvertedVariant number;
    if (!number.From(data, VT_R8)) {
        return ArgumentError(u"graph.PutWave(): Wrong value of 'Data' parameter: \"" + VariantToText(&data) +
                             u"\".");
    }
    plot_.AppendWaveValue(index, number.Get().dblVal);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetCursor(double dX) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetCursor()");
    plot_.SetCursor(dX);
    RequestRepaint(Repaint::Later);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetMarker(double dX) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetMarker()");
    plot_.SetMarker(dX);
    RequestRepaint(Repaint::Incremental);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetYLimits(double dYLow, double dYHigh) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetYLimits()");
    plot_.SetYLimits(dYLow, dYHigh);
    RequestRepaint(Repaint::Later);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetDataWindow(double dXBegin, double dXEnd, double dXStep, double dYBegin,
                                     double dYEnd, double dYStep) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetDataWindow()");
    plot_.SetDataWindow(AxisWindow{dXBegin, dXEnd, dXStep}, AxisWindow{dYBegin, dYEnd, dYStep});
    RequestRepaint(Repaint::Parent);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetCaption(BSTR sCaption) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetCaption()");
    plot_.SetCaption(TextOf(sCaption));
    RequestRepaint(Repaint::Later);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetGraphName(BSTR sName, VARIANT nGraphIndex) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetGraphName()");
    int index = 1;
    if (!ReadGraphIndex(nGraphIndex, 1, false, &index)) {
        return ArgumentError(u"graph.SetGraphName(): Wrong value of 'GraphIndex' parameter.");
    }
    plot_.GraphAt(index).name = TextOf(sName);
    RequestRepaint(Repaint::Later);
    return S_OK;
}

HRESULT CPlotvaneCtrl::SetOptions(BSTR sOptions, VARIANT nGraphIndex) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetOptions()");
    int index = -1;
    if (!ReadGraphIndex(nGraphIndex, -1, true, &index)) {
        return ArgumentError(u"graph.SetOptions(): Wrong value of 'GraphIndex' parameter.");
    }
    const std::u16string wrong = plot_.ApplyOptions(TextOf(sOptions), index);
    RequestRepaint(Repaint::Parent);
    if (!wrong.empty()) {
        return ArgumentError(u"graph.SetOptions(): Wrong value of '" + wrong + u"' parameter.");
    }
    return S_OK;
}

HRESULT CPlotvaneCtrl::get_window(LONG, IDispatch** ppWindow) {
    SetTraceMethodName(u"CPlotvaneCtrl::GetWindow()");
    if (!ppWindow) {
        return E_POINTER;
    }
    *ppWindow = nullptr;
    return S_OK;
}

HRESULT CPlotvaneCtrl::put_window(LONG, IDispatch*) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetWindow()");
    SetTraceSiteAt("PlotvaneCtrl", kWindowPutLine);
    TraceError(u"Vornic Error: A%d (%hs)", kWindowPutLine, "PlotvaneCtrl");
    return FailWithErrorInfo(CLSID_PlotvaneCtrl, kArgumentError);
}

HRESULT CPlotvaneCtrl::get__graphRefs(LONG, IDispatch** ppRefs) {
    SetTraceMethodName(u"CPlotvaneCtrl::GetGraphRefs()");
    if (!ppRefs) {
        return E_POINTER;
    }
    *ppRefs = nullptr;
    return S_OK;
}

HRESULT CPlotvaneCtrl::put__graphRefs(LONG, IDispatch*) {
    SetTraceMethodName(u"CPlotvaneCtrl::SetGraphRefs()");
    return S_OK;
}

HRESULT CPlotvaneCtrl::_SetNextGraph() {
    SetTraceMethodName(u"CPlotvaneCtrl::_SetNextGraph()");
    return S_OK;
}

} // namespace plotvane
