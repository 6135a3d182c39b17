// The type library file: a writer of the layout in typelib_format.h and a reader that trusts nothing it
// reads.
#include "platform/com/typelib_format.h"

#include "platform/com/bstr.h"
#include "platform/resources/archive.h"

#include <cstring>
#include <optional>

namespace vr::typelib {

namespace {

class Writer {
public:
    void U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) { Little(v, 2); }
    void U32(uint32_t v) { Little(v, 4); }
    void U64(uint64_t v) { Little(v, 8); }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        bytes_.append(reinterpret_cast<const char*>(g.Data4), 8);
    }
    void Text(std::u16string_view text) {
        U32(static_cast<uint32_t>(text.size()));
        for (char16_t c : text) {
            U16(c);
        }
    }
    std::string& Bytes() { return bytes_; }

private:
    void Little(uint64_t v, int size) {
        for (int k = 0; k < size; ++k) {
            bytes_.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
        }
    }
    std::string bytes_;
};

// Reads fields until the first one that does not fit; from then on every read gives zero and Ok() is false.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return pos_ == bytes_.size(); }
    void Fail() { ok_ = false; }

    uint8_t U8() { return static_cast<uint8_t>(Little(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Little(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Little(4)); }
    uint64_t U64() { return Little(8); }
    GUID Guid() {
        GUID g{};
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        if (Need(8)) {
            std::memcpy(g.Data4, bytes_.data() + pos_, 8);
            pos_ += 8;
        }
        return g;
    }
    std::u16string Text() {
        uint32_t length = U32();
        std::u16string text;
        if (!Need(uint64_t{length} * 2)) {
            return text;
        }
        text.resize(length);
        for (uint32_t k = 0; k < length; ++k) {
            text[k] = static_cast<char16_t>(U16());
        }
        return text;
    }
    // A count of records of at least minSize bytes each: more than the rest can hold is damage, caught
    // before anything is allocated for them.
    uint32_t Count(size_t minSize) {
        uint32_t count = U32();
        if (ok_ && uint64_t{count} * minSize > bytes_.size() - pos_) {
            ok_ = false;
        }
        return ok_ ? count : 0;
    }

private:
    bool Need(uint64_t size) {
        if (ok_ && size > bytes_.size() - pos_) {
            ok_ = false;
        }
        return ok_;
    }
    uint64_t Little(int size) {
        if (!Need(size)) {
            return 0;
        }
        uint64_t v = 0;
        for (int k = 0; k < size; ++k) {
            v |= uint64_t{static_cast<uint8_t>(bytes_[pos_ + k])} << (8 * k);
        }
        pos_ += size;
        return v;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// ---- values ----

bool IsStorableValueType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

int ValueSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    default:
        return 0;
    }
}

HRESULT EncodeValue(Writer& out, const VARIANT& value) {
    if (!IsStorableValueType(value.vt)) {
        return DISP_E_BADVARTYPE;
    }
    out.U16(value.vt);
    if (value.vt == VT_BSTR) {
        out.Text(BstrView(value.bstrVal));
        return S_OK;
    }
    uint64_t raw = 0;
    std::memcpy(&raw, &value.llVal, ValueSize(value.vt)); // the union's low bytes hold the value
    for (int k = 0; k < ValueSize(value.vt); ++k) {
        out.U8(static_cast<uint8_t>(raw >> (8 * k)));
    }
    return S_OK;
}

void DecodeValue(Reader& in, OwnedVariant& value) {
    VARTYPE vt = in.U16();
    if (!in.Ok() || !IsStorableValueType(vt)) {
        in.Fail();
        return;
    }
    VARIANT* v = value.Put();
    if (vt == VT_BSTR) {
        std::u16string text = in.Text();
        v->bstrVal = AllocBstr(text);
        v->vt = VT_BSTR;
        return;
    }
    uint64_t raw = 0;
    for (int k = 0; k < ValueSize(vt); ++k) {
        raw |= uint64_t{in.U8()} << (8 * k);
    }
    v->llVal = 0;
    std::memcpy(&v->llVal, &raw, ValueSize(vt));
    v->vt = vt;
}

// ---- type chains ----

void EncodeType(Writer& out, const TypeSpec& type) {
    out.U8(static_cast<uint8_t>(type.chain.size()));
    for (VARTYPE vt : type.chain) {
        out.U16(vt);
    }
    if (!type.chain.empty() && type.chain.back() == VT_USERDEFINED) {
        out.U32(type.ref);
    }
}

void DecodeType(Reader& in, TypeSpec& type) {
    uint8_t length = in.U8();
    if (length == 0 || length > kMaxTypeDepth) {
        in.Fail();
        return;
    }
    type.chain.assign(length, VT_EMPTY);
    for (VARTYPE& vt : type.chain) {
        vt = in.U16();
    }
    type.ref = type.chain.back() == VT_USERDEFINED ? in.U32() : 0;
}

// ---- members ----

HRESULT EncodeFunc(Writer& out, const FuncData& func) {
    out.U32(static_cast<uint32_t>(func.memid));
    out.U32(func.funcKind);
    out.U32(func.invokeKind);
    out.U32(func.callConv);
    out.U16(static_cast<uint16_t>(func.vtableOffset));
    out.U16(static_cast<uint16_t>(func.optionalCount));
    out.U16(func.flags);
    EncodeType(out, func.result);
    out.U16(func.resultFlags);
    out.Text(func.doc);
    out.U32(func.helpContext);
    out.U32(static_cast<uint32_t>(func.names.size()));
    for (const std::u16string& name : func.names) {
        out.Text(name);
    }
    out.U32(static_cast<uint32_t>(func.params.size()));
    for (const ParamData& param : func.params) {
        EncodeType(out, param.type);
        out.U16(param.flags);
        if (HRESULT hr = EncodeValue(out, param.defaultValue.Get()); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

template <class Enum>
Enum DecodeKind(Reader& in, uint32_t limit) {
    uint32_t value = in.U32();
    if (value >= limit) {
        in.Fail();
    }
    return static_cast<Enum>(in.Ok() ? value : 0);
}

void DecodeFunc(Reader& in, FuncData& func) {
    func.memid = static_cast<MEMBERID>(in.U32());
    func.funcKind = DecodeKind<FUNCKIND>(in, FUNC_DISPATCH + 1);
    uint32_t invoke = in.U32();
    if (invoke != INVOKE_FUNC && invoke != INVOKE_PROPERTYGET && invoke != INVOKE_PROPERTYPUT &&
        invoke != INVOKE_PROPERTYPUTREF) {
        in.Fail();
    }
    func.invokeKind = in.Ok() ? static_cast<INVOKEKIND>(invoke) : INVOKE_FUNC;
    func.callConv = DecodeKind<CALLCONV>(in, CC_MAX);
    func.vtableOffset = static_cast<SHORT>(in.U16());
    func.optionalCount = static_cast<SHORT>(in.U16());
    func.flags = in.U16();
    DecodeType(in, func.result);
    func.resultFlags = in.U16();
    func.doc = in.Text();
    func.helpContext = in.U32();
    func.names.resize(in.Count(4));
    for (std::u16string& name : func.names) {
        name = in.Text();
    }
    // A parameter takes at least 7 bytes: a one-link type, its flags and an empty value.
    func.params.resize(in.Count(7));
    for (ParamData& param : func.params) {
        DecodeType(in, param.type);
        param.flags = in.U16();
        DecodeValue(in, param.defaultValue);
    }
}

HRESULT EncodeVar(Writer& out, const VarData& var) {
    out.U32(static_cast<uint32_t>(var.memid));
    out.U32(var.varKind);
    out.U16(var.flags);
    EncodeType(out, var.type);
    out.Text(var.name);
    out.Text(var.doc);
    out.U32(var.helpContext);
    return EncodeValue(out, var.value.Get());
}

void DecodeVar(Reader& in, VarData& var) {
    var.memid = static_cast<MEMBERID>(in.U32());
    var.varKind = DecodeKind<VARKIND>(in, VAR_DISPATCH + 1);
    var.flags = in.U16();
    DecodeType(in, var.type);
    var.name = in.Text();
    var.doc = in.Text();
    var.helpContext = in.U32();
    DecodeValue(in, var.value);
}

// ---- types, references, library ----

HRESULT EncodeTypeData(Writer& out, const TypeData& type) {
    out.Guid(type.guid);
    out.U32(type.kind);
    out.U16(type.typeFlags);
    out.U16(type.majorVersion);
    out.U16(type.minorVersion);
    out.U16(type.alignment);
    out.Text(type.name);
    out.Text(type.doc);
    out.U32(type.helpContext);
    out.U32(static_cast<uint32_t>(type.implTypes.size()));
    for (const ImplTypeData& impl : type.implTypes) {
        out.U32(impl.ref);
        out.U32(static_cast<uint32_t>(impl.flags));
    }
    out.U32(static_cast<uint32_t>(type.funcs.size()));
    for (const FuncData& func : type.funcs) {
        if (HRESULT hr = EncodeFunc(out, func); FAILED(hr)) {
            return hr;
        }
    }
    out.U32(static_cast<uint32_t>(type.vars.size()));
    for (const VarData& var : type.vars) {
        if (HRESULT hr = EncodeVar(out, var); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

void DecodeTypeData(Reader& in, TypeData& type) {
    type.guid = in.Guid();
    type.kind = DecodeKind<TYPEKIND>(in, TKIND_MAX);
    type.typeFlags = in.U16();
    type.majorVersion = in.U16();
    type.minorVersion = in.U16();
    type.alignment = in.U16();
    type.name = in.Text();
    type.doc = in.Text();
    type.helpContext = in.U32();
    type.implTypes.resize(in.Count(8));
    for (ImplTypeData& impl : type.implTypes) {
        impl.ref = in.U32();
        impl.flags = static_cast<INT>(in.U32());
    }
    type.funcs.resize(in.Count(40));
    for (FuncData& func : type.funcs) {
        DecodeFunc(in, func);
    }
    type.vars.resize(in.Count(24));
    for (VarData& var : type.vars) {
        DecodeVar(in, var);
    }
}

void EncodeRef(Writer& out, const RefData& ref) {
    out.U8(ref.local ? 1 : 0);
    if (ref.local) {
        out.U32(ref.index);
        return;
    }
    out.Guid(ref.libGuid);
    out.U16(ref.libMajor);
    out.U16(ref.libMinor);
    out.Guid(ref.typeGuid);
}

void DecodeRef(Reader& in, RefData& ref) {
    uint8_t local = in.U8();
    if (local > 1) {
        in.Fail();
    }
    ref.local = local == 1;
    if (ref.local) {
        ref.index = in.U32();
        return;
    }
    ref.libGuid = in.Guid();
    ref.libMajor = in.U16();
    ref.libMinor = in.U16();
    ref.typeGuid = in.Guid();
}

HRESULT EncodeBody(Writer& out, const LibData& lib) {
    out.Guid(lib.guid);
    out.U32(lib.lcid);
    out.U32(lib.sysKind);
    out.U16(lib.majorVersion);
    out.U16(lib.minorVersion);
    out.U16(lib.libFlags);
    out.Text(lib.name);
    out.Text(lib.doc);
    out.Text(lib.helpFile);
    out.U32(lib.helpContext);
    out.U32(static_cast<uint32_t>(lib.refs.size()));
    for (const RefData& ref : lib.refs) {
        EncodeRef(out, ref);
    }
    out.U32(static_cast<uint32_t>(lib.types.size()));
    for (const TypeData& type : lib.types) {
        if (HRESULT hr = EncodeTypeData(out, type); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

void DecodeBody(Reader& in, LibData& lib) {
    lib.guid = in.Guid();
    lib.lcid = in.U32();
    lib.sysKind = DecodeKind<SYSKIND>(in, SYS_WIN64 + 1);
    lib.majorVersion = in.U16();
    lib.minorVersion = in.U16();
    lib.libFlags = in.U16();
    lib.name = in.Text();
    lib.doc = in.Text();
    lib.helpFile = in.Text();
    lib.helpContext = in.U32();
    lib.refs.resize(in.Count(5));
    for (RefData& ref : lib.refs) {
        DecodeRef(in, ref);
    }
    lib.types.resize(in.Count(44));
    for (TypeData& type : lib.types) {
        DecodeTypeData(in, type);
    }
}

bool IsConsistentType(const TypeData& type, size_t refCount) {
    for (const ImplTypeData& impl : type.implTypes) {
        if (impl.ref >= refCount) {
            return false;
        }
    }
    for (const FuncData& func : type.funcs) {
        if (!IsValidTypeSpec(func.result, refCount) || func.names.size() > func.params.size() + 1 ||
            func.optionalCount < 0 || static_cast<size_t>(func.optionalCount) > func.params.size()) {
            return false;
        }
        for (const ParamData& param : func.params) {
            if (!IsValidTypeSpec(param.type, refCount)) {
                return false;
            }
        }
    }
    for (const VarData& var : type.vars) {
        if (!IsValidTypeSpec(var.type, refCount)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsValidTypeSpec(const TypeSpec& type, size_t refCount) {
    if (type.chain.empty() || type.chain.size() > kMaxTypeDepth) {
        return false;
    }
    for (size_t k = 0; k + 1 < type.chain.size(); ++k) {
        if (type.chain[k] != VT_PTR && type.chain[k] != VT_SAFEARRAY) {
            return false;
        }
    }
    VARTYPE last = type.chain.back();
    if (last == VT_PTR || last == VT_SAFEARRAY || last == VT_CARRAY || (last & ~VT_TYPEMASK) != 0) {
        return false;
    }
    return last != VT_USERDEFINED || type.ref < refCount;
}

bool IsConsistent(const LibData& lib) {
    for (const RefData& ref : lib.refs) {
        if (ref.local && ref.index >= lib.types.size()) {
            return false;
        }
    }
    for (const TypeData& type : lib.types) {
        if (!IsConsistentType(type, lib.refs.size())) {
            return false;
        }
    }
    return true;
}

namespace {

// The library's own type that type names as its base, if any.
std::optional<UINT> LocalBase(const LibData& lib, const TypeData& type) {
    if ((type.kind != TKIND_INTERFACE && type.kind != TKIND_DISPATCH) || type.implTypes.empty()) {
        return std::nullopt;
    }
    HREFTYPE ref = type.implTypes[0].ref;
    if (ref >= lib.refs.size() || !lib.refs[ref].local || lib.refs[ref].index >= lib.types.size()) {
        return std::nullopt;
    }
    return lib.refs[ref].index;
}

} // namespace

HRESULT CheckInheritance(const LibData& lib) {
    // chainLength[k]: the types on the chain from type k, once known; each type is walked once.
    constexpr size_t kUnknown = 0;
    constexpr size_t kOnThisWalk = SIZE_MAX;
    std::vector<size_t> chainLength(lib.types.size(), kUnknown);
    std::vector<UINT> walked;
    for (UINT start = 0; start < lib.types.size(); ++start) {
        walked.clear();
        size_t beyond = 0; // the length of the known chain the walk ran into
        for (std::optional<UINT> at = start; at; at = LocalBase(lib, lib.types[*at])) {
            if (chainLength[*at] == kOnThisWalk) {
                return TYPE_E_CIRCULARTYPE;
            }
            if (chainLength[*at] != kUnknown) {
                beyond = chainLength[*at];
                break;
            }
            chainLength[*at] = kOnThisWalk;
            walked.push_back(*at);
        }
        for (auto type = walked.rbegin(); type != walked.rend(); ++type) {
            chainLength[*type] = ++beyond;
        }
        if (beyond > kMaxInheritanceDepth) {
            return TYPE_E_INVDATAREAD;
        }
    }
    return S_OK;
}

bool IsStorableValue(const VARIANT& value) {
    return IsStorableValueType(value.vt);
}

bool HasFileMagic(std::string_view bytes) {
    return bytes.size() >= sizeof(kFileMagic) &&
           std::memcmp(bytes.data(), kFileMagic, sizeof(kFileMagic)) == 0;
}

HRESULT EncodeLibrary(const LibData& lib, std::string* bytes) {
    Writer body;
    if (HRESULT hr = EncodeBody(body, lib); FAILED(hr)) {
        return hr;
    }
    Writer file;
    file.Bytes().assign(kFileMagic, sizeof(kFileMagic));
    file.U32(kFileVersion);
    file.U32(static_cast<uint32_t>(body.Bytes().size()));
    file.U32(resources_detail::Crc32(body.Bytes()));
    *bytes = std::move(file.Bytes()) + body.Bytes();
    return S_OK;
}

HRESULT DecodeLibrary(std::string_view bytes, LibData* lib) {
    if (!HasFileMagic(bytes)) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    Reader header(bytes.substr(sizeof(kFileMagic)));
    uint32_t version = header.U32();
    uint32_t size = header.U32();
    uint32_t checksum = header.U32();
    if (!header.Ok()) {
        return TYPE_E_INVDATAREAD;
    }
    if (version != kFileVersion) {
        return TYPE_E_UNSUPFORMAT;
    }
    std::string_view body = bytes.substr(kHeaderSize);
    if (body.size() != size || resources_detail::Crc32(body) != checksum) {
        return TYPE_E_INVDATAREAD;
    }
    LibData read;
    Reader in(body);
    DecodeBody(in, read);
    if (!in.Ok() || !in.AtEnd() || !IsConsistent(read)) {
        return TYPE_E_INVDATAREAD;
    }
    if (HRESULT hr = CheckInheritance(read); FAILED(hr)) {
        return hr;
    }
    *lib = std::move(read);
    return S_OK;
}

} // namespace vr::typelib
