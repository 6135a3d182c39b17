// Argument slots of dispatch tables: reading IDispatch arguments into C++ parameters and writing results
// back.
#include "platform/com/dispatch_args.h"

namespace vr::detail {
namespace {

// One VT_BYREF|VT_VARIANT is looked through, as callers pass script variables that way.
const VARIANT* Deref(const VARIANT* v) {
    return v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal ? v->pvarVal : v;
}

bool IsInterfaceType(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// Where source holds a value of type vt itself (by value or by reference), so that it can be read in place;
// arrays match whatever their element type. Null when a conversion is needed.
const void* InPlace(const VARIANT* source, VARTYPE vt) {
    if (vt & VT_ARRAY) {
        if ((source->vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY) {
            return &source->parray;
        }
        return (source->vt & (VT_ARRAY | VT_BYREF)) == (VT_ARRAY | VT_BYREF) ? source->pparray : nullptr;
    }
    if (source->vt == vt) {
        return &source->llVal;
    }
    return source->vt == (VT_BYREF | vt) ? source->byref : nullptr;
}

// Whether an [in, out] argument's storage can be handed to the method as it is.
bool IsDirect(const VARIANT& arg, VARTYPE vt) {
    if (vt & VT_ARRAY) {
        return (arg.vt & (VT_ARRAY | VT_BYREF)) == (VT_ARRAY | VT_BYREF);
    }
    return arg.vt == (VT_BYREF | vt);
}

// Converts source into dest (VT_EMPTY before) as the argument's type; arrays are copied, never converted.
HRESULT Convert(VARIANT* dest, const VARIANT* source, const ArgInfo& info) {
    if (info.vt & VT_ARRAY) {
        return (source->vt & VT_ARRAY) ? VariantCopyInd(dest, source) : DISP_E_TYPEMISMATCH;
    }
    if (info.vt == VT_VARIANT) {
        return VariantCopyInd(dest, source);
    }
    HRESULT hr = VariantChangeType(dest, source, 0, info.vt);
    return SUCCEEDED(hr) || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
}

// A required parameter must not be left out: omitted, it was not found; passed as "missing", it is not
// optional. Optional ones may be.
HRESULT CheckOmission(const CallFrame& frame, UINT i, const VARIANT* arg, UINT position) {
    if (frame.Info(i).optional) {
        return S_OK;
    }
    if (!arg) {
        return DISP_E_PARAMNOTFOUND;
    }
    frame.SetArgError(position);
    return DISP_E_PARAMNOTOPTIONAL;
}

// Fills an owned local value from source (a converted copy the local owns afterwards).
HRESULT InitLocal(const CallFrame& frame, UINT i, const VARIANT* source, UINT position, void* local,
                  size_t size) {
    const ArgInfo& info = frame.Info(i);
    if (info.vt == VT_VARIANT) {
        return VariantCopyInd(static_cast<VARIANT*>(local), source);
    }
    VARIANT temp;
    VariantInit(&temp);
    if (HRESULT hr = Convert(&temp, source, info); FAILED(hr)) {
        frame.SetArgError(position);
        return hr;
    }
    std::memcpy(local, &temp.llVal, size);
    return S_OK;
}

void ZeroLocal(VARTYPE vt, void* local, size_t size) {
    if (vt == VT_VARIANT) {
        VariantInit(static_cast<VARIANT*>(local));
    } else {
        std::memset(local, 0, size);
    }
}

// Moves a local value into dest, which must hold nothing the move would leak.
void MoveInto(VARIANT* dest, VARTYPE vt, void* local, size_t size) {
    if (vt == VT_VARIANT) {
        *dest = *static_cast<VARIANT*>(local);
    } else if (vt & VT_ARRAY) {
        // A SAFEARRAY* parameter names no element type: the array's own is the value's.
        SAFEARRAY* array = nullptr;
        std::memcpy(&array, local, sizeof(array));
        VARTYPE element = VT_VARIANT;
        if (array && FAILED(SafeArrayGetVartype(array, &element))) {
            element = VT_VARIANT;
        }
        dest->vt = static_cast<VARTYPE>(VT_ARRAY | element);
        dest->parray = array;
    } else {
        dest->vt = vt;
        dest->llVal = 0;
        std::memcpy(&dest->llVal, local, size);
    }
    ZeroLocal(vt, local, size);
}

} // namespace

VARIANT* CallFrame::NamedArg(UINT i, UINT* position) const {
    for (UINT n = 0; n < params_.cNamedArgs; ++n) {
        DISPID named = params_.rgdispidNamedArgs[n];
        UINT target = named == DISPID_PROPERTYPUT ? dispatchCount_ - 1 : static_cast<UINT>(named);
        if (target == i) {
            *position = n;
            return &params_.rgvarg[n];
        }
    }
    return nullptr;
}

HRESULT LoadValueSlow(const CallFrame& frame, UINT i, VARIANT* temp, void* value, size_t size) {
    const ArgInfo& info = frame.Info(i);
    UINT position = 0;
    const VARIANT* arg = frame.Arg(i, &position);
    const VARIANT* source = arg ? Deref(arg) : nullptr;
    if (!source || vr::IsMissingArgument(*source)) {
        if (HRESULT hr = CheckOmission(frame, i, source, position); FAILED(hr)) {
            return hr;
        }
        if (info.defaultValue.IsEmpty()) {
            return S_OK; // the slot's zero
        }
        source = &info.defaultValue.Get();
    }
    if (const void* stored = InPlace(source, info.vt)) {
        std::memcpy(value, stored, size);
        return S_OK;
    }
    if (IsInterfaceType(info.vt) && (source->vt == VT_EMPTY || source->vt == VT_NULL)) {
        return S_OK; // a null interface
    }
    if (HRESULT hr = Convert(temp, source, info); FAILED(hr)) {
        frame.SetArgError(position);
        return hr;
    }
    std::memcpy(value, &temp->llVal, size);
    return S_OK;
}

HRESULT LoadVariant(const CallFrame& frame, UINT i, const VARIANT** value, VARIANT* missing) {
    const ArgInfo& info = frame.Info(i);
    UINT position = 0;
    const VARIANT* arg = frame.Arg(i, &position);
    if (arg && !vr::IsMissingArgument(*Deref(arg))) {
        *value = Deref(arg);
        return S_OK;
    }
    if (HRESULT hr = CheckOmission(frame, i, arg, position); FAILED(hr)) {
        return hr;
    }
    if (!info.defaultValue.IsEmpty()) {
        *value = &info.defaultValue.Get();
        return S_OK;
    }
    missing->vt = VT_ERROR;
    missing->scode = DISP_E_PARAMNOTFOUND;
    *value = missing;
    return S_OK;
}

HRESULT LoadInterface(const CallFrame& frame, UINT i, IUnknown** value) {
    const ArgInfo& info = frame.Info(i);
    UINT position = 0;
    const VARIANT* arg = frame.Arg(i, &position);
    const VARIANT* source = arg ? Deref(arg) : nullptr;
    if (!source || vr::IsMissingArgument(*source)) {
        return CheckOmission(frame, i, source, position);
    }
    if (source->vt == VT_EMPTY || source->vt == VT_NULL) {
        return S_OK;
    }
    const void* stored = InPlace(source, VT_UNKNOWN);
    if (!stored) {
        stored = InPlace(source, VT_DISPATCH);
    }
    if (!stored) {
        frame.SetArgError(position);
        return DISP_E_TYPEMISMATCH;
    }
    IUnknown* object = nullptr;
    std::memcpy(&object, stored, sizeof(object));
    if (object && FAILED(object->QueryInterface(*info.iid, reinterpret_cast<void**>(value)))) {
        frame.SetArgError(position);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT LoadOut(const CallFrame& frame, UINT i, void* local, size_t size, void** target, WriteBack* back) {
    const ArgInfo& info = frame.Info(i);
    UINT position = 0;
    VARIANT* arg = frame.Arg(i, &position);
    if (!arg || vr::IsMissingArgument(*arg)) {
        if (HRESULT hr = CheckOmission(frame, i, arg, position); FAILED(hr)) {
            return hr;
        }
        return info.defaultValue.IsEmpty()
                   ? S_OK
                   : InitLocal(frame, i, &info.defaultValue.Get(), position, local, size);
    }
    if (!info.iid && IsDirect(*arg, info.vt)) {
        *target = arg->byref;
        return S_OK;
    }
    const VARIANT* source = arg;
    if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal) {
        back->variant = arg->pvarVal;
        source = arg->pvarVal;
    } else if (info.iid && (arg->vt == (VT_BYREF | VT_DISPATCH) || arg->vt == (VT_BYREF | VT_UNKNOWN))) {
        back->interfaceSlot = static_cast<IUnknown**>(arg->byref);
        return S_OK;
    } else if (arg->vt & VT_BYREF) {
        frame.SetArgError(position);
        return DISP_E_TYPEMISMATCH;
    }
    if (info.iid) {
        return S_OK; // an interface of a particular type is only handed out: what the caller had is not read
    }
    // Passed by value, the argument is the method's input only: there is nowhere to write the output to.
    return InitLocal(frame, i, source, position, local, size);
}

void CommitOut(const WriteBack& back, VARTYPE vt, void* local, size_t size) {
    if (back.variant) {
        (void)VariantClear(back.variant);
        MoveInto(back.variant, vt, local, size);
    } else if (back.interfaceSlot) {
        IUnknown* old = *back.interfaceSlot;
        std::memcpy(back.interfaceSlot, local, sizeof(IUnknown*));
        ZeroLocal(vt, local, size);
        if (old) {
            old->Release();
        }
    }
}

void StoreResult(VARIANT* result, VARTYPE vt, void* local, size_t size) {
    if (result) {
        MoveInto(result, vt, local, size);
    }
}

void FreeValueSlow(VARTYPE vt, void* value) {
    if (vt == VT_VARIANT) {
        (void)VariantClear(static_cast<VARIANT*>(value));
        return;
    }
    void* pointer = nullptr;
    std::memcpy(&pointer, value, sizeof(pointer));
    if (!pointer) {
        return;
    }
    if (vt & VT_ARRAY) {
        (void)SafeArrayDestroy(static_cast<SAFEARRAY*>(pointer));
    } else if (vt == VT_BSTR) {
        SysFreeString(static_cast<BSTR>(pointer));
    } else {
        static_cast<IUnknown*>(pointer)->Release();
    }
    std::memset(value, 0, sizeof(pointer));
}

} // namespace vr::detail
