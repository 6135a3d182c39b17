// Writing and checked reading of the values cross-process calls carry.
#include "platform/rpc/wire.h"

#include "platform/com/automation_rules.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"

#include <cstring>

namespace vr::rpc {

namespace {

constexpr uint32_t kNullText = 0xFFFFFFFFu;

// The size of a fixed-size value of type vt (a number, a date, a currency, a boolean or an error code); 0 for
// the others, whose values the wire carries in a form of their own.
size_t FixedSize(VARTYPE vt) {
    bool carriedOtherwise = vt == VT_BSTR || vt == VT_VARIANT || vt == VT_DISPATCH || vt == VT_UNKNOWN;
    return carriedOtherwise ? 0 : automation::ElementSize(vt);
}

bool IsArrayElementType(VARTYPE vt) {
    return FixedSize(vt) != 0 || vt == VT_BSTR || vt == VT_VARIANT || vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// The fewest bytes one element of type vt takes on the wire, so a count can be checked against the frame.
size_t MinimumWireSize(VARTYPE vt) {
    size_t fixed = FixedSize(vt);
    if (fixed) {
        return fixed;
    }
    return vt == VT_VARIANT ? 2 : vt == VT_BSTR ? 4 : 1;
}

bool HoldsPointers(VARTYPE vt) {
    return FixedSize(vt) == 0;
}

// Elements are read as the VARIANT's type says: an array whose own elements are of another size would be read
// past its data, and one whose numbers were taken for text, objects or VARIANTs would be followed as
// pointers.
bool ElementsAre(SAFEARRAY* array, VARTYPE elementVt) {
    if (SafeArrayGetElemsize(array) != automation::ElementSize(elementVt)) {
        return false;
    }
    VARTYPE own = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &own)) || own == elementVt) {
        return true;
    }
    return !HoldsPointers(own) && !HoldsPointers(elementVt);
}

ULONG ElementCount(SAFEARRAY* array) {
    ULONG count = 1;
    for (UINT dim = 1, dims = SafeArrayGetDim(array); dim <= dims; ++dim) {
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(array, dim, &lower)) ||
            FAILED(SafeArrayGetUBound(array, dim, &upper))) {
            return 0;
        }
        count *= upper >= lower ? static_cast<ULONG>(upper - lower + 1) : 0;
    }
    return count;
}

} // namespace

bool IsCarriedType(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    if (vt & ~(VT_TYPEMASK | VT_BYREF | VT_ARRAY)) {
        return false; // VT_VECTOR, VT_RESERVED and the like
    }
    if (vt & VT_ARRAY) {
        return !(vt & VT_BYREF) && IsArrayElementType(base);
    }
    if (base == VT_EMPTY || base == VT_NULL) {
        return !(vt & VT_BYREF);
    }
    if (base == VT_VARIANT) {
        return (vt & VT_BYREF) != 0; // a VARIANT holds another only by reference or in an array
    }
    return IsArrayElementType(base);
}

// ---- Writer ----

void Writer::Raw(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void Writer::Text(const OLECHAR* text, uint32_t length) {
    if (!text) {
        U32(kNullText);
        return;
    }
    U32(length);
    Raw(text, length * sizeof(OLECHAR));
}

void Writer::Bstr(BSTR text) {
    Text(text, text ? SysStringLen(text) : 0);
}

HRESULT Writer::Object(IUnknown* object) {
    if (!object) {
        U8(static_cast<uint8_t>(ObjectRefKind::Null));
        return S_OK;
    }
    if (!marshaller_) {
        return E_NOINTERFACE;
    }
    ObjectRefKind kind = ObjectRefKind::Null;
    uint64_t id = 0;
    bool dispatch = false;
    if (HRESULT hr = marshaller_->Export(object, &kind, &id, &dispatch); FAILED(hr)) {
        return hr;
    }
    exported_.emplace_back(kind, id);
    U8(static_cast<uint8_t>(kind));
    U64(id);
    U8(dispatch ? 1 : 0);
    return S_OK;
}

void Writer::Abandon() {
    for (const auto& [kind, id] : exported_) {
        marshaller_->Unexport(kind, id);
    }
    exported_.clear();
}

HRESULT Writer::Variant(const VARIANT& value) {
    if (!IsCarriedType(value.vt)) {
        return DISP_E_BADVARTYPE;
    }
    U16(value.vt);
    if (value.vt & VT_ARRAY) {
        return Array(value.parray, value.vt & VT_TYPEMASK, 0);
    }
    if (value.vt & VT_BYREF) {
        if (!value.byref) {
            return E_INVALIDARG;
        }
        return Value(value.vt & VT_TYPEMASK, value.byref, 0);
    }
    return Value(value.vt, &value.llVal, 0);
}

// One value of type vt stored at data (the union member of a VARIANT, or an array element).
HRESULT Writer::Value(VARTYPE vt, const void* data, int depth) {
    if (size_t fixed = FixedSize(vt)) {
        Raw(data, fixed);
        return S_OK;
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    case VT_BSTR:
        Bstr(*static_cast<const BSTR*>(data));
        return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return Object(*static_cast<IUnknown* const*>(data));
    case VT_VARIANT: {
        if (depth >= kMaxVariantDepth) {
            return DISP_E_BADVARTYPE;
        }
        const auto& inner = *static_cast<const VARIANT*>(data);
        if (!IsCarriedType(inner.vt) || (inner.vt & VT_BYREF)) {
            return DISP_E_BADVARTYPE;
        }
        U16(inner.vt);
        if (inner.vt & VT_ARRAY) {
            return Array(inner.parray, inner.vt & VT_TYPEMASK, depth + 1);
        }
        return Value(inner.vt, &inner.llVal, depth + 1);
    }
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT Writer::Array(SAFEARRAY* array, VARTYPE elementVt, int depth) {
    if (!array) {
        U16(0); // no dimensions: a null array
        return S_OK;
    }
    if (!ElementsAre(array, elementVt)) {
        return DISP_E_BADVARTYPE;
    }
    UINT dims = SafeArrayGetDim(array);
    U16(static_cast<uint16_t>(dims));
    for (UINT dim = 1; dim <= dims; ++dim) {
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(array, dim, &lower)) ||
            FAILED(SafeArrayGetUBound(array, dim, &upper))) {
            return E_INVALIDARG;
        }
        U32(static_cast<uint32_t>(lower));
        U32(upper >= lower ? static_cast<uint32_t>(upper - lower + 1) : 0);
    }
    void* data = nullptr;
    if (HRESULT hr = SafeArrayAccessData(array, &data); FAILED(hr)) {
        return hr;
    }
    HRESULT result = S_OK;
    size_t size = SafeArrayGetElemsize(array);
    for (ULONG i = 0, count = ElementCount(array); i < count && SUCCEEDED(result); ++i) {
        result = Value(elementVt, static_cast<const uint8_t*>(data) + i * size, depth + 1);
    }
    static_cast<void>(SafeArrayUnaccessData(array));
    return result;
}

void Writer::ErrorInfo() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        U8(0);
        return;
    }
    U8(1);
    GUID guid = GUID_NULL;
    static_cast<void>(info->GetGUID(&guid));
    Guid(guid);
    for (auto getter : {&IErrorInfo::GetSource, &IErrorInfo::GetDescription, &IErrorInfo::GetHelpFile}) {
        BSTR text = nullptr;
        static_cast<void>((info.Get()->*getter)(&text));
        Bstr(text);
        SysFreeString(text);
    }
    DWORD context = 0;
    static_cast<void>(info->GetHelpContext(&context));
    U32(context);
}

std::vector<uint8_t> Writer::Finish() {
    uint32_t body = static_cast<uint32_t>(bytes_.size() - 4);
    std::memcpy(bytes_.data(), &body, 4);
    return std::move(bytes_);
}

// ---- Reader ----

bool Reader::Raw(void* out, size_t size) {
    if (size > Remaining()) {
        return false;
    }
    std::memcpy(out, data_ + offset_, size);
    offset_ += size;
    return true;
}

bool Reader::Bstr(BSTR* text) {
    *text = nullptr;
    uint32_t length = 0;
    if (!U32(&length)) {
        return false;
    }
    if (length == kNullText) {
        return true;
    }
    if (length > Remaining() / sizeof(OLECHAR)) {
        return false;
    }
    *text = SysAllocStringLen(nullptr, length);
    if (!*text) {
        return false;
    }
    return Raw(*text, length * sizeof(OLECHAR));
}

HRESULT Reader::Object(IUnknown** object) {
    *object = nullptr;
    uint8_t kind = 0;
    if (!U8(&kind) || kind > static_cast<uint8_t>(ObjectRefKind::ReceiversObject)) {
        return RPC_E_INVALID_DATA;
    }
    if (kind == static_cast<uint8_t>(ObjectRefKind::Null)) {
        return S_OK;
    }
    uint64_t id = 0;
    uint8_t dispatch = 0;
    if (!U64(&id) || !U8(&dispatch) || dispatch > 1) {
        return RPC_E_INVALID_DATA;
    }
    if (!marshaller_) {
        return RPC_E_INVALID_DATA;
    }
    return marshaller_->Import(static_cast<ObjectRefKind>(kind), id, dispatch != 0, object);
}

HRESULT Reader::Variant(VARIANT* value, VARTYPE* sentAs) {
    VariantInit(value);
    uint16_t vt = 0;
    if (!U16(&vt) || !IsCarriedType(vt)) {
        return RPC_E_INVALID_DATA;
    }
    if (sentAs) {
        *sentAs = vt;
    }
    if (vt & VT_ARRAY) {
        SAFEARRAY* array = nullptr;
        HRESULT hr = Array(vt & VT_TYPEMASK, &array, 0);
        if (SUCCEEDED(hr)) {
            value->vt = vt;
            value->parray = array;
        }
        return hr;
    }
    // A by-reference value arrives as the value: its storage is the receiver's to give.
    VARTYPE base = vt & VT_TYPEMASK;
    if (base == VT_VARIANT) {
        return Value(VT_VARIANT, value, 0);
    }
    VARIANT read;
    VariantInit(&read);
    HRESULT hr = Value(base, &read.llVal, 0);
    if (SUCCEEDED(hr)) {
        read.vt = base;
        *value = read;
    }
    return hr;
}

HRESULT Reader::Value(VARTYPE vt, void* out, int depth) {
    if (size_t fixed = FixedSize(vt)) {
        return Raw(out, fixed) ? S_OK : RPC_E_INVALID_DATA;
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    case VT_BSTR:
        return Bstr(static_cast<BSTR*>(out)) ? S_OK : RPC_E_INVALID_DATA;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return Object(static_cast<IUnknown**>(out));
    case VT_VARIANT: {
        if (depth >= kMaxVariantDepth) {
            return RPC_E_INVALID_DATA;
        }
        auto* inner = static_cast<VARIANT*>(out);
        uint16_t innerVt = 0;
        if (!U16(&innerVt) || !IsCarriedType(innerVt) || (innerVt & VT_BYREF)) {
            return RPC_E_INVALID_DATA;
        }
        if (innerVt & VT_ARRAY) {
            SAFEARRAY* array = nullptr;
            HRESULT hr = Array(innerVt & VT_TYPEMASK, &array, depth + 1);
            if (SUCCEEDED(hr)) {
                inner->vt = innerVt;
                inner->parray = array;
            }
            return hr;
        }
        VARIANT read;
        VariantInit(&read);
        HRESULT hr = Value(innerVt, &read.llVal, depth + 1);
        if (SUCCEEDED(hr)) {
            read.vt = innerVt;
            *inner = read;
        }
        return hr;
    }
    default:
        return RPC_E_INVALID_DATA;
    }
}

HRESULT Reader::Array(VARTYPE elementVt, SAFEARRAY** out, int depth) {
    *out = nullptr;
    uint16_t dims = 0;
    if (!U16(&dims) || dims > 32) {
        return RPC_E_INVALID_DATA;
    }
    if (dims == 0) {
        return S_OK;
    }
    std::vector<SAFEARRAYBOUND> bounds(dims);
    uint64_t total = 1;
    for (SAFEARRAYBOUND& bound : bounds) {
        uint32_t lower = 0;
        if (!U32(&lower) || !U32(&bound.cElements)) {
            return RPC_E_INVALID_DATA;
        }
        bound.lLbound = static_cast<LONG>(lower);
        total *= bound.cElements;
        if (total > Remaining() / MinimumWireSize(elementVt) + 1) {
            return RPC_E_INVALID_DATA;
        }
    }
    if (total > 0 && total > Remaining() / MinimumWireSize(elementVt)) {
        return RPC_E_INVALID_DATA;
    }
    SAFEARRAY* array = SafeArrayCreate(elementVt, dims, bounds.data());
    if (!array) {
        return RPC_E_INVALID_DATA;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        static_cast<void>(SafeArrayDestroy(array));
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    size_t size = SafeArrayGetElemsize(array);
    for (uint64_t i = 0; i < total && SUCCEEDED(hr); ++i) {
        hr = Value(elementVt, static_cast<uint8_t*>(data) + i * size, depth + 1);
    }
    static_cast<void>(SafeArrayUnaccessData(array));
    if (FAILED(hr)) {
        static_cast<void>(SafeArrayDestroy(array)); // frees the elements read so far
        return hr;
    }
    *out = array;
    return S_OK;
}

bool Reader::ErrorInfo() {
    uint8_t present = 0;
    if (!U8(&present) || present > 1) {
        return false;
    }
    if (!present) {
        static_cast<void>(SetErrorInfo(0, nullptr));
        return true;
    }
    GUID guid{};
    BSTR texts[3] = {};
    DWORD context = 0;
    bool ok = Guid(&guid) && Bstr(&texts[0]) && Bstr(&texts[1]) && Bstr(&texts[2]) && U32(&context);
    ComPtr<ICreateErrorInfo> create;
    if (ok && SUCCEEDED(CreateErrorInfo(create.Put()))) {
        static_cast<void>(create->SetGUID(guid));
        static_cast<void>(create->SetSource(texts[0]));
        static_cast<void>(create->SetDescription(texts[1]));
        static_cast<void>(create->SetHelpFile(texts[2]));
        static_cast<void>(create->SetHelpContext(context));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) {
            static_cast<void>(SetErrorInfo(0, info.Get()));
        }
    }
    for (BSTR text : texts) {
        SysFreeString(text);
    }
    return ok;
}

} // namespace vr::rpc
