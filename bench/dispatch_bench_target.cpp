// The object the dispatch benchmarks call, and its dispatch table.
#include "bench/dispatch_bench_target.h"

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

namespace vrbench {
namespace {

class CBenchTarget : public vr::ObjectRoot, public vr::DispatchImpl<CBenchTarget, IBenchTarget> {
public:
    using Interfaces = vr::InterfaceList<IBenchTarget, IDispatch>;
    static const vr::DispatchTable<CBenchTarget>& GetDispatchTable() {
        using D = vr::DispatchTable<CBenchTarget>;
        static const D table(u"IBenchTarget", {D::Method<&CBenchTarget::Add>(kAdd, u"Add", {u"a", u"b"}),
                                               D::Method<&CBenchTarget::Label>(kLabel, u"Label", {u"text"})});
        return table;
    }
    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    HRESULT Label(BSTR text, BSTR* label) override {
        *label = SysAllocStringLen(text, SysStringLen(text));
        return *label ? S_OK : E_OUTOFMEMORY;
    }
};

} // namespace

IBenchTarget* NewBenchTarget() {
    vr::ComPtr<IBenchTarget> target;
    return SUCCEEDED(vr::ComObject<CBenchTarget>::Create(&target)) ? target.Detach() : nullptr;
}

} // namespace vrbench
