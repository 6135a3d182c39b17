// Points added one by one from JScript into the graph window of the graph host (engine.graph, a control in
// another process that paints each point before the call returns), against a script loop calling a trivial
// member of the engine, in the same run: time per point over time per engine call.
#include "bench/ratio_reporter.h"
#include "corvant.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace vrbench {
namespace {

// Each benchmark iteration makes this many calls from one script function.
constexpr LONG kPointsPerRun = 10000;

constexpr const char16_t* kScript =
    u"function callEngine(n) { for (var i = 0; i < n; i++) engine.IsOptionEnabled('StopLoop'); }\n"
    u"function putPoints(n) {\n"
    u"  var graph = engine.graph;\n"
    u"  graph.Init();\n"
    u"  graph.SetDataWindow(0, n, n / 10, 0, 100, 10);\n"
    u"  for (var i = 0; i < n; i++) graph.PutPoint(i, i % 100);\n"
    u"}\n";

// The script's host: it answers for the named item `engine`.
class BenchSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;
    vr::ComPtr<IUnknown> engine; // main thread only

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        return (mask & SCRIPTINFO_IUNKNOWN) ? engine.CopyTo(item) : S_OK;
    }
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError*) override { return S_OK; }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

IDispatch* g_script = nullptr; // main thread only, set while the benchmarks run

void BM_GraphScript(benchmark::State& state, const char16_t* function) {
    LPOLESTR name = const_cast<LPOLESTR>(function);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(g_script->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))) {
        state.SkipWithError("the script has no such function");
        return;
    }
    VARIANT count;
    VariantInit(&count);
    count.vt = VT_I4;
    count.lVal = kPointsPerRun;
    DISPPARAMS params{&count, nullptr, 1, 0};
    for (auto _ : state) {
        if (FAILED(g_script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr))) {
            state.SkipWithError("the script failed (is the graph host registered?)");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPointsPerRun);
}
BENCHMARK_CAPTURE(BM_GraphScript, engine_call, u"callEngine")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GraphScript, graph_point, u"putPoints")->UseRealTime()->Unit(benchmark::kMillisecond);

int Run(int argc, char** argv) {
    vr::ComPtr<IUnknown> engine;
    vr::ComPtr<IActiveScript> script;
    vr::ComPtr<IActiveScriptParse> parse;
    if (FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                engine.PutVoid())) ||
        FAILED(CoCreateInstance(CLSID_JScript, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(),
                                script.PutVoid())) ||
        FAILED(script->QueryInterface(parse.Put()))) {
        std::fprintf(stderr, "The test engine or JScript is not registered in %s.\n",
                     getenv("VORNIC_REGISTRY"));
        return 1;
    }
    vr::ComObjectPtr<BenchSite> site;
    if (FAILED(vr::ComObject<BenchSite>::Create(&site))) {
        return 1;
    }
    site->engine = engine;
    vr::ComPtr<IDispatch> globals;
    if (FAILED(script->SetScriptSite(site.Get())) || FAILED(parse->InitNew()) ||
        FAILED(script->AddNamedItem(u"engine", SCRIPTITEM_ISVISIBLE)) ||
        FAILED(parse->ParseScriptText(kScript, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr,
                                      nullptr)) ||
        FAILED(script->GetScriptDispatch(nullptr, globals.Put()))) {
        std::fprintf(stderr, "The benchmark's script did not start.\n");
        return 1;
    }
    g_script = globals.Get();
    int result = RunWithRatios(argc, argv, "BM_GraphScript/engine_call", RatioTime::Wall);
    g_script = nullptr;
    globals = nullptr;
    (void)script->Close(); // the run is over either way
    return result;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    // From the build tree the engine, JScript, the graph host and its control are found through the registry
    // the build registers them in.
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    // The engine's results database and the graph host's registration stay in folders of the run's own.
    char home[] = "/tmp/graph-bench-XXXXXX";
    if (!getenv("VORNIC_HOME") && mkdtemp(home)) {
        setenv("VORNIC_HOME", home, 1);
    }
    char runtime[] = "/tmp/graph-bench-run-XXXXXX";
    if (mkdtemp(runtime)) {
        setenv("XDG_RUNTIME_DIR", runtime, 1);
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv);
    CoUninitialize();
    return result;
}
