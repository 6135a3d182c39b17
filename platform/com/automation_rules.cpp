// Rules shared by VARIANT, SAFEARRAY and the conversions.
#include "platform/com/automation_rules.h"

#include <cstring>

namespace vr::automation {

size_t ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

bool IsArrayElementType(VARTYPE vt) {
    return ElementSize(vt) != 0;
}

bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if ((flags & ~(VT_BYREF | VT_ARRAY)) != 0) {
        return false;
    }
    if (flags & VT_ARRAY) {
        return IsArrayElementType(base);
    }
    if (base == VT_EMPTY || base == VT_NULL) {
        return flags == 0;
    }
    if (base == VT_VARIANT || base == VT_DECIMAL) {
        return flags == VT_BYREF;
    }
    return IsArrayElementType(base);
}

namespace {

// Reads the value a by-reference VARIANT of a type other than VT_VARIANT points at.
HRESULT ReadThroughReference(const VARIANT& ref, VARIANT* view) {
    const VARTYPE target = ref.vt & ~VT_BYREF;
    std::memset(view, 0, sizeof(VARIANT));
    view->vt = target;
    if (target & VT_ARRAY) {
        view->parray = *ref.pparray;
        return S_OK;
    }
    const size_t size = ElementSize(target);
    if (size == 0 || size > sizeof(view->llVal)) {
        return DISP_E_BADVARTYPE; // VT_DECIMAL has no by-value form here
    }
    // Every by-value member starts at the union's first byte, so the referenced bytes land in the right one.
    std::memcpy(&view->llVal, ref.byref, size);
    return S_OK;
}

} // namespace

HRESULT DuplicateBstr(BSTR text, BSTR* copy) {
    *copy = nullptr;
    if (!text) {
        return S_OK;
    }
    *copy = SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
    return *copy ? S_OK : E_OUTOFMEMORY;
}

HRESULT ViewValue(const VARIANT& v, VARIANT* view) {
    if (!IsValidVariantType(v.vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (!(v.vt & VT_BYREF)) {
        *view = v;
        return S_OK;
    }
    if (!v.byref) {
        return E_INVALIDARG;
    }
    if (v.vt != (VT_VARIANT | VT_BYREF)) {
        return ReadThroughReference(v, view);
    }
    const VARIANT& inner = *v.pvarVal;
    if (inner.vt == (VT_VARIANT | VT_BYREF)) {
        return E_INVALIDARG; // only one level of VARIANT reference is followed
    }
    return ViewValue(inner, view);
}

} // namespace vr::automation
