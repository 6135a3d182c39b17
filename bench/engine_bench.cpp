// Calls per second from JScript into the test engine (a property read and a method call on `engine`, the
// named item with global members the script executive makes of it) and into a socket property (`dev.Volt`, a
// socket of the power supply adapter over an in-process connection that answers at once), with ratios against
// a call of a JScript function that does nothing, in the same run.
#include "bench/ratio_reporter.h"
#include "corvant.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace vrbench {
namespace {

// Each benchmark iteration runs one script function that makes this many calls in a loop.
constexpr LONG kCallsPerRun = 1000;

constexpr const char16_t* kScript =
    u"function nothing() {}\n"
    u"function callNothing(n) { for (var i = 0; i < n; i++) nothing(); }\n"
    u"function readProperty(n) { for (var i = 0; i < n; i++) engine.TestID; }\n"
    u"function callMethod(n) { for (var i = 0; i < n; i++) engine.IsOptionEnabled('StopLoop'); }\n"
    u"function readSocket(n) { for (var i = 0; i < n; i++) dev.Volt; }\n";

// A connection that answers every read at once with the same voltage, so that the socket's own work
// (lookup, compose, parse) is what the socket benchmark measures.
class InstantConnection : public vr::ObjectRoot, public IVrConnection {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT FindResources(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT Init(BSTR, BSTR, int32_t, VrAccessMode) override { return S_OK; }
    HRESULT Close() override { return S_OK; }
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT UnlockRsrc() override { return E_NOTIMPL; }
    HRESULT Clear() override { return S_OK; }
    HRESULT ReadString(BSTR, int32_t, int32_t, BSTR* data) override {
        *data = SysAllocString(u"4.980\n");
        return *data ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT WriteString(BSTR data, int32_t* count) override {
        *count = static_cast<int32_t>(SysStringLen(data));
        return S_OK;
    }
    HRESULT Write(VARIANT, VARIANT, int32_t*) override { return E_NOTIMPL; }
    HRESULT Handle(BSTR, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_LastReadStatus(VrReadStatus* status) override {
        *status = TerminationString;
        return S_OK;
    }
    HRESULT get_Attributes(IVrAttributeCollection** attributes) override {
        *attributes = nullptr;
        return S_OK;
    }
};

// The script's host: it answers for the named item `engine`.
class BenchSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;
    vr::ComPtr<IUnknown> engine;
    vr::ComPtr<IUnknown> socket;

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        const vr::ComPtr<IUnknown>& object = std::u16string_view(name) == u"dev" ? socket : engine;
        return (mask & SCRIPTINFO_IUNKNOWN) ? object.CopyTo(item) : S_OK;
    }
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError*) override { return S_OK; }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

IDispatch* g_script = nullptr;

void BM_ScriptLoop(benchmark::State& state, const char16_t* function) {
    LPOLESTR name = const_cast<LPOLESTR>(function);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(g_script->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))) {
        state.SkipWithError("the script has no such function");
        return;
    }
    VARIANT count;
    VariantInit(&count);
    count.vt = VT_I4;
    count.lVal = kCallsPerRun;
    DISPPARAMS params{&count, nullptr, 1, 0};
    for (auto _ : state) {
        if (FAILED(g_script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr))) {
            state.SkipWithError("the script failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}
BENCHMARK_CAPTURE(BM_ScriptLoop, empty_function, u"callNothing");
BENCHMARK_CAPTURE(BM_ScriptLoop, engine_property, u"readProperty");
BENCHMARK_CAPTURE(BM_ScriptLoop, engine_method, u"callMethod");
BENCHMARK_CAPTURE(BM_ScriptLoop, socket_property, u"readSocket");

// The power supply's socket over the instant connection; null (and the socket benchmark skipped) when the
// socket cannot be made.
vr::ComPtr<IUnknown> MakeBenchSocket() {
    vr::ComPtr<IVrSocket> socket;
    vr::ComObjectPtr<InstantConnection> connection;
    if (FAILED(CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrSocket>(),
                                socket.PutVoid())) ||
        FAILED(vr::ComObject<InstantConnection>::Create(&connection))) {
        return nullptr;
    }
    _variant_t link(static_cast<IUnknown*>(static_cast<IVrConnection*>(connection.Get())));
    _bstr_t setup("AdapterFile=" BENCH_DATA_DIR "/plugmar_powersupply.daf");
    if (FAILED(socket->Init(setup, link))) {
        std::fprintf(stderr, "The power supply's socket did not start; its benchmark is skipped.\n");
        return nullptr;
    }
    return vr::ComPtr<IUnknown>(socket.Get());
}

int Run(int argc, char** argv) {
    vr::ComPtr<IVrTestEngine> engine;
    vr::ComPtr<IActiveScript> script;
    vr::ComPtr<IActiveScriptParse> parse;
    if (FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IVrTestEngine,
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
    site->engine = engine.Get();
    site->socket = MakeBenchSocket();
    vr::ComPtr<IDispatch> globals;
    if (FAILED(script->SetScriptSite(site.Get())) || FAILED(parse->InitNew()) ||
        FAILED(script->AddNamedItem(u"engine", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS)) ||
        (site->socket && FAILED(script->AddNamedItem(u"dev", SCRIPTITEM_ISVISIBLE))) ||
        FAILED(parse->ParseScriptText(kScript, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr,
                                      nullptr)) ||
        FAILED(script->GetScriptDispatch(nullptr, globals.Put()))) {
        std::fprintf(stderr, "The benchmark's script did not start.\n");
        return 1;
    }
    g_script = globals.Get();
    int result = RunWithRatios(argc, argv, "BM_ScriptLoop/empty_function");
    g_script = nullptr;
    globals = nullptr;
    (void)script->Close();
    return result;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    // From the build tree the engine and JScript are found through the registry the build registers them in.
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    // The engine opens the results database of the data home: a folder of the run's own keeps the user's.
    char home[] = "/tmp/engine-bench-XXXXXX";
    if (!getenv("VORNIC_HOME") && mkdtemp(home)) {
        setenv("VORNIC_HOME", home, 1);
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv);
    CoUninitialize();
    return result;
}
