// The test-execution worker's own time per test: Preset, Test and Reset of a script whose methods do nothing,
// posted to the worker and waited for as the programs do, against the same calls made directly on a script
// executive in the calling thread, in one run, by wall time (the waiting thread's CPU time would leave out
// the worker's). The hardware manager stands in, registered in the process.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "bench/ratio_reporter.h"
#include "bench/worker_requests.h"
#include "common/proxies/SystemProxies.h"
#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vrbench {
namespace {

constexpr const char16_t* kScript = u"function Preset() {}\nfunction Test() {}\nfunction Reset() {}\n";
constexpr const char16_t* kMethods[] = {u"Preset", u"Test", u"Reset"};

CTestExecutive* g_worker = nullptr;
IScrivon* g_direct = nullptr;

void BM_TestThroughWorker(benchmark::State& state) {
    for (auto _ : state) {
        for (const char16_t* method : kMethods) {
            if (!RunRequest(*g_worker, method)) {
                state.SkipWithError("a request failed");
                return;
            }
        }
    }
}
BENCHMARK(BM_TestThroughWorker)->UseRealTime();

// The same three calls the worker makes for each request, made in this thread.
void BM_TestDirect(benchmark::State& state) {
    for (auto _ : state) {
        for (const char16_t* method : kMethods) {
            BSTR name = vr::AllocBstr(method);
            VARIANT_BOOL available = VARIANT_FALSE;
            VARIANT result;
            VariantInit(&result);
            HRESULT hr = g_direct->IsMethodAvailable(name, &available);
            if (SUCCEEDED(hr) && available == VARIANT_TRUE) {
                hr = g_direct->Execute(name, &result);
            }
            (void)VariantClear(&result);
            SysFreeString(name);
            if (FAILED(hr)) {
                state.SkipWithError("a call failed");
                return;
            }
        }
    }
}
BENCHMARK(BM_TestDirect)->UseRealTime();

bool LoadInto(CTestExecutive& worker) {
    HRESULT hr = worker.Set(vr::AllocBstr(u"JScript"), vr::AllocBstr(kScript), vr::AllocBstr(u""),
                            vr::AllocBstr(u"sn=Bench"));
    return SUCCEEDED(hr) && RunRequest(worker, u"");
}

bool LoadDirect(IScrivon* executive, IVrTestEngine* engine) {
    BSTR language = vr::AllocBstr(u"JScript");
    BSTR code = vr::AllocBstr(kScript);
    bool loaded = SUCCEEDED(executive->Init(engine)) && SUCCEEDED(executive->put_ScriptLanguage(language)) &&
                  SUCCEEDED(executive->AddScript(code));
    SysFreeString(language);
    SysFreeString(code);
    return loaded;
}

int Run(int argc, char** argv) {
    vr::RegisterSystemProxies();
    scripvanetest::ClassRegistration hardware(CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
    auto worker = std::make_unique<CTestExecutive>();
    vr::ComPtr<IVrTestEngine> engine;
    vr::ComPtr<IScrivon> executive;
    if (!worker->EngineProxy ||
        FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrTestEngine>(),
                                engine.PutVoid())) ||
        FAILED(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_INPROC_SERVER,
                                vr::uuidof<IScrivon>(), executive.PutVoid()))) {
        std::fprintf(stderr, "The test engine or the script executive is not registered in %s.\n",
                     getenv("VORNIC_REGISTRY"));
        return 1;
    }
    if (!LoadInto(*worker) || !LoadDirect(executive.Get(), engine.Get())) {
        std::fprintf(stderr, "The benchmark's script did not load.\n");
        return 1;
    }
    g_worker = worker.get();
    g_direct = executive.Get();
    int result = RunWithRatios(argc, argv, "BM_TestDirect", RatioTime::Wall);
    g_worker = nullptr;
    g_direct = nullptr;
    (void)executive->Close();
    executive = nullptr;
    engine = nullptr;
    worker.reset();
    return result;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    // The engine opens the results database of the data home: a folder of the run's own keeps the user's.
    char home[] = "/tmp/worker-bench-XXXXXX";
    if (!getenv("VORNIC_HOME") && mkdtemp(home)) {
        setenv("VORNIC_HOME", home, 1);
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv);
    CoUninitialize();
    return result;
}
