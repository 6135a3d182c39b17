// Rules shared by VARIANT, SAFEARRAY and the conversions: which types they hold, sizes, reading through
// references.
#pragma once

#include "platform/com/variant.h"

#include <cstddef>

namespace vr::automation {

// A type a SAFEARRAY may hold (one of the union's by-value types, or VT_VARIANT).
bool IsArrayElementType(VARTYPE vt);

// A type tag a VARIANT may carry: a by-value type, any of them or VT_VARIANT/VT_DECIMAL by reference, or an
// array of an element type (also by reference).
bool IsValidVariantType(VARTYPE vt);

// Bytes of one value of an array element type (what a by-reference pointer of that type points at); 0 for
// a type that is not an element type.
size_t ElementSize(VARTYPE vt);

// A by-value view of what v holds, owning nothing: a by-reference value is read through, a VT_VARIANT
// reference followed once (and a reference inside it once more). E_INVALIDARG for a null reference or a
// reference to a VT_VARIANT reference; DISP_E_BADVARTYPE for an invalid type or a DECIMAL.
[[nodiscard]] HRESULT ViewValue(const VARIANT& v, VARIANT* view);

constexpr bool IsInterfaceType(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// Duplicates a BSTR with its exact byte length (odd lengths and embedded zeros survive); null stays null.
// E_OUTOFMEMORY (copy null) when no memory is left.
[[nodiscard]] HRESULT DuplicateBstr(BSTR text, BSTR* copy);

} // namespace vr::automation
