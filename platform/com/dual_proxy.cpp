// The non-template half of typed dual proxies: one Invoke, and results converted into typed out-pointers.
#include "platform/com/dual_proxy.h"

#include "platform/com/errorinfo.h"

#include <shared_mutex>
#include <unordered_map>

namespace vr::dual {

namespace {

// Converts the result in place into vt; the result is cleared on failure.
HRESULT ChangeResult(VARIANT* result, VARTYPE vt) {
    if (result->vt == vt) {
        return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, result, 0, vt);
    static_cast<void>(VariantClear(result));
    if (SUCCEEDED(hr)) {
        *result = converted;
    }
    return hr;
}

} // namespace

HRESULT Invoke(IDispatch* transport, REFIID, DISPID id, WORD flags, VARIANT* args, UINT count,
               VARIANT* result) {
    DISPID putName = DISPID_PROPERTYPUT;
    DISPPARAMS params{count ? args : nullptr, nullptr, count, 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putName;
        params.cNamedArgs = 1;
    }
    // Without an EXCEPINFO the object reports a failure as its own HRESULT and leaves its error information
    // in place, which the transport carries to this thread whole (its GUID included).
    return transport->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

HRESULT TakeResult(VARIANT* result, BSTR* out) {
    if (result->vt == VT_EMPTY) {
        return S_OK; // an empty text: the null BSTR
    }
    if (HRESULT hr = ChangeResult(result, VT_BSTR); FAILED(hr)) {
        return hr;
    }
    *out = result->bstrVal;
    result->vt = VT_EMPTY;
    return S_OK;
}

HRESULT TakeResult(VARIANT* result, int32_t* out) {
    if (HRESULT hr = ChangeResult(result, VT_I4); FAILED(hr)) {
        return hr;
    }
    *out = result->lVal;
    return S_OK;
}

HRESULT TakeResult(VARIANT* result, intptr_t* out) {
    if (HRESULT hr = ChangeResult(result, VT_I8); FAILED(hr)) {
        return hr;
    }
    *out = static_cast<intptr_t>(result->llVal);
    return S_OK;
}

HRESULT TakeResult(VARIANT* result, VARIANT* out) {
    *out = *result;
    VariantInit(result);
    return S_OK;
}

HRESULT TakeResult(VARIANT* result, BoolResult out) {
    if (HRESULT hr = ChangeResult(result, VT_BOOL); FAILED(hr)) {
        return hr;
    }
    *out.target = result->boolVal;
    return S_OK;
}

HRESULT TakeInterface(VARIANT* result, REFIID iid, void** out) {
    IUnknown* object = nullptr;
    if (result->vt == VT_UNKNOWN || result->vt == VT_DISPATCH) {
        object = result->punkVal;
    } else if (result->vt != VT_EMPTY && result->vt != VT_NULL) {
        static_cast<void>(VariantClear(result));
        return DISP_E_TYPEMISMATCH;
    }
    HRESULT hr = object ? object->QueryInterface(iid, out) : S_OK;
    static_cast<void>(VariantClear(result));
    return hr;
}

} // namespace vr::dual

namespace vr {

namespace {

struct DualFactoryTable {
    std::shared_mutex mutex;
    std::unordered_map<IID, DualProxyFactory> factories;
};

DualFactoryTable& DualFactories() {
    static DualFactoryTable table;
    return table;
}

} // namespace

void RegisterDualProxyFactory(REFIID iid, DualProxyFactory factory) {
    DualFactoryTable& table = DualFactories();
    std::unique_lock lock(table.mutex);
    table.factories[iid] = factory;
}

DualProxyFactory FindDualProxyFactory(REFIID iid) {
    DualFactoryTable& table = DualFactories();
    std::shared_lock lock(table.mutex);
    auto found = table.factories.find(iid);
    return found == table.factories.end() ? nullptr : found->second;
}

} // namespace vr
