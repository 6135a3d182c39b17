// Checks per second of the specification validator for each kind of specification, through its dual
// interface as the test engine calls it, with ratios against the plain numeric comparison of the same run.
#include "bench/ratio_reporter.h"
#include "limitor.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace vrbench {
namespace {

IVrSpecValidator* g_validator = nullptr;

VARIANT Text(const char16_t* text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstr(text);
    return value;
}

// One IsValid per iteration; the run fails when a check does not give the expected verdict.
void BM_Check(benchmark::State& state, const char16_t* value, const char16_t* spec, const char16_t* precision,
              bool expected) {
    VARIANT valueText = Text(value);
    VARIANT specText = Text(spec);
    VARIANT precisionValue = precision ? Text(precision) : vr::MissingArgument();
    VARIANT options = vr::MissingArgument();
    for (auto _ : state) {
        VARIANT_BOOL valid = VARIANT_FALSE;
        HRESULT hr = g_validator->IsValid(valueText, specText, precisionValue, options, &valid);
        if (FAILED(hr) || (valid == VARIANT_TRUE) != expected) {
            state.SkipWithError("unexpected verdict");
            break;
        }
        benchmark::DoNotOptimize(valid);
    }
    state.SetItemsProcessed(state.iterations());
    for (VARIANT* owned : {&valueText, &specText, &precisionValue}) {
        (void)VariantClear(owned);
    }
}
BENCHMARK_CAPTURE(BM_Check, plain_number, u"5.0", u"5", nullptr, true);
BENCHMARK_CAPTURE(BM_Check, plain_precision, u"9.6", u"10", u"0.5", true);
BENCHMARK_CAPTURE(BM_Check, plain_text, u"abc", u"ABC", nullptr, false);
BENCHMARK_CAPTURE(BM_Check, empty, u"abc", u"{note}", nullptr, true);
BENCHMARK_CAPTURE(BM_Check, range, u"3", u"[1..5]", nullptr, true);
BENCHMARK_CAPTURE(BM_Check, range_deviation, u"9.6", u"10+-0.5", nullptr, true);
BENCHMARK_CAPTURE(BM_Check, pattern, u"ABC", u"pattern:[A-Z]{3}", nullptr, true);
BENCHMARK_CAPTURE(BM_Check, schema, u"3", u"schema:type=int minInclusive='3' maxInclusive='9'", nullptr,
                  true);

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    // From the build tree the validator is found through the registry the build registers it in.
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    vr::ComPtr<IVrSpecValidator> validator;
    if (FAILED(CoCreateInstance(CLSID_SpecValidator, nullptr, CLSCTX_INPROC_SERVER, IID_IVrSpecValidator,
                                validator.PutVoid()))) {
        std::fprintf(stderr, "The specification validator is not registered in %s.\n",
                     getenv("VORNIC_REGISTRY"));
        return 1;
    }
    vrbench::g_validator = validator.Get();
    int result = vrbench::RunWithRatios(argc, argv, "BM_Check/plain_number");
    vrbench::g_validator = nullptr;
    validator = nullptr;
    CoUninitialize();
    return result;
}
