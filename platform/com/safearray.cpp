// SAFEARRAY lifetime and shape: creation, bounds, lock counts, redim and destruction.
#include "platform/com/safearray_layout.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vr::automation {

namespace {

// Kept just before the descriptor, as arrays with FADF_HAVEVARTYPE keep their element type.
struct alignas(16) ArrayPrefix {
    VARTYPE vt;
};

constexpr ULONG kMaxLocks = 0xFFFF;

size_t DescriptorBytes(UINT dims) {
    return offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
}

ArrayPrefix* PrefixOf(SAFEARRAY* array) {
    return reinterpret_cast<ArrayPrefix*>(reinterpret_cast<char*>(array) - sizeof(ArrayPrefix));
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR:
        return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
        return FADF_HAVEVARTYPE;
    }
}

// The last index must fit a LONG, so that index arithmetic never overflows.
bool IsValidBound(const SAFEARRAYBOUND& bound) {
    return int64_t{bound.lLbound} + int64_t{bound.cElements} - 1 <= INT32_MAX;
}

// Elements of the array, or false when they, or their bytes, do not fit size_t.
bool CountElements(const SAFEARRAY* array, size_t* count) {
    size_t total = 1;
    for (UINT i = 0; i < array->cDims; ++i) {
        const size_t elements = array->rgsabound[i].cElements;
        if (elements != 0 && total > SIZE_MAX / elements) {
            return false;
        }
        total *= elements;
    }
    *count = total;
    return total <= SIZE_MAX / array->cbElements;
}

void FreeArray(SAFEARRAY* array) {
    std::free(array->pvData);
    std::free(PrefixOf(array));
}

bool IsLocked(SAFEARRAY* array) {
    return std::atomic_ref<ULONG>(array->cLocks).load() != 0;
}

} // namespace

VARTYPE ElementTypeOf(SAFEARRAY* array) {
    const USHORT features = array->fFeatures;
    if (features & FADF_HAVEVARTYPE) {
        return PrefixOf(array)->vt;
    }
    return (features & FADF_BSTR)       ? VT_BSTR
           : (features & FADF_UNKNOWN)  ? VT_UNKNOWN
           : (features & FADF_DISPATCH) ? VT_DISPATCH
           : (features & FADF_VARIANT)  ? VT_VARIANT
                                        : VT_EMPTY;
}

size_t ElementCount(const SAFEARRAY* array) {
    size_t count = 0;
    static_cast<void>(CountElements(array, &count)); // checked when the bounds were set
    return count;
}

void ReleaseElements(SAFEARRAY* array, size_t first, size_t end) {
    const VARTYPE vt = ElementTypeOf(array);
    for (size_t cell = first; cell < end; ++cell) {
        void* element = ElementAt(array, cell);
        if (vt == VT_BSTR) {
            SysFreeString(*static_cast<BSTR*>(element));
            *static_cast<BSTR*>(element) = nullptr;
        } else if (IsInterfaceType(vt)) {
            if (IUnknown* object = std::exchange(*static_cast<IUnknown**>(element), nullptr)) {
                object->Release();
            }
        } else if (vt == VT_VARIANT) {
            // A locked array inside cannot be freed; it is left to whoever holds its lock.
            static_cast<void>(VariantClear(static_cast<VARIANT*>(element)));
        }
    }
}

} // namespace vr::automation

using namespace vr::automation;

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
    if (!IsArrayElementType(vt) || dims == 0 || dims > 0xFFFF || !bounds) {
        return nullptr;
    }
    for (UINT i = 0; i < dims; ++i) {
        if (!IsValidBound(bounds[i])) {
            return nullptr;
        }
    }
    auto* prefix = static_cast<ArrayPrefix*>(std::calloc(1, sizeof(ArrayPrefix) + DescriptorBytes(dims)));
    if (!prefix) {
        return nullptr;
    }
    prefix->vt = vt;
    auto* array = reinterpret_cast<SAFEARRAY*>(prefix + 1);
    array->cDims = static_cast<USHORT>(dims);
    array->fFeatures = FeaturesFor(vt);
    array->cbElements = static_cast<ULONG>(ElementSize(vt));
    for (UINT i = 0; i < dims; ++i) {
        array->rgsabound[dims - 1 - i] = bounds[i];
    }
    size_t count = 0;
    if (!CountElements(array, &count)) {
        FreeArray(array);
        return nullptr;
    }
    if (count != 0) {
        array->pvData = std::calloc(count, array->cbElements);
        if (!array->pvData) {
            FreeArray(array);
            return nullptr;
        }
    }
    return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    const SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) {
        return S_OK;
    }
    if (IsLocked(array)) {
        return DISP_E_ARRAYISLOCKED;
    }
    ReleaseElements(array, 0, ElementCount(array));
    FreeArray(array);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt) {
        return E_INVALIDARG;
    }
    const VARTYPE type = ElementTypeOf(array);
    if (type == VT_EMPTY) {
        return DISP_E_BADVARTYPE;
    }
    *vt = type;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) {
    return array ? array->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* array) {
    return array ? array->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lower) {
    if (!array || !lower) {
        return E_INVALIDARG;
    }
    if (dim == 0 || dim > array->cDims) {
        return DISP_E_BADINDEX;
    }
    *lower = BoundOf(array, dim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upper) {
    if (!array || !upper) {
        return E_INVALIDARG;
    }
    if (dim == 0 || dim > array->cDims) {
        return DISP_E_BADINDEX;
    }
    const SAFEARRAYBOUND& bound = BoundOf(array, dim);
    *upper = static_cast<LONG>(int64_t{bound.lLbound} + int64_t{bound.cElements} - 1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
    if (!array) {
        return E_INVALIDARG;
    }
    std::atomic_ref<ULONG> locks(array->cLocks);
    ULONG current = locks.load();
    do {
        if (current >= kMaxLocks) {
            return E_UNEXPECTED;
        }
    } while (!locks.compare_exchange_weak(current, current + 1));
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
    if (!array) {
        return E_INVALIDARG;
    }
    std::atomic_ref<ULONG> locks(array->cLocks);
    ULONG current = locks.load();
    do {
        if (current == 0) {
            return E_UNEXPECTED;
        }
    } while (!locks.compare_exchange_weak(current, current - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (!array || !data) {
        return E_INVALIDARG;
    }
    const HRESULT hr = SafeArrayLock(array);
    if (FAILED(hr)) {
        return hr;
    }
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
    return SafeArrayUnlock(array);
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* lastDimension) {
    if (!array || !lastDimension || !IsValidBound(*lastDimension)) {
        return E_INVALIDARG;
    }
    if (IsLocked(array)) {
        return DISP_E_ARRAYISLOCKED;
    }
    // The last dimension varies slowest, so its elements are whole blocks at the end of the data.
    const size_t oldCount = ElementCount(array);
    size_t blockElements = 1;
    for (UINT i = 1; i < array->cDims; ++i) {
        blockElements *= array->rgsabound[i].cElements;
    }
    const size_t newElements = lastDimension->cElements;
    if (blockElements != 0 && newElements > SIZE_MAX / array->cbElements / blockElements) {
        return E_OUTOFMEMORY;
    }
    const size_t newCount = blockElements * newElements;
    const size_t elementBytes = array->cbElements;
    if (newCount > oldCount) {
        void* grown = std::realloc(array->pvData, newCount * elementBytes);
        if (!grown) {
            return E_OUTOFMEMORY;
        }
        std::memset(static_cast<char*>(grown) + oldCount * elementBytes, 0,
                    (newCount - oldCount) * elementBytes);
        array->pvData = grown;
    } else if (newCount < oldCount) {
        ReleaseElements(array, newCount, oldCount);
        if (newCount == 0) {
            std::free(array->pvData);
            array->pvData = nullptr;
        } else if (void* shrunk = std::realloc(array->pvData, newCount * elementBytes)) {
            array->pvData = shrunk; // a failed shrink keeps the larger block, which is still valid
        }
    }
    array->rgsabound[0] = *lastDimension;
    return S_OK;
}
