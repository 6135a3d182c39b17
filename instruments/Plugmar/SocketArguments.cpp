// CSocket: one script argument as a command value: script arrays (objects with length, shift and push),
// arrays passed by reference, and everything else as text.
#include "Socket.h"
#include "SocketErrors.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

// The argument at a position (counted from the first positional argument), or the named one; null when the
// caller gave none there.
const VARIANT* RawArgument(const DISPPARAMS* params, UINT position, DISPID named) {
    if (!params || !params->rgvarg) {
        return nullptr;
    }
    if (named != 0) {
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
            if (params->rgdispidNamedArgs[i] == named) {
                return &params->rgvarg[i];
            }
        }
        return nullptr;
    }
    const UINT positional = params->cArgs - params->cNamedArgs;
    if (position >= positional) {
        return nullptr;
    }
    return &params->rgvarg[params->cArgs - 1 - position];
}

HRESULT DispIdOf(IDispatch* object, const OLECHAR* name, DISPID* id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT CallMember(IDispatch* object, DISPID id, WORD flags, VARIANT* argument, VARIANT* result) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    EXCEPINFO excep{};
    UINT argError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argError);
    vr::ClearExcepInfo(&excep);
    return hr;
}

} // namespace

HRESULT CSocket::GetDispParam(WORD, DISPPARAMS* params, UINT position, DISPID namedDispId, VARIANT* value,
                              UINT* argError) {
    const VARIANT* raw = RawArgument(params, position, namedDispId);
    if (!raw) {
        return DISP_E_PARAMNOTFOUND;
    }
    VARIANT argument = UnwrapVariantRef(*raw);
    // A script leaves an optional argument out with the "missing" marker.
    if (vr::IsMissingArgument(argument)) {
        return DISP_E_PARAMNOTFOUND;
    }
    if (argument.vt == VT_DISPATCH && argument.pdispVal) {
        return ReadScriptArray(argument.pdispVal, position, value);
    }
    HRESULT hr = VariantChangeType(value, &argument, 0, VT_BSTR);
    if (hr != DISP_E_TYPEMISMATCH) {
        if (FAILED(hr) && argError) {
            *argError = position;
        }
        return hr;
    }
    if (argument.vt != (VT_BYREF | VT_ARRAY | VT_VARIANT) || !argument.pparray) {
        if (argError) {
            *argError = position;
        }
        return DISP_E_TYPEMISMATCH;
    }
    TraceInfo(u"IDispatch::Invoke() entry parameter with position = %d, will be processed as a SAFEARRAY.",
              static_cast<int>(position));
    SAFEARRAY* array = *argument.pparray;
    if (SafeArrayGetDim(array) != 1) {
        return RecordFailure(E_INVALIDARG,
                             u"IDispatch::Invoke() entry parameter with position = %d: Multidimensional "
                             u"arrays are not supported.",
                             static_cast<int>(position));
    }
    SAFEARRAY* copy = nullptr;
    if (FAILED(SafeArrayCopy(array, &copy))) {
        return RecordInternalFailure(E_OUTOFMEMORY);
    }
    (void)VariantClear(value);
    value->vt = VT_ARRAY | VT_VARIANT;
    value->parray = copy;
    return S_OK;
}

HRESULT CSocket::ReadScriptArray(IDispatch* array, UINT position, VARIANT* value) {
    DISPID length = DISPID_UNKNOWN;
    DISPID shift = DISPID_UNKNOWN;
    DISPID push = DISPID_UNKNOWN;
    if (FAILED(DispIdOf(array, u"length", &length)) || FAILED(DispIdOf(array, u"shift", &shift)) ||
        FAILED(DispIdOf(array, u"push", &push))) {
        return RecordFailure(
            E_INVALIDARG,
            u"IDispatch::Invoke() entry parameter with position = %d: The object is not an array.",
            static_cast<int>(position));
    }
    _variant_t count;
    HRESULT hr = CallMember(array, length, DISPATCH_PROPERTYGET, nullptr, &count);
    if (SUCCEEDED(hr)) {
        hr = VariantChangeType(&count, &count, 0, VT_I4);
    }
    if (FAILED(hr) || count.lVal < 0) {
        return RecordFailure(E_INVALIDARG,
                             u"IDispatch::Invoke() entry parameter with position = %d: No array length.",
                             static_cast<int>(position));
    }
    TraceInfo(u"IDispatch::Invoke() entry parameter with position = %d, will be processed as a JScript Array "
              u"object.",
              static_cast<int>(position));
    SAFEARRAY* elements = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count.lVal));
    if (!elements) {
        return RecordInternalFailure(E_OUTOFMEMORY);
    }
    // Each element is taken from the front and put back at the end, so the script's array ends as it began.
    for (LONG i = 0; i < count.lVal; ++i) {
        _variant_t element;
        hr = CallMember(array, shift, DISPATCH_METHOD, nullptr, &element);
        if (SUCCEEDED(hr)) {
            hr = SafeArrayPutElement(elements, &i, &element);
        }
        if (SUCCEEDED(hr)) {
            hr = CallMember(array, push, DISPATCH_METHOD, &element, nullptr);
        }
        if (FAILED(hr)) {
            (void)SafeArrayDestroy(elements);
            return hr;
        }
    }
    (void)VariantClear(value);
    value->vt = VT_ARRAY | VT_VARIANT;
    value->parray = elements;
    return S_OK;
}

} // namespace plugmar
