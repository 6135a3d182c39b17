// The object the dispatch benchmarks call: a dual interface served through a dispatch table, made in a
// translation unit of its own so that callers see only the interface, as callers in other deliverables do.
#pragma once

#include "platform/com/dispatch.h"

struct IBenchTarget : IDispatch {
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    virtual HRESULT Label(BSTR text, BSTR* label) = 0;

protected:
    ~IBenchTarget() = default;
};
VR_DECLARE_INTERFACE_ID(IBenchTarget, "5CBE8D6F-7091-42A3-D4B5-C6D7E8F90A1B")

namespace vrbench {

inline constexpr DISPID kAdd = 1;
inline constexpr DISPID kLabel = 2;

// A new object with one reference, or null when it cannot be made.
IBenchTarget* NewBenchTarget();

} // namespace vrbench
