// CTestEngine: the graph control of the operator's window, handed to the script as `graph`.
#include "TestEngine.h"

#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/com/rot.h"
#include "platform/com/typeinfo.h"

#include <chrono>

namespace corvant {

namespace {

// What the object's dispatch type information says of it.
enum class DescribedAs { Plotvane, Other, Unknown };

// An object of another process keeps its type information there (its proxy has none): Unknown.
DescribedAs DescriptionOf(IDispatch* object) {
    UINT count = 0;
    if (SUCCEEDED(object->GetTypeInfoCount(&count)) && count == 0) {
        return DescribedAs::Unknown;
    }
    vr::ComPtr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, 0, info.Put())) || !info) {
        return DescribedAs::Other;
    }
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes)) || !attributes) {
        return DescribedAs::Other;
    }
    const bool plotvane = attributes->guid == IID_IPlotvane;
    info->ReleaseTypeAttr(attributes);
    return plotvane ? DescribedAs::Plotvane : DescribedAs::Other;
}

// Where an object to be taken as the graph comes from.
enum class GraphSource { Caller, RunningObjectTable };

// The object's IPlotvane as its dispatch interface. A running object reached through the running object
// table, or an object from another apartment, answers IDispatch for it: such an object counts when its
// type information names IPlotvane. One registered under the graph control's class by another process has
// no type information here: its registration under that class stands for it.
HRESULT AskForPlotvane(IUnknown* object, GraphSource source, vr::ComPtr<IDispatch>* graph) {
    if (SUCCEEDED(object->QueryInterface(IID_IPlotvane, graph->PutVoid())) && *graph) {
        return S_OK;
    }
    vr::ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(object->QueryInterface(IID_IDispatch, dispatch.PutVoid())) && dispatch) {
        const DescribedAs described = DescriptionOf(dispatch.Get());
        if (described == DescribedAs::Plotvane ||
            (described == DescribedAs::Unknown && source == GraphSource::RunningObjectTable)) {
            *graph = dispatch;
            return S_OK;
        }
    }
    *graph = nullptr;
    return E_NOINTERFACE;
}

} // namespace

namespace {

// A graph of another process: its proxy answers the count of type information itself, so a name lookup,
// which reaches the graph, tells whether it is still there (its window may have been closed).
bool HasGone(IDispatch* graph) {
    UINT count = 0;
    if (FAILED(graph->GetTypeInfoCount(&count))) {
        return true;
    }
    if (count != 0) {
        return false;
    }
    OLECHAR name[] = u"PutPoint";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = graph->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == CO_E_OBJNOTCONNECTED;
}

} // namespace

void CTestEngine::ProbeHeldGraph() {
    if (graph_ && HasGone(graph_.Get())) {
        TraceInfo(u"WARNING: Previous m_pPlotvane has been expired.");
        graph_ = nullptr;
    }
}

// With no graph control running, a graph host is asked to make one, and the wait for it to register is
// bounded: it ends after kGraphWaitMilliseconds, or at once when the run is interrupted.
HRESULT CTestEngine::FindRunningGraph(vr::ComPtr<IUnknown>* running) {
    if (SUCCEEDED(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, running->Put()))) {
        return S_OK;
    }
    graphHost_ = nullptr;
    (void)CoCreateInstance(CLSID_GraphHost, nullptr, CLSCTX_ALL, IID_IUnknown, graphHost_.PutVoid());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kGraphWaitMilliseconds);
    while (FAILED(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, running->Put()))) {
        if (std::chrono::steady_clock::now() >= deadline || FAILED(Delay(100))) {
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CTestEngine::get_graph(IDispatch** ppGraph) {
    SetTraceMethodName(u"CTestEngine::get_graph()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!ppGraph) {
        return E_POINTER;
    }
    *ppGraph = nullptr;
    ProbeHeldGraph();
    if (!graph_) {
        vr::ComPtr<IUnknown> running;
        HRESULT hr = FindRunningGraph(&running);
        SetTraceMethodName(u"CTestEngine::get_graph()");
        if (FAILED(hr) || FAILED(AskForPlotvane(running.Get(), GraphSource::RunningObjectTable, &graph_))) {
            SetTraceSite();
            TraceError(u"Couldn't find Plotvane object.");
            return Finish(E_FAIL);
        }
    }
    return graph_.CopyTo(ppGraph);
}

HRESULT CTestEngine::put_graph(IDispatch* pGraph) {
    SetTraceMethodName(u"CTestEngine::put_graph()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pGraph) {
        return E_POINTER;
    }
    vr::ComPtr<IDispatch> graph;
    if (FAILED(AskForPlotvane(pGraph, GraphSource::Caller, &graph))) {
        SetTraceSite();
        TraceError(u"The object doesn't support IPlotvane interface.");
        return Finish(E_FAIL);
    }
    graph_ = graph;
    return S_OK;
}

} // namespace corvant
