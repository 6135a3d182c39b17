// Display texts of VARIANT values, and the hexadecimal dump of texts the log file writes and reads back.
#include "common/trace/Trace.h"

#include "common/comtext/BstrText.h"
#include "common/trace/TraceInternal.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace {

// Past this length an array's text takes no further element.
constexpr size_t kArrayTextLimit = 498;

std::u16string ElementText(SAFEARRAY* array, LONG index) {
    VARIANT element;
    VariantInit(&element);
    std::u16string text = u"<value>";
    if (SUCCEEDED(SafeArrayGetElement(array, &index, &element)) &&
        SUCCEEDED(VariantChangeType(&element, &element, 0, VT_BSTR))) {
        text = vr::U16View(element.bstrVal);
    }
    (void)VariantClear(&element);
    return text;
}

std::u16string ArrayText(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return u"<value>";
    }
    std::u16string text = u"{";
    // A 64-bit counter: an upper bound at the end of the 32-bit range must not wrap the loop.
    for (int64_t index = lower; index <= upper; ++index) {
        if (text.size() > kArrayTextLimit) {
            text += u", ...";
            break;
        }
        if (index != lower) {
            text += u", ";
        }
        text += ElementText(array, static_cast<LONG>(index));
    }
    return text + u"}";
}

bool IsTextableArray(const VARIANT& value) {
    return value.vt == (VT_ARRAY | VT_VARIANT) && value.parray != nullptr &&
           SafeArrayGetDim(value.parray) == 1;
}

std::u16string ScalarText(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_VOID:
        return {};
    case VT_I2:
        return vr::FormatWString(u"%i", int{value.iVal});
    case VT_I1:
        return vr::FormatWString(u"%i", int{static_cast<signed char>(value.cVal)});
    case VT_I4:
        return vr::FormatWString(u"%li", value.lVal);
    case VT_INT:
        return vr::FormatWString(u"%li", value.intVal);
    case VT_UI1:
        return vr::FormatWString(u"%u", unsigned{value.bVal});
    case VT_UI2:
        return vr::FormatWString(u"%u", unsigned{value.uiVal});
    case VT_UI4:
        return vr::FormatWString(u"%lu", value.ulVal);
    case VT_UINT:
        return vr::FormatWString(u"%lu", value.uintVal);
    case VT_R4:
        return vr::FormatWString(u"%f", double{value.fltVal});
    case VT_R8:
        return vr::FormatWString(u"%G", value.dblVal);
    case VT_BOOL:
        return value.boolVal == VARIANT_TRUE ? u"True" : u"False";
    case VT_BSTR:
        return std::u16string(vr::U16View(value.bstrVal));
    case VT_ERROR:
        return value.scode == DISP_E_PARAMNOTFOUND ? std::u16string(u"(null)")
                                                   : vr::FormatWString(u"0x%08X", value.scode);
    default:
        return u"<value>";
    }
}

} // namespace

VARIANT UnwrapVariantRef(const VARIANT& value) {
    if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal != nullptr) {
        return *value.pvarVal;
    }
    return value;
}

std::u16string VariantToText(const VARIANT* value) {
    if (value == nullptr) {
        return {};
    }
    VARIANT source = UnwrapVariantRef(*value);
    VARIANT local;
    VariantInit(&local);
    if (HRESULT hr = VariantCopy(&local, &source); FAILED(hr)) {
        local.vt = VT_ERROR;
        local.scode = hr;
    }
    std::u16string text = IsTextableArray(local) ? ArrayText(local.parray) : ScalarText(local);
    (void)VariantClear(&local);
    return text;
}

BSTR VariantToTypedText(const VARIANT* value) {
    using vrcommon::trace::CutToBuffer;
    std::u16string typeName =
        CutToBuffer(VarTypeName(value ? value->vt : VARTYPE{VT_EMPTY}), VARIANT_TEXT_BUFFER);
    std::u16string text = CutToBuffer(VariantToText(value), VARIANT_TEXT_BUFFER);
    return vrcommon::NewBstr(u"(" + typeName + u")" + text);
}

BSTR VariantToTextBstr(const VARIANT* value) {
    return vrcommon::NewBstr(vrcommon::trace::CutToBuffer(VariantToText(value), VARIANT_TEXT_BUFFER));
}

BSTR HexDumpText(const OLECHAR* text) {
    std::u16string_view units = vr::U16View(text);
    if (units.empty()) {
        return nullptr;
    }
    std::u16string dump;
    for (char16_t unit : units) {
        dump += vr::FormatWString(dump.empty() ? u"%02X" : u" %02X", unsigned{unit});
    }
    return vrcommon::NewBstr(dump);
}

BSTR HexTextToBstr(const OLECHAR* hex) {
    std::u16string decoded;
    const OLECHAR* pos = hex ? hex : u"";
    while (*pos != 0) {
        if (*pos == u' ') {
            ++pos;
            continue;
        }
        const OLECHAR* end = pos;
        LONG number = vr::Wcstol(pos, &end, 16);
        if (end == pos) {
            // Starts no number: skipped, so that the scan always moves on.
            ++pos;
            continue;
        }
        decoded += static_cast<char16_t>(number);
        pos = end;
    }
    return vrcommon::NewBstr(decoded);
}
