// Points added one by one from JScript into the graph window of the graph host (engine.graph, a control in
// another process that paints each point before the call returns), against a script loop calling a trivial
// member of the engine, in the same run: time per point over time per engine call.
#include "bench/ratio_reporter.h"
#include "bench/script_bench.h"
#include "corvant.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"

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

IDispatch* g_script = nullptr; // main thread only, set while the benchmarks run

void BM_GraphScript(benchmark::State& state, const char16_t* function) {
    RunScriptFunction(state, g_script, function, kPointsPerRun,
                      "the script failed (is the graph host registered?)");
}
BENCHMARK_CAPTURE(BM_GraphScript, engine_call, u"callEngine")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GraphScript, graph_point, u"putPoints")->UseRealTime()->Unit(benchmark::kMillisecond);

int Run(int argc, char** argv) {
    vr::ComPtr<IUnknown> engine;
    if (FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                engine.PutVoid()))) {
        std::fprintf(stderr, "The test engine is not registered in %s.\n", getenv("VORNIC_REGISTRY"));
        return 1;
    }
    ScriptBench script;
    if (!script.Start({{u"engine", engine}}, kScript)) {
        return 1;
    }
    g_script = script.Globals();
    int result = RunWithRatios(argc, argv, "BM_GraphScript/engine_call", RatioTime::Wall);
    g_script = nullptr;
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
