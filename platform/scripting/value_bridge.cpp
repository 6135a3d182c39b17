// Values crossing between VARIANTs and script values; SAFEARRAYs held for VBArray.
#include "platform/com/bstr.h"
#include "platform/scripting/runtime.h"

#include <cmath>
#include <limits>

namespace vr::script {
namespace {

constexpr const char* kSafeArrayKey = DUK_HIDDEN_SYMBOL("vrSafeArray");
constexpr double kUnixEpochAsDate = 25569.0; // 1970-01-01 as an automation date
constexpr double kMillisecondsPerDay = 86400000.0;

duk_ret_t DestroyHeldArray(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kSafeArrayKey);
    auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    if (array) {
        duk_push_pointer(ctx, nullptr);
        duk_put_prop_string(ctx, 0, kSafeArrayKey);
        (void)SafeArrayDestroy(array);
    }
    return 0;
}

void PushDate(duk_context* ctx, double date) {
    // Automation dates count the time of day away from zero before 1899-12-30.
    double days = std::trunc(date);
    double fraction = std::fabs(date - days);
    double serial = days + fraction;
    duk_get_global_string(ctx, "Date");
    duk_push_number(ctx, (serial - kUnixEpochAsDate) * kMillisecondsPerDay);
    duk_new(ctx, 1);
}

void PushNumberOf(duk_context* ctx, const VARIANT& v) {
    VARIANT number;
    VariantInit(&number);
    if (SUCCEEDED(VariantChangeType(&number, &v, 0, VT_R8))) {
        duk_push_number(ctx, number.dblVal);
    } else {
        duk_push_undefined(ctx);
    }
}

bool IsDate(duk_context* ctx, duk_idx_t idx) {
    duk_get_global_string(ctx, "Date");
    bool date = duk_instanceof(ctx, idx, -1);
    duk_pop(ctx);
    return date;
}

} // namespace

void PushSafeArray(duk_context* ctx, const SAFEARRAY* array) {
    SAFEARRAY* copy = nullptr;
    if (!array || FAILED(SafeArrayCopy(const_cast<SAFEARRAY*>(array), &copy)) || !copy) {
        duk_push_null(ctx);
        return;
    }
    duk_push_object(ctx);
    duk_push_pointer(ctx, copy);
    duk_put_prop_string(ctx, -2, kSafeArrayKey);
    duk_push_c_function(ctx, &DestroyHeldArray, 1);
    duk_set_finalizer(ctx, -2);
}

SAFEARRAY* SafeArrayAt(duk_context* ctx, duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) {
        return nullptr;
    }
    duk_get_prop_string(ctx, idx, kSafeArrayKey);
    auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return array;
}

void PushVariant(duk_context* ctx, const VARIANT& v) {
    if (v.vt & VT_BYREF) {
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantCopyInd(&value, &v))) {
            duk_push_undefined(ctx);
            return;
        }
        PushVariant(ctx, value);
        (void)VariantClear(&value);
        return;
    }
    if (v.vt & VT_ARRAY) {
        PushSafeArray(ctx, v.parray);
        return;
    }
    switch (v.vt) {
    case VT_EMPTY:
    case VT_ERROR: // a missing argument reads as undefined
        duk_push_undefined(ctx);
        break;
    case VT_NULL:
        duk_push_null(ctx);
        break;
    case VT_BOOL:
        duk_push_boolean(ctx, v.boolVal != VARIANT_FALSE);
        break;
    case VT_I4:
        duk_push_int(ctx, v.lVal);
        break;
    case VT_R8:
        duk_push_number(ctx, v.dblVal);
        break;
    case VT_BSTR:
        PushText(ctx, BstrView(v.bstrVal));
        break;
    case VT_DATE:
        PushDate(ctx, v.date);
        break;
    case VT_DISPATCH:
        if (!v.pdispVal) {
            duk_push_null(ctx);
        } else if (!PushScriptObjectOf(Runtime::Of(ctx), v.pdispVal)) {
            PushHostObject(ctx, v.pdispVal);
        }
        break;
    case VT_UNKNOWN: {
        ComPtr<IDispatch> object;
        if (v.punkVal && SUCCEEDED(v.punkVal->QueryInterface(object.Put()))) {
            VARIANT asDispatch;
            VariantInit(&asDispatch);
            asDispatch.vt = VT_DISPATCH;
            asDispatch.pdispVal = object.Get();
            PushVariant(ctx, asDispatch);
        } else {
            duk_push_null(ctx);
        }
        break;
    }
    default:
        PushNumberOf(ctx, v);
        break;
    }
}

HRESULT ValueToVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out) {
    idx = duk_normalize_index(ctx, idx);
    VariantInit(out);
    switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NONE:
        return S_OK;
    case DUK_TYPE_NULL:
        out->vt = VT_NULL;
        return S_OK;
    case DUK_TYPE_BOOLEAN:
        out->vt = VT_BOOL;
        out->boolVal = duk_get_boolean(ctx, idx) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case DUK_TYPE_NUMBER: {
        double number = duk_get_number(ctx, idx);
        bool integral = std::trunc(number) == number && number >= std::numeric_limits<int32_t>::min() &&
                        number <= std::numeric_limits<int32_t>::max() &&
                        !(number == 0 && std::signbit(number));
        if (integral) {
            out->vt = VT_I4;
            out->lVal = static_cast<int32_t>(number);
        } else {
            out->vt = VT_R8;
            out->dblVal = number;
        }
        return S_OK;
    }
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* bytes = duk_get_lstring(ctx, idx, &length);
        out->bstrVal = AllocBstr(DecodeDukString(std::string_view(bytes, length)));
        if (!out->bstrVal) {
            return E_OUTOFMEMORY;
        }
        out->vt = VT_BSTR;
        return S_OK;
    }
    case DUK_TYPE_OBJECT:
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (IDispatch* host = HostObjectAt(ctx, idx)) {
        host->AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = host;
        return S_OK;
    }
    if (SAFEARRAY* array = SafeArrayAt(ctx, idx)) {
        VARTYPE type = VT_EMPTY;
        if (HRESULT hr = SafeArrayGetVartype(array, &type); FAILED(hr)) {
            return hr;
        }
        if (HRESULT hr = SafeArrayCopy(array, &out->parray); FAILED(hr)) {
            return hr;
        }
        out->vt = static_cast<VARTYPE>(VT_ARRAY | type);
        return S_OK;
    }
    if (IsDate(ctx, idx)) {
        duk_get_prop_string(ctx, idx, "getTime");
        duk_dup(ctx, idx);
        duk_call_method(ctx, 0);
        out->vt = VT_DATE;
        out->date = duk_get_number(ctx, -1) / kMillisecondsPerDay + kUnixEpochAsDate;
        duk_pop(ctx);
        return S_OK;
    }
    ComPtr<IDispatch> wrapper;
    if (HRESULT hr = WrapScriptObject(Runtime::Of(ctx), idx, wrapper.Put()); FAILED(hr)) {
        return hr;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = wrapper.Detach();
    return S_OK;
}

} // namespace vr::script
