// Calls per second from JScript into the test engine (a property read and a method call on `engine`, the
// named item with global members the script executive makes of it) and into a socket property (`dev.Volt`, a
// socket of the power supply adapter over an in-process connection that answers at once), with ratios against
// a call of a JScript function that does nothing, in the same run.
#include "bench/ratio_reporter.h"
#include "bench/script_bench.h"
#include "corvant.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/object.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

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

IDispatch* g_script = nullptr; // main thread only, set while the benchmarks run

void BM_ScriptLoop(benchmark::State& state, const char16_t* function) {
    RunScriptFunction(state, g_script, function, kCallsPerRun, "the script failed");
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
    if (FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IVrTestEngine,
                                engine.PutVoid()))) {
        std::fprintf(stderr, "The test engine is not registered in %s.\n", getenv("VORNIC_REGISTRY"));
        return 1;
    }
    std::vector<ScriptItem> items{
        {u"engine", vr::ComPtr<IUnknown>(engine.Get()), SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS}};
    if (vr::ComPtr<IUnknown> socket = MakeBenchSocket()) {
        items.push_back({u"dev", socket});
    }
    ScriptBench script;
    if (!script.Start(std::move(items), kScript)) {
        return 1;
    }
    g_script = script.Globals();
    int result = RunWithRatios(argc, argv, "BM_ScriptLoop/empty_function");
    g_script = nullptr;
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
