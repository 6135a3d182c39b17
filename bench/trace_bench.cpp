// One trace line (formatted, then sent or dropped) against a plain formatted string of the same text,
// reported as ratios to the plain short string: without a tracer running, and with one registered in this
// process.
#include "bench/ratio_reporter.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/com/activation.h"
#include "platform/com/dispatch.h"
#include "platform/com/rot.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const OLECHAR* kFormat = u"(bsResource = '%s'; bsSetupString = '%s';)";
constexpr const OLECHAR* kResource = u"TCPIP0::192.168.0.17::5025::SOCKET";
constexpr const OLECHAR* kSetup = u"Timeout=2000";

// A setup string of 2,000 units: a line longer than most, still well within the buffers.
const std::u16string& LongSetup() {
    static const std::u16string text(2000, u'x');
    return text;
}

// A tracer that takes every call and keeps nothing, so that the line costs what the sending costs.
class NullTracer final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return --references_; } // lives in main's frame
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{0};
};

NullTracer g_tracer;

// Registers the tracer for the benchmark's run and revokes it after.
class RunningTracer {
public:
    RunningTracer() {
        registered_ = SUCCEEDED(RegisterActiveObject(&g_tracer, CLSID_TraceSink, 0, &cookie_));
    }
    RunningTracer(const RunningTracer&) = delete;
    RunningTracer& operator=(const RunningTracer&) = delete;
    ~RunningTracer() {
        if (registered_) {
            (void)RevokeActiveObject(cookie_, nullptr);
        }
    }
    bool Registered() const { return registered_; }

private:
    DWORD cookie_ = 0;
    bool registered_ = false;
};

void BM_PlainFormat(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string text = vr::FormatWString(kFormat, kResource, kSetup);
        benchmark::DoNotOptimize(text);
    }
}

void BM_PlainFormatLong(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string text = vr::FormatWString(kFormat, kResource, LongSetup().c_str());
        benchmark::DoNotOptimize(text);
    }
}

void BM_TraceInfoNoTracer(benchmark::State& state) {
    for (auto _ : state) {
        TraceInfo(kFormat, kResource, kSetup);
    }
}

void BM_TraceInfoLongNoTracer(benchmark::State& state) {
    for (auto _ : state) {
        TraceInfo(kFormat, kResource, LongSetup().c_str());
    }
}

void BM_TracePrintfNoTracer(benchmark::State& state) {
    for (auto _ : state) {
        TracePrintf(TRACE_LEVEL_INFO, u"CVrRigmont::CreateConnection()", kFormat, kResource, kSetup);
    }
}

void BM_SetTraceSite(benchmark::State& state) {
    SetTraceMethodName(u"CVrRigmont::CreateConnection()");
    for (auto _ : state) {
        SetTraceSite();
    }
}

void BM_TraceInfoToTracer(benchmark::State& state) {
    RunningTracer tracer;
    if (!tracer.Registered()) {
        state.SkipWithError("the tracer could not be registered");
        return;
    }
    for (auto _ : state) {
        TraceInfo(kFormat, kResource, kSetup);
    }
}

void BM_TracePrintfToTracer(benchmark::State& state) {
    RunningTracer tracer;
    if (!tracer.Registered()) {
        state.SkipWithError("the tracer could not be registered");
        return;
    }
    for (auto _ : state) {
        TracePrintf(TRACE_LEVEL_INFO, u"CVrRigmont::CreateConnection()", kFormat, kResource, kSetup);
    }
}

BENCHMARK(BM_PlainFormat);
BENCHMARK(BM_PlainFormatLong);
BENCHMARK(BM_TraceInfoNoTracer);
BENCHMARK(BM_TraceInfoLongNoTracer);
BENCHMARK(BM_TracePrintfNoTracer);
BENCHMARK(BM_SetTraceSite);
BENCHMARK(BM_TraceInfoToTracer);
BENCHMARK(BM_TracePrintfToTracer);

} // namespace

int main(int argc, char** argv) {
    // A runtime folder of the run's own, so that no tracer of another process answers the lookups.
    char folder[] = "/tmp/vr-trace-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("trace_bench: mkdtemp");
        return 1;
    }
    setenv("XDG_RUNTIME_DIR", folder, 1);
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    int result = vrbench::RunWithRatios(argc, argv, "BM_PlainFormat");
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
