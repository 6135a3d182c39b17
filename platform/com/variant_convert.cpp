// VariantChangeType(Ex): conversions between automation types with the OLE rules, in the C locale.
#include "platform/base/text.h"
#include "platform/com/automation_rules.h"
#include "platform/com/dispatch.h"
#include "platform/com/variant.h"
#include "platform/com/variant_numeric.h"
#include "platform/com/variant_text.h"

using namespace vr::automation;

namespace {

HRESULT ConvertInto(const VARIANT* src, USHORT flags, VARTYPE vt, VARIANT* result);

bool IsNumericType(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
        return true;
    default:
        return false;
    }
}

bool IsConvertibleTarget(VARTYPE vt) {
    if (vt & VT_ARRAY) {
        return (vt & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && IsArrayElementType(vt & VT_TYPEMASK);
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_BSTR:
    case VT_BOOL:
    case VT_DATE:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return true;
    default:
        return IsNumericType(vt);
    }
}

HRESULT StoreText(std::u16string_view text, VARIANT* out) {
    BSTR copy = vr::AllocBstr(text);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    out->vt = VT_BSTR;
    out->bstrVal = copy;
    return S_OK;
}

HRESULT ToText(const VARIANT& value, USHORT flags, VARIANT* out) {
    switch (value.vt) {
    case VT_EMPTY:
        return StoreText(u"", out);
    case VT_BOOL: {
        const bool isTrue = value.boolVal != VARIANT_FALSE;
        if (flags & VARIANT_ALPHABOOL) {
            return StoreText(isTrue ? u"True" : u"False", out);
        }
        return StoreText(isTrue ? u"-1" : u"0", out);
    }
    case VT_R4:
        return StoreText(FormatFloating(value.fltVal, 7), out);
    case VT_R8:
        return StoreText(FormatFloating(value.dblVal, 15), out);
    case VT_CY:
        return StoreText(FormatCurrency(value.cyVal), out);
    case VT_DATE: {
        std::u16string text;
        return FormatDate(value.date, &text) ? StoreText(text, out) : DISP_E_OVERFLOW;
    }
    default:
        break;
    }
    Numeric number;
    const HRESULT hr = ReadNumeric(value, &number);
    if (FAILED(hr)) {
        return hr;
    }
    return StoreText(number.kind == Numeric::Kind::Unsigned ? FormatUnsigned(number.unsignedInteger)
                                                            : FormatSigned(number.integer),
                     out);
}

HRESULT ToBool(const VARIANT& value, VARIANT* out) {
    if (value.vt == VT_BSTR) {
        const std::u16string_view text = TrimBlanks(vr::BstrView(value.bstrVal));
        const bool isTrue = vr::EqualsNoCase(text, u"True");
        if (isTrue || vr::EqualsNoCase(text, u"False")) {
            out->vt = VT_BOOL;
            out->boolVal = isTrue ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    Numeric number;
    const HRESULT hr = ReadNumeric(value, &number);
    return FAILED(hr) ? hr : StoreNumeric(number, VT_BOOL, out);
}

HRESULT ToDate(const VARIANT& value, VARIANT* out) {
    if (value.vt == VT_BSTR) {
        DATE date;
        if (!ParseDate(vr::BstrView(value.bstrVal), &date)) {
            return DISP_E_TYPEMISMATCH;
        }
        out->vt = VT_DATE;
        out->date = date;
        return S_OK;
    }
    Numeric number;
    const HRESULT hr = ReadNumeric(value, &number);
    return FAILED(hr) ? hr : StoreNumeric(number, VT_DATE, out);
}

HRESULT ToNumber(const VARIANT& value, VARTYPE vt, VARIANT* out) {
    Numeric number;
    const HRESULT hr = ReadNumeric(value, &number);
    return FAILED(hr) ? hr : StoreNumeric(number, vt, out);
}

// An object as another of its interfaces; a null object stays null.
HRESULT ToInterface(const VARIANT& value, VARTYPE vt, VARIANT* out) {
    if (!IsInterfaceType(value.vt)) {
        return DISP_E_TYPEMISMATCH;
    }
    void* object = nullptr;
    if (value.punkVal &&
        FAILED(value.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &object))) {
        return DISP_E_TYPEMISMATCH;
    }
    out->vt = vt;
    out->punkVal = static_cast<IUnknown*>(object);
    return S_OK;
}

// Reads the object's value property (DISPID_VALUE) into value.
HRESULT ReadValueProperty(const VARIANT& object, VARIANT* value) {
    if (!object.punkVal) {
        return DISP_E_TYPEMISMATCH;
    }
    IDispatch* dispatch = nullptr;
    if (FAILED(object.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
    VariantInit(value);
    const HRESULT hr = dispatch->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                        &noArguments, value, nullptr, nullptr);
    dispatch->Release();
    if (FAILED(hr)) {
        static_cast<void>(VariantClear(value));
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

// An object as a value, through its value property. The property's own value is converted without asking
// it for a value property again, so that objects returning objects cannot recurse without end.
HRESULT FromObject(const VARIANT& object, USHORT flags, VARTYPE vt, VARIANT* out) {
    if (flags & VARIANT_NOVALUEPROP) {
        return DISP_E_TYPEMISMATCH;
    }
    VARIANT value;
    HRESULT hr = ReadValueProperty(object, &value);
    if (SUCCEEDED(hr)) {
        hr = ConvertInto(&value, flags | VARIANT_NOVALUEPROP, vt, out);
        static_cast<void>(VariantClear(&value));
    }
    return hr;
}

// Converts a by-value VARIANT into the empty VARIANT out.
HRESULT ConvertValue(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT* out) {
    if (value.vt == vt) {
        return VariantCopy(out, &value);
    }
    if ((value.vt | vt) & VT_ARRAY) {
        return DISP_E_TYPEMISMATCH;
    }
    if (IsInterfaceType(vt)) {
        return ToInterface(value, vt, out);
    }
    if (IsInterfaceType(value.vt)) {
        return FromObject(value, flags, vt, out);
    }
    if (value.vt == VT_NULL) {
        return DISP_E_TYPEMISMATCH;
    }
    if (value.vt == VT_ERROR) {
        if (vt != VT_I4) {
            return DISP_E_TYPEMISMATCH;
        }
        out->vt = VT_I4;
        out->lVal = value.scode;
        return S_OK;
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_ERROR:
        return DISP_E_TYPEMISMATCH;
    case VT_BSTR:
        return ToText(value, flags, out);
    case VT_BOOL:
        return ToBool(value, out);
    case VT_DATE:
        return ToDate(value, out);
    default:
        return ToNumber(value, vt, out);
    }
}

// Converts src (by-reference values read through) into the empty VARIANT result; src is not changed.
HRESULT ConvertInto(const VARIANT* src, USHORT flags, VARTYPE vt, VARIANT* result) {
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = VariantCopyInd(&value, src);
    if (SUCCEEDED(hr)) {
        hr = ConvertValue(value, flags, vt, result);
        static_cast<void>(VariantClear(&value));
    }
    return hr;
}

} // namespace

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID, USHORT flags, VARTYPE vt) {
    if (!dest || !src) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(src->vt) || !IsConvertibleTarget(vt)) {
        return DISP_E_BADVARTYPE;
    }
    // The result is built aside and only then replaces dest, so that a failure leaves dest (and src, when
    // they are the same VARIANT) as they were.
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = ConvertInto(src, flags, vt, &result);
    if (FAILED(hr)) {
        return hr;
    }
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        static_cast<void>(VariantClear(&result));
        return hr;
    }
    *dest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}
