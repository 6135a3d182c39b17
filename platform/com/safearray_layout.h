// How a SAFEARRAY keeps its element type, bounds and data: shared by its lifetime and element functions.
#pragma once

#include "platform/com/automation_rules.h"

namespace vr::automation {

// The element type; for an array made elsewhere without one, what its feature flags tell (VT_EMPTY when
// they tell nothing: plain data).
VARTYPE ElementTypeOf(SAFEARRAY* array);

// The bound of dimension dim, numbered from 1 = leftmost; bounds are stored last dimension first.
inline const SAFEARRAYBOUND& BoundOf(const SAFEARRAY* array, UINT dim) {
    return array->rgsabound[array->cDims - dim];
}

// Elements in the array (their count fits size_t: checked whenever the bounds are set).
size_t ElementCount(const SAFEARRAY* array);

inline void* ElementAt(SAFEARRAY* array, size_t cell) {
    return static_cast<char*>(array->pvData) + cell * array->cbElements;
}

// Frees what the elements [first, end) own and zeroes them.
void ReleaseElements(SAFEARRAY* array, size_t first, size_t end);

} // namespace vr::automation
