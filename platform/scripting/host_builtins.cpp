// The host objects scripts know from JScript: ActiveXObject, Enumerator and VBArray.
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/scripting/runtime.h"

#include <vector>

namespace vr::script {
namespace {

constexpr const char* kEnumeratorKey = DUK_HIDDEN_SYMBOL("vrEnumerator");

// ---- ActiveXObject ----

duk_ret_t CreateActiveXObject(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx)) {
        ThrowHResult(ctx, JSERR_OBJECT_EXPECTED, u"ActiveXObject is called with new");
    }
    std::u16string progId = TextAt(ctx, 0);
    CLSID clsid = GUID_NULL;
    ComPtr<IDispatch> object;
    HRESULT hr = CLSIDFromString(progId.c_str(), &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, uuidof<IDispatch>(),
                              object.PutVoid());
    }
    if (FAILED(hr)) {
        ThrowHResult(ctx, JSERR_CANT_CREATE_OBJECT, u"Automation server can't create object");
    }
    PushHostObject(ctx, object.Get());
    return 1;
}

// ---- Enumerator ----

// The walk over a collection's IEnumVARIANT, or over a snapshot of a script array.
struct Enumeration {
    ComPtr<IEnumVARIANT> source;
    std::vector<VARIANT> snapshot;
    size_t next = 0;
    VARIANT current{};
    bool atEnd = true;

    ~Enumeration() {
        (void)VariantClear(&current);
        for (VARIANT& item : snapshot) {
            (void)VariantClear(&item);
        }
    }
    void MoveNext() {
        (void)VariantClear(&current);
        if (source) {
            ULONG fetched = 0;
            atEnd = source->Next(1, &current, &fetched) != S_OK || fetched != 1;
        } else {
            atEnd = next >= snapshot.size();
            if (!atEnd) {
                (void)VariantCopy(&current, &snapshot[next++]);
            }
        }
    }
    void MoveFirst() {
        if (source) {
            (void)source->Reset();
        }
        next = 0;
        MoveNext();
    }
};

Enumeration* EnumerationOfThis(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kEnumeratorKey);
    auto* enumeration = static_cast<Enumeration*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    if (!enumeration) {
        ThrowHResult(ctx, JSERR_OBJECT_EXPECTED, u"Enumerator object expected");
    }
    return enumeration;
}

duk_ret_t DeleteEnumeration(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kEnumeratorKey);
    delete static_cast<Enumeration*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kEnumeratorKey);
    return 0;
}

HRESULT OpenCollection(duk_context* ctx, IDispatch* collection, Enumeration* enumeration) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = collection->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        IUnknown* unknown = result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH ? result.punkVal : nullptr;
        hr = unknown ? unknown->QueryInterface(enumeration->source.Put()) : E_NOINTERFACE;
    }
    (void)VariantClear(&result);
    return hr;
}

void SnapshotArray(duk_context* ctx, Enumeration* enumeration) {
    auto length = static_cast<duk_uarridx_t>(duk_get_length(ctx, 0));
    enumeration->snapshot.resize(length);
    for (duk_uarridx_t i = 0; i < length; ++i) {
        duk_get_prop_index(ctx, 0, i);
        if (FAILED(ValueToVariant(ctx, -1, &enumeration->snapshot[i]))) {
            VariantInit(&enumeration->snapshot[i]);
        }
        duk_pop(ctx);
    }
}

duk_ret_t CreateEnumerator(duk_context* ctx) {
    auto enumeration = std::make_unique<Enumeration>();
    if (IDispatch* collection = HostObjectAt(ctx, 0)) {
        if (FAILED(OpenCollection(ctx, collection, enumeration.get()))) {
            ThrowHResult(ctx, JSERR_NOT_A_COLLECTION, u"Object is not a collection");
        }
    } else if (duk_is_array(ctx, 0)) {
        SnapshotArray(ctx, enumeration.get());
    } else if (!duk_is_undefined(ctx, 0)) {
        ThrowHResult(ctx, JSERR_NOT_A_COLLECTION, u"Object is not a collection");
    }
    enumeration->MoveFirst();
    duk_push_this(ctx);
    duk_push_pointer(ctx, enumeration.release());
    duk_put_prop_string(ctx, -2, kEnumeratorKey);
    duk_push_c_function(ctx, &DeleteEnumeration, 1);
    duk_set_finalizer(ctx, -2);
    return 0;
}

duk_ret_t EnumeratorAtEnd(duk_context* ctx) {
    duk_push_boolean(ctx, EnumerationOfThis(ctx)->atEnd);
    return 1;
}

duk_ret_t EnumeratorItem(duk_context* ctx) {
    Enumeration* enumeration = EnumerationOfThis(ctx);
    if (enumeration->atEnd) {
        return 0;
    }
    PushVariant(ctx, enumeration->current);
    return 1;
}

duk_ret_t EnumeratorMoveFirst(duk_context* ctx) {
    EnumerationOfThis(ctx)->MoveFirst();
    return 0;
}

duk_ret_t EnumeratorMoveNext(duk_context* ctx) {
    EnumerationOfThis(ctx)->MoveNext();
    return 0;
}

// ---- VBArray ----

SAFEARRAY* ArrayOfThis(duk_context* ctx) {
    duk_push_this(ctx);
    SAFEARRAY* array = SafeArrayAt(ctx, -1);
    duk_pop(ctx);
    if (!array) {
        ThrowHResult(ctx, JSERR_VBARRAY_EXPECTED, u"VBArray expected");
    }
    return array;
}

// Pushes the element at data as a script value (its type being the array's).
void PushElement(duk_context* ctx, VARTYPE type, void* data) {
    if (type == VT_VARIANT) {
        PushVariant(ctx, *static_cast<VARIANT*>(data));
        return;
    }
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = static_cast<VARTYPE>(type | VT_BYREF);
    reference.byref = data;
    PushVariant(ctx, reference);
}

duk_ret_t CreateVBArray(duk_context* ctx) {
    SAFEARRAY* array = SafeArrayAt(ctx, 0);
    if (!array) {
        ThrowHResult(ctx, JSERR_VBARRAY_EXPECTED, u"VBArray expected");
    }
    PushSafeArray(ctx, array); // a copy of its own, with the VBArray prototype
    duk_push_this(ctx);
    duk_get_prototype(ctx, -1);
    duk_set_prototype(ctx, -3);
    duk_pop(ctx);
    return 1;
}

UINT DimensionArgument(duk_context* ctx, SAFEARRAY* array) {
    auto dimension = static_cast<UINT>(duk_is_undefined(ctx, 0) ? 1 : duk_to_uint(ctx, 0));
    if (dimension < 1 || dimension > SafeArrayGetDim(array)) {
        ThrowHResult(ctx, DISP_E_BADINDEX, u"Subscript out of range");
    }
    return dimension;
}

duk_ret_t VBArrayDimensions(duk_context* ctx) {
    duk_push_uint(ctx, SafeArrayGetDim(ArrayOfThis(ctx)));
    return 1;
}

duk_ret_t VBArrayLBound(duk_context* ctx) {
    SAFEARRAY* array = ArrayOfThis(ctx);
    LONG bound = 0;
    (void)SafeArrayGetLBound(array, DimensionArgument(ctx, array), &bound);
    duk_push_int(ctx, bound);
    return 1;
}

duk_ret_t VBArrayUBound(duk_context* ctx) {
    SAFEARRAY* array = ArrayOfThis(ctx);
    LONG bound = 0;
    (void)SafeArrayGetUBound(array, DimensionArgument(ctx, array), &bound);
    duk_push_int(ctx, bound);
    return 1;
}

// getItem(i1, i2, ...): one index per dimension, the first dimension first.
duk_ret_t VBArrayGetItem(duk_context* ctx) {
    SAFEARRAY* array = ArrayOfThis(ctx);
    UINT dimensions = SafeArrayGetDim(array);
    if (static_cast<UINT>(duk_get_top(ctx)) != dimensions) {
        ThrowHResult(ctx, DISP_E_BADINDEX, u"Subscript out of range");
    }
    std::vector<LONG> indices(dimensions);
    for (UINT i = 0; i < dimensions; ++i) {
        indices[i] = duk_to_int(ctx, static_cast<duk_idx_t>(i));
    }
    VARTYPE type = VT_EMPTY;
    void* element = nullptr;
    if (FAILED(SafeArrayGetVartype(array, &type)) ||
        FAILED(SafeArrayPtrOfIndex(array, indices.data(), &element))) {
        ThrowHResult(ctx, DISP_E_BADINDEX, u"Subscript out of range");
    }
    PushElement(ctx, type, element);
    return 1;
}

// toArray(): every element in storage order (the first dimension varying fastest).
duk_ret_t VBArrayToArray(duk_context* ctx) {
    SAFEARRAY* array = ArrayOfThis(ctx);
    VARTYPE type = VT_EMPTY;
    (void)SafeArrayGetVartype(array, &type);
    size_t count = 1;
    for (UINT d = 1; d <= SafeArrayGetDim(array); ++d) {
        LONG lower = 0;
        LONG upper = -1;
        (void)SafeArrayGetLBound(array, d, &lower);
        (void)SafeArrayGetUBound(array, d, &upper);
        count *= static_cast<size_t>(upper >= lower ? upper - lower + 1 : 0);
    }
    duk_push_array(ctx);
    void* data = nullptr;
    if (count == 0 || FAILED(SafeArrayAccessData(array, &data))) {
        return 1;
    }
    UINT size = SafeArrayGetElemsize(array);
    for (size_t i = 0; i < count; ++i) {
        PushElement(ctx, type, static_cast<char*>(data) + i * size);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    (void)SafeArrayUnaccessData(array);
    return 1;
}

void DefineConstructor(duk_context* ctx, const char* name, duk_c_function create, duk_idx_t args,
                       const duk_function_list_entry* methods) {
    duk_push_c_function(ctx, create, args);
    duk_push_object(ctx);
    if (methods) {
        duk_put_function_list(ctx, -1, methods);
    }
    duk_put_prop_string(ctx, -2, "prototype");
    duk_put_global_string(ctx, name);
}

} // namespace

void InstallHostBuiltins(duk_context* ctx) {
    static const duk_function_list_entry kEnumeratorMethods[] = {
        {"atEnd", &EnumeratorAtEnd, 0},
        {"item", &EnumeratorItem, 0},
        {"moveFirst", &EnumeratorMoveFirst, 0},
        {"moveNext", &EnumeratorMoveNext, 0},
        {nullptr, nullptr, 0},
    };
    static const duk_function_list_entry kVBArrayMethods[] = {
        {"dimensions", &VBArrayDimensions, 0}, {"lbound", &VBArrayLBound, 1},
        {"ubound", &VBArrayUBound, 1},         {"getItem", &VBArrayGetItem, DUK_VARARGS},
        {"toArray", &VBArrayToArray, 0},       {nullptr, nullptr, 0},
    };
    DefineConstructor(ctx, "ActiveXObject", &CreateActiveXObject, 1, nullptr);
    DefineConstructor(ctx, "Enumerator", &CreateEnumerator, 1, kEnumeratorMethods);
    DefineConstructor(ctx, "VBArray", &CreateVBArray, 1, kVBArrayMethods);
    InstallMemberCallHelper(ctx);
    InstallTypeOfMemberHelper(ctx);
}

} // namespace vr::script
