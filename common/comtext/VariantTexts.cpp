// The texts of a VARIANT that holds a list.
#include "common/comtext/VariantTexts.h"

namespace vrcommon {

bool VariantArrayTexts(const VARIANT& array, std::vector<std::u16string>* texts) {
    if (array.vt != (VT_ARRAY | VT_VARIANT) || !array.parray) {
        return false;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array.parray, 1, &upper))) {
        return false;
    }
    for (LONG i = lower; i <= upper; ++i) {
        _variant_t element;
        _variant_t converted;
        if (SUCCEEDED(SafeArrayGetElement(array.parray, &i, static_cast<VARIANT*>(&element))) &&
            SUCCEEDED(VariantChangeType(&converted, &element, 0, VT_BSTR))) {
            texts->emplace_back(converted.bstrVal, SysStringLen(converted.bstrVal));
        }
    }
    return true;
}

} // namespace vrcommon
