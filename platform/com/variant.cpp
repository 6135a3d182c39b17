// VARIANT lifetime: initialising, clearing, deep copying and reading through references.
#include "platform/com/variant.h"
#include "platform/com/automation_rules.h"
#include "platform/com/unknown.h"

#include <cstring>

using vr::automation::DuplicateBstr;
using vr::automation::IsInterfaceType;
using vr::automation::IsValidVariantType;
using vr::automation::ViewValue;

namespace {

// Fills out with a copy of src that owns its own resources; src's type must be valid. By-reference values
// are copied as references.
HRESULT CopyValue(const VARIANT& src, VARIANT* out) {
    *out = src;
    const VARTYPE vt = src.vt;
    if (vt & VT_BYREF) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (vt & VT_ARRAY) {
        hr = SafeArrayCopy(src.parray, &out->parray);
    } else if (vt == VT_BSTR) {
        hr = DuplicateBstr(src.bstrVal, &out->bstrVal);
    } else if (IsInterfaceType(vt) && src.punkVal) {
        src.punkVal->AddRef();
    }
    if (FAILED(hr)) {
        VariantInit(out);
    }
    return hr;
}

// Replaces dest's value with value (whose resources dest takes over); value is freed when dest cannot be
// cleared, and dest then stays as it was.
HRESULT ReplaceWith(VARIANT* dest, VARIANT* value) {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        static_cast<void>(VariantClear(value));
        return hr;
    }
    *dest = *value;
    return S_OK;
}

} // namespace

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof(VARIANT));
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) {
        return E_INVALIDARG;
    }
    const VARTYPE vt = v->vt;
    if (!IsValidVariantType(vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (IsInterfaceType(vt) && v->punkVal) {
            // Cleared before the release, so that a release that re-enters sees an empty VARIANT.
            IUnknown* object = v->punkVal;
            VariantInit(v);
            object->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(src->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (dest == src) {
        return S_OK;
    }
    VARIANT copy;
    const HRESULT hr = CopyValue(*src, &copy);
    return FAILED(hr) ? hr : ReplaceWith(dest, &copy);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(src->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (!(src->vt & VT_BYREF)) {
        return VariantCopy(dest, src);
    }
    VARIANT view;
    HRESULT hr = ViewValue(*src, &view);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT value;
    hr = CopyValue(view, &value);
    return FAILED(hr) ? hr : ReplaceWith(dest, &value);
}
