// A call into another apartment (queued to its thread and answered) against the same call made directly.
// Both are timed by the wall clock: the caller of a carried call spends most of it blocked, not on the CPU.
#include "bench/dispatch_bench_target.h"
#include "platform/com/activation.h"
#include "platform/com/marshal.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <future>
#include <thread>

namespace vrbench {
namespace {

template <class T>
void Keep(const T& value) {
    benchmark::DoNotOptimize(value);
}

// A thread of its own apartment that owns one target object and serves calls until it is stopped.
class FarTarget {
public:
    FarTarget() {
        std::promise<LPSTREAM> made;
        auto stream = made.get_future();
        thread_ = std::thread([this, &made] { Serve(made); });
        if (FAILED(CoGetInterfaceAndReleaseStream(stream.get(), IID_IDispatch, proxy_.PutVoid()))) {
            std::abort();
        }
    }
    ~FarTarget() {
        proxy_ = nullptr;
        SetEvent(stop_);
        thread_.join();
        CloseHandle(stop_);
    }
    IDispatch* Proxy() const { return proxy_.Get(); }

private:
    void Serve(std::promise<LPSTREAM>& made) {
        static_cast<void>(CoInitialize(nullptr));
        auto target = vr::ComPtr<IBenchTarget>::Adopt(NewBenchTarget());
        LPSTREAM stream = nullptr;
        if (!target || FAILED(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, target.Get(), &stream))) {
            std::abort();
        }
        made.set_value(stream);
        target = nullptr;
        DWORD index = 0;
        static_cast<void>(CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &stop_, &index));
        CoUninitialize();
    }

    HANDLE stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread_;
    vr::ComPtr<IDispatch> proxy_;
};

void InvokeAdd(benchmark::State& state, IDispatch* target) {
    VARIANT args[2];
    args[0].vt = VT_I4;
    args[0].lVal = 1;
    args[1].vt = VT_I4;
    args[1].lVal = 0;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    for (auto _ : state) {
        ++args[1].lVal;
        HRESULT hr = target->Invoke(kAdd, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        Keep(hr);
        Keep(result.lVal);
    }
}

void BM_DirectInvoke(benchmark::State& state) {
    static_cast<void>(CoInitialize(nullptr));
    {
        auto target = vr::ComPtr<IBenchTarget>::Adopt(NewBenchTarget());
        InvokeAdd(state, target.Get());
    }
    CoUninitialize();
}
BENCHMARK(BM_DirectInvoke)->UseRealTime();

void BM_CrossApartmentInvoke(benchmark::State& state) {
    static_cast<void>(CoInitialize(nullptr));
    {
        FarTarget far;
        InvokeAdd(state, far.Proxy());
    }
    CoUninitialize();
}
BENCHMARK(BM_CrossApartmentInvoke)->UseRealTime();

} // namespace
} // namespace vrbench

BENCHMARK_MAIN();
