// The owning VARIANT and the value tests of the collection.
#include "attributes/Variant.h"

#include "common/trace/Trace.h"
#include "platform/com/bstr.h"

namespace tabrisk {

Variant Variant::FromText(std::u16string_view text) {
    Variant made;
    made.value_.vt = VT_BSTR;
    made.value_.bstrVal = vr::AllocBstr(text);
    return made;
}

Variant Variant::FromLong(LONG number) {
    Variant made;
    made.value_.vt = VT_I4;
    made.value_.lVal = number;
    return made;
}

HRESULT Variant::CopyFrom(const VARIANT& source) {
    VARIANT copy;
    VariantInit(&copy);
    if (HRESULT hr = VariantCopyInd(&copy, &source); FAILED(hr)) {
        return hr;
    }
    Clear();
    value_ = copy;
    return S_OK;
}

HRESULT Variant::ChangeType(VARTYPE vt) {
    return VariantChangeType(&value_, &value_, 0, vt);
}

void Variant::Clear() {
    if (FAILED(VariantClear(&value_))) {
        // Only a locked array refuses; forget it rather than keep a value that pretends to be owned.
        VariantInit(&value_);
    }
}

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool ValuesEqual(const VARIANT& a, const VARIANT& b) {
    if (a.vt == VT_NULL && b.vt == VT_NULL) {
        return true;
    }
    return VarCmp(&a, &b, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

std::u16string DisplayText(const VARIANT& value) {
    return VariantToText(&value);
}

std::u16string TypedText(const VARIANT& value) {
    BSTR text = VariantToTypedText(&value);
    std::u16string result(vr::BstrView(text));
    SysFreeString(text);
    return result;
}

} // namespace tabrisk
