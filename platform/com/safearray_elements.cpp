// SAFEARRAY elements: addressing by index, copying single elements in and out, copying whole arrays.
#include "platform/com/safearray_layout.h"
#include "platform/com/unknown.h"

#include <cstring>
#include <utility>
#include <vector>

using namespace vr::automation;

namespace {

// The position in memory of the element at indices (first dimension first, varying fastest).
HRESULT CellOf(const SAFEARRAY* array, const LONG* indices, size_t* cell) {
    size_t position = 0;
    size_t stride = 1;
    for (UINT dim = 1; dim <= array->cDims; ++dim) {
        const SAFEARRAYBOUND& bound = BoundOf(array, dim);
        const int64_t offset = int64_t{indices[dim - 1]} - bound.lLbound;
        if (offset < 0 || offset >= int64_t{bound.cElements}) {
            return DISP_E_BADINDEX;
        }
        position += static_cast<size_t>(offset) * stride;
        stride *= bound.cElements;
    }
    *cell = position;
    return S_OK;
}

// Copies every element of from into the zeroed elements of the array to, of the same type and shape.
HRESULT CopyElements(SAFEARRAY* from, SAFEARRAY* to) {
    const VARTYPE vt = ElementTypeOf(from);
    const size_t count = ElementCount(from);
    if (vt != VT_BSTR && vt != VT_VARIANT && !IsInterfaceType(vt)) {
        if (count != 0) {
            std::memcpy(to->pvData, from->pvData, count * from->cbElements);
        }
        return S_OK;
    }
    for (size_t cell = 0; cell < count; ++cell) {
        void* source = ElementAt(from, cell);
        void* target = ElementAt(to, cell);
        HRESULT hr = S_OK;
        if (vt == VT_BSTR) {
            hr = DuplicateBstr(*static_cast<BSTR*>(source), static_cast<BSTR*>(target));
        } else if (vt == VT_VARIANT) {
            hr = VariantCopy(static_cast<VARIANT*>(target), static_cast<VARIANT*>(source));
        } else if (IUnknown* object = *static_cast<IUnknown**>(source)) {
            object->AddRef();
            *static_cast<IUnknown**>(target) = object;
        }
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

// Holds a lock on an array for the length of an element access.
class ScopedArrayLock {
public:
    explicit ScopedArrayLock(SAFEARRAY* array) : array_(array), result_(SafeArrayLock(array)) {}
    ~ScopedArrayLock() {
        if (SUCCEEDED(result_)) {
            static_cast<void>(SafeArrayUnlock(array_));
        }
    }
    ScopedArrayLock(const ScopedArrayLock&) = delete;
    ScopedArrayLock& operator=(const ScopedArrayLock&) = delete;
    HRESULT Result() const { return result_; }

private:
    SAFEARRAY* array_;
    HRESULT result_;
};

HRESULT CopyElementOut(SAFEARRAY* array, const void* element, void* value) {
    const VARTYPE vt = ElementTypeOf(array);
    if (vt == VT_BSTR) {
        return DuplicateBstr(*static_cast<const BSTR*>(element), static_cast<BSTR*>(value));
    }
    if (vt == VT_VARIANT) {
        VariantInit(static_cast<VARIANT*>(value));
        return VariantCopy(static_cast<VARIANT*>(value), static_cast<const VARIANT*>(element));
    }
    if (IsInterfaceType(vt)) {
        IUnknown* object = *static_cast<IUnknown* const*>(element);
        if (object) {
            object->AddRef();
        }
        *static_cast<IUnknown**>(value) = object;
        return S_OK;
    }
    std::memcpy(value, element, array->cbElements);
    return S_OK;
}

HRESULT CopyElementIn(SAFEARRAY* array, void* element, const void* value) {
    const VARTYPE vt = ElementTypeOf(array);
    if (vt == VT_BSTR) {
        BSTR copy;
        const HRESULT hr = DuplicateBstr(static_cast<BSTR>(const_cast<void*>(value)), &copy);
        if (FAILED(hr)) {
            return hr;
        }
        SysFreeString(std::exchange(*static_cast<BSTR*>(element), copy));
        return S_OK;
    }
    if (vt == VT_VARIANT) {
        return VariantCopy(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(value));
    }
    if (IsInterfaceType(vt)) {
        auto* object = static_cast<IUnknown*>(const_cast<void*>(value));
        if (object) {
            object->AddRef();
        }
        // Released after the element holds the new object, in case the release re-enters.
        if (IUnknown* old = std::exchange(*static_cast<IUnknown**>(element), object)) {
            old->Release();
        }
        return S_OK;
    }
    std::memcpy(element, value, array->cbElements);
    return S_OK;
}

} // namespace

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const LONG* indices, void** element) {
    if (!array || !indices || !element) {
        return E_INVALIDARG;
    }
    size_t cell;
    const HRESULT hr = CellOf(array, indices, &cell);
    if (FAILED(hr)) {
        return hr;
    }
    *element = ElementAt(array, cell);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value) {
    if (!array || !indices || !value) {
        return E_INVALIDARG;
    }
    size_t cell;
    HRESULT hr = CellOf(array, indices, &cell);
    if (FAILED(hr)) {
        return hr;
    }
    ScopedArrayLock lock(array);
    if (FAILED(lock.Result())) {
        return lock.Result();
    }
    return CopyElementOut(array, ElementAt(array, cell), value);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, const void* value) {
    if (!array || !indices) {
        return E_INVALIDARG;
    }
    const VARTYPE vt = ElementTypeOf(array);
    if (!value && vt != VT_BSTR && !IsInterfaceType(vt)) {
        return E_INVALIDARG; // only a BSTR or an interface may be null
    }
    size_t cell;
    HRESULT hr = CellOf(array, indices, &cell);
    if (FAILED(hr)) {
        return hr;
    }
    ScopedArrayLock lock(array);
    if (FAILED(lock.Result())) {
        return lock.Result();
    }
    return CopyElementIn(array, ElementAt(array, cell), value);
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
    if (!copy) {
        return E_INVALIDARG;
    }
    *copy = nullptr;
    if (!array) {
        return S_OK;
    }
    const VARTYPE vt = ElementTypeOf(array);
    if (vt == VT_EMPTY) {
        return DISP_E_BADVARTYPE;
    }
    std::vector<SAFEARRAYBOUND> bounds(array->cDims);
    for (UINT dim = 1; dim <= array->cDims; ++dim) {
        bounds[dim - 1] = BoundOf(array, dim);
    }
    SAFEARRAY* result = SafeArrayCreate(vt, array->cDims, bounds.data());
    if (!result) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = CopyElements(array, result);
    if (FAILED(hr)) {
        static_cast<void>(SafeArrayDestroy(result));
        return hr;
    }
    *copy = result;
    return S_OK;
}
