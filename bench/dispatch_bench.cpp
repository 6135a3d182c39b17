// A method called through IDispatch::Invoke, by DISPID and by name, against the direct call on its dual
// interface.
#include "bench/dispatch_bench_target.h"
#include "bench/ratio_reporter.h"
#include "platform/com/comptr.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace vrbench {
namespace {

// Keeps a value alive for the optimiser through the read-only form of DoNotOptimize (its read-write form is
// miscompiled by this GCC: the value is never stored).
template <class T>
void Keep(const T& value) {
    benchmark::DoNotOptimize(value);
}

vr::ComPtr<IBenchTarget> MakeTarget() {
    auto target = vr::ComPtr<IBenchTarget>::Adopt(NewBenchTarget());
    if (!target) {
        std::abort();
    }
    return target;
}

// Two VT_I4 arguments laid out as Invoke takes them: the last one first.
struct AddArguments {
    VARIANT args[2];
    DISPPARAMS params{args, nullptr, 2, 0};
    AddArguments() {
        args[0].vt = VT_I4;
        args[0].lVal = 1;
        args[1].vt = VT_I4;
        args[1].lVal = 0;
    }
};

void BM_DirectCall(benchmark::State& state) {
    vr::ComPtr<IBenchTarget> target = MakeTarget();
    LONG a = 0;
    LONG sum = 0;
    for (auto _ : state) {
        HRESULT hr = target->Add(a++, 1, &sum);
        Keep(hr);
        Keep(sum);
    }
}
BENCHMARK(BM_DirectCall);

void BM_InvokeByDispid(benchmark::State& state) {
    vr::ComPtr<IBenchTarget> target = MakeTarget();
    AddArguments call;
    VARIANT result;
    for (auto _ : state) {
        ++call.args[1].lVal;
        HRESULT hr =
            target->Invoke(kAdd, IID_NULL, 0, DISPATCH_METHOD, &call.params, &result, nullptr, nullptr);
        Keep(hr);
        Keep(result.lVal);
    }
}
BENCHMARK(BM_InvokeByDispid);

void BM_InvokeByName(benchmark::State& state) {
    vr::ComPtr<IBenchTarget> target = MakeTarget();
    AddArguments call;
    VARIANT result;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"add")};
    for (auto _ : state) {
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        ++call.args[1].lVal;
        hr |= target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &call.params, &result, nullptr, nullptr);
        Keep(hr);
        Keep(result.lVal);
    }
}
BENCHMARK(BM_InvokeByName);

// Text in and out by DISPID: what BSTR allocation adds to the scalar call.
void BM_InvokeTextByDispid(benchmark::State& state) {
    vr::ComPtr<IBenchTarget> target = MakeTarget();
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"instrument");
    DISPPARAMS params{&text, nullptr, 1, 0};
    VARIANT result;
    for (auto _ : state) {
        HRESULT hr = target->Invoke(kLabel, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        Keep(hr);
        (void)VariantClear(&result);
    }
    SysFreeString(text.bstrVal);
}
BENCHMARK(BM_InvokeTextByDispid);

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    return vrbench::RunWithRatios(argc, argv, "BM_DirectCall");
}
