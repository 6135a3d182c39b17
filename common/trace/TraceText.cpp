// Diagnostic texts of HRESULTs and VARTYPEs, and FormatBstr.
#include "common/trace/Trace.h"

#include "common/comtext/BstrText.h"
#include "common/trace/TraceInternal.h"
#include "platform/base/format.h"
#include "platform/base/syserror.h"
#include "platform/com/errorinfo.h"
#include "platform/com/hresult.h"

#include <iterator>

namespace {

struct CodeText {
    DWORD code;
    const OLECHAR* text;
};

constexpr CodeText kItfTexts[] = {{0x0154, u"Class not registered"}};
constexpr CodeText kControlTexts[] = {{0x004C, u"Path not found"}};

template <size_t N>
std::u16string LookUpCode(const CodeText (&table)[N], DWORD code) {
    for (const CodeText& entry : table) {
        if (entry.code == (code & 0xFFFF)) {
            return entry.text;
        }
    }
    return {};
}

// The names of the base types: 0-14, 16-31, 36, 64-72 and 0x0FFF; every other base type has none.
const OLECHAR* BaseTypeName(VARTYPE base) {
    static constexpr const OLECHAR* kLow[] = {
        u"VT_EMPTY",   u"VT_NULL",    u"VT_I2",      u"VT_I4",        u"VT_R4",     u"VT_R8",
        u"VT_CY",      u"VT_DATE",    u"VT_BSTR",    u"VT_DISPATCH",  u"VT_ERROR",  u"VT_BOOL",
        u"VT_VARIANT", u"VT_UNKNOWN", u"VT_DECIMAL", nullptr,         u"VT_I1",     u"VT_UI1",
        u"VT_UI2",     u"VT_UI4",     u"VT_I8",      u"VT_UI8",       u"VT_INT",    u"VT_UINT",
        u"VT_VOID",    u"VT_HRESULT", u"VT_PTR",     u"VT_SAFEARRAY", u"VT_CARRAY", u"VT_USERDEFINED",
        u"VT_LPSTR",   u"VT_LPWSTR"};
    static constexpr const OLECHAR* kFrom64[] = {
        u"VT_FILETIME",      u"VT_BLOB",        u"VT_STREAM", u"VT_STORAGE", u"VT_STREAMED_OBJECT",
        u"VT_STORED_OBJECT", u"VT_BLOB_OBJECT", u"VT_CF",     u"VT_CLSID"};
    if (base < std::size(kLow)) {
        return kLow[base];
    }
    if (base >= 64 && base < 64 + std::size(kFrom64)) {
        return kFrom64[base - 64];
    }
    if (base == VT_RECORD) {
        return u"VT_RECORD";
    }
    if (base == VT_BSTR_BLOB) {
        return u"VT_BSTR_BLOB";
    }
    return nullptr;
}

} // namespace

std::u16string ItfErrorText(DWORD code) {
    return LookUpCode(kItfTexts, code);
}

std::u16string ControlErrorText(DWORD code) {
    return LookUpCode(kControlTexts, code);
}

std::u16string Win32ErrorText(DWORD code) {
    return vrcommon::trace::CutToBuffer(vr::Win32ErrorMessage(code & 0xFFFF), WIN32_TEXT_BUFFER);
}

std::u16string HResultText(HRESULT hr) {
    std::u16string text = vr::FormatWString(u"(HRESULT: 0x%08X) ", hr);
    DWORD code = static_cast<DWORD>(hr);
    switch (HRESULT_FACILITY(hr)) {
    case FACILITY_ITF:
        return text + ItfErrorText(code);
    case FACILITY_WIN32:
        return text + Win32ErrorText(code);
    case FACILITY_CONTROL:
        return text + ControlErrorText(code);
    case FACILITY_DISPATCH:
        // The dispatch codes have texts of their own ("Unknown name."); one without stays unknown.
        if (std::u16string own = vr::HResultMessage(hr); !own.empty()) {
            return text + own;
        }
        return text + u"Unknown error code\n";
    default:
        return text + u"Unknown error code\n";
    }
}

std::u16string WithCauseBelow(std::u16string_view message) {
    return WithCause(message, vr::TakeErrorDescription());
}

namespace {

// A cause that starts with a code no table knows ("(HRESULT: 0x80028018) Unknown error code") and goes on to
// say what failed: that line, which tells the reader nothing of the failure, goes after what it says.
std::u16string WithUnknownCodeLast(std::u16string cause) {
    constexpr std::u16string_view kUnknown = u") Unknown error code\n";
    size_t end = cause.find(kUnknown);
    if (!cause.starts_with(u"(HRESULT: 0x") || end != 20 || end + kUnknown.size() >= cause.size()) {
        return cause;
    }
    std::u16string code = cause.substr(0, end + kUnknown.size() - 1);
    std::u16string rest = cause.substr(end + kUnknown.size());
    while (!rest.empty() && (rest.back() == u'\n' || rest.back() == u'\r' || rest.back() == u' ')) {
        rest.pop_back();
    }
    return rest + u" " + code;
}

} // namespace

std::u16string WithCause(std::u16string_view message, std::u16string cause) {
    cause = WithUnknownCodeLast(std::move(cause));
    while (!cause.empty() && (cause.back() == u'\n' || cause.back() == u'\r' || cause.back() == u' ')) {
        cause.pop_back();
    }
    std::u16string text(message);
    if (!cause.empty() && text.find(cause) == std::u16string::npos) {
        text += u" " + cause;
    }
    return text;
}

BSTR FormatBstr(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = vrcommon::trace::VFormatLimited(FORMAT_BSTR_BUFFER, format, args);
    va_end(args);
    return vrcommon::NewBstr(text);
}

std::u16string VarTypeName(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    const OLECHAR* name = BaseTypeName(base);
    std::u16string text = name ? std::u16string(name) : vr::FormatWString(u"Unknown VARTYPE = %d", int{base});
    static constexpr struct {
        VARTYPE flag;
        const OLECHAR* text;
    } kFlags[] = {{VT_VECTOR, u" | VT_VECTOR"},
                  {VT_ARRAY, u" | VT_ARRAY"},
                  {VT_BYREF, u" | VT_BYREF"},
                  {VT_RESERVED, u" | VT_RESERVED"}};
    for (const auto& flag : kFlags) {
        if (vt & flag.flag) {
            text += flag.text;
        }
    }
    return text;
}

BSTR VarTypeNameBstr(const VARTYPE* vt) {
    return vt ? vrcommon::NewBstr(VarTypeName(*vt)) : nullptr;
}
