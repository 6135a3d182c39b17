// VarCmp: the ordering of two automation values with the OLE comparison rules, in the C locale.
#include "platform/base/text.h"
#include "platform/com/automation_rules.h"
#include "platform/com/variant.h"
#include "platform/com/variant_numeric.h"

using namespace vr::automation;

namespace {

enum class Category { Empty, Null, Number, Text, Other };

Category CategoryOf(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
        return Category::Empty;
    case VT_NULL:
        return Category::Null;
    case VT_BSTR:
        return Category::Text;
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return Category::Other;
    default:
        return (vt & VT_ARRAY) ? Category::Other : Category::Number;
    }
}

HRESULT FromOrder(int order) {
    return order < 0 ? VARCMP_LT : (order > 0 ? VARCMP_GT : VARCMP_EQ);
}

std::u16string_view TextOf(const VARIANT& value) {
    return value.vt == VT_BSTR ? vr::BstrView(value.bstrVal) : std::u16string_view();
}

HRESULT CompareTexts(std::u16string_view left, std::u16string_view right, ULONG flags) {
    return FromOrder((flags & NORM_IGNORECASE) ? vr::CompareNoCase(left, right) : left.compare(right));
}

// Numbers, VT_EMPTY standing for 0.
HRESULT CompareNumbers(const VARIANT& left, const VARIANT& right) {
    Numeric a, b;
    HRESULT hr = ReadNumeric(left, &a);
    if (SUCCEEDED(hr)) {
        hr = ReadNumeric(right, &b);
    }
    return FAILED(hr) ? hr : FromOrder(CompareNumeric(a, b));
}

} // namespace

HRESULT VarCmp(const VARIANT* left, const VARIANT* right, LCID, ULONG flags) {
    if (!left || !right) {
        return E_INVALIDARG;
    }
    VARIANT l, r;
    HRESULT hr = ViewValue(*left, &l);
    if (SUCCEEDED(hr)) {
        hr = ViewValue(*right, &r);
    }
    if (FAILED(hr)) {
        return hr;
    }
    const Category lc = CategoryOf(l.vt);
    const Category rc = CategoryOf(r.vt);
    if (lc == Category::Null || rc == Category::Null) {
        return VARCMP_NULL;
    }
    if (lc == Category::Other || rc == Category::Other) {
        return DISP_E_TYPEMISMATCH;
    }
    if (lc == Category::Text || rc == Category::Text) {
        if (lc == Category::Number) {
            return VARCMP_LT; // a number sorts before every string
        }
        if (rc == Category::Number) {
            return VARCMP_GT;
        }
        return CompareTexts(TextOf(l), TextOf(r), flags); // VT_EMPTY stands for ""
    }
    return CompareNumbers(l, r);
}
