// In-memory type information of a dispatch interface: ITypeInfo over a description, and a one-type ITypeLib.
#include "platform/com/typeinfo.h"

#include "platform/base/text.h"
#include "platform/com/object.h"

#include <deque>

namespace vr {

// ---- OwnedVariant ----

OwnedVariant::OwnedVariant(const VARIANT& value) {
    VariantInit(&value_);
    if (FAILED(VariantCopy(&value_, &value))) {
        VariantInit(&value_);
    }
}

OwnedVariant& OwnedVariant::operator=(const OwnedVariant& other) {
    if (this != &other) {
        VARIANT copy;
        VariantInit(&copy);
        if (SUCCEEDED(VariantCopy(&copy, &other.value_))) {
            (void)VariantClear(&value_);
            value_ = copy;
        }
    }
    return *this;
}

OwnedVariant::~OwnedVariant() {
    (void)VariantClear(&value_);
}

VARIANT* OwnedVariant::Put() {
    (void)VariantClear(&value_);
    return &value_;
}

namespace {

// A BSTR for an out-argument that may be null; empty text gives a null BSTR.
HRESULT GiveText(const std::u16string& text, BSTR* out) {
    if (!out) {
        return S_OK;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_OK;
    }
    *out = AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

class DispatchTypeInfo;

// The library GetContainingTypeLib hands out: it holds the one type it contains.
class SingleTypeLib : public ObjectRoot, public ITypeLib {
public:
    static constexpr bool kLocksModule = false;
    using Interfaces = InterfaceList<ITypeLib>;

    void Init(DispatchTypeInfo* type);

    UINT GetTypeInfoCount() override { return 1; }
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override;
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
    HRESULT GetLibAttr(TLIBATTR** attr) override;
    HRESULT GetTypeComp(ITypeComp** comp) override;
    HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                             BSTR* helpFile) override;
    HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
    HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) override;
    void ReleaseTLibAttr(TLIBATTR*) override {}

private:
    ComPtr<ITypeInfo> typeInfo_;
    DispatchTypeInfo* type_ = nullptr; // the object typeInfo_ holds
    TLIBATTR attr_{};
};

class DispatchTypeInfo : public ObjectRoot, public ITypeInfo {
public:
    static constexpr bool kLocksModule = false;
    using Interfaces = InterfaceList<ITypeInfo>;

    ~DispatchTypeInfo();
    HRESULT Init(const DispatchTypeDescription& description);
    const DispatchTypeDescription& Description() const { return description_; }
    const TypeFunc* FindFunc(MEMBERID id) const;
    const TypeFunc* FindFunc(std::u16string_view name) const;

    HRESULT GetTypeAttr(TYPEATTR** attr) override;
    HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override;
    HRESULT GetVarDesc(UINT, VARDESC**) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
    HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetImplTypeFlags(UINT, INT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;
    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                             BSTR* helpFile) override;
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
    // The records handed out live as long as the type information; releasing them does nothing.
    void ReleaseTypeAttr(TYPEATTR*) override {}
    void ReleaseFuncDesc(FUNCDESC*) override {}
    void ReleaseVarDesc(VARDESC*) override {}

private:
    TYPEDESC MakeTypeDesc(VARTYPE vt);
    ELEMDESC MakeParamDesc(const TypeParam& param);
    FUNCDESC MakeFuncDesc(const TypeFunc& func, std::vector<ELEMDESC>& params);

    DispatchTypeDescription description_;
    TYPEATTR attr_{};
    std::vector<FUNCDESC> funcDescs_;
    std::deque<std::vector<ELEMDESC>> paramDescs_; // per function; deques keep addresses stable
    std::deque<TYPEDESC> pointedTypes_;
    std::deque<PARAMDESCEX> defaults_;
};

// ---- DispatchTypeInfo ----

DispatchTypeInfo::~DispatchTypeInfo() {
    for (PARAMDESCEX& desc : defaults_) {
        (void)VariantClear(&desc.varDefaultValue);
    }
}

TYPEDESC DispatchTypeInfo::MakeTypeDesc(VARTYPE vt) {
    TYPEDESC desc{};
    if (vt & (VT_BYREF | VT_ARRAY)) {
        VARTYPE pointed = (vt & VT_BYREF) ? vt & ~VT_BYREF : vt & ~VT_ARRAY;
        desc.vt = (vt & VT_BYREF) ? VT_PTR : VT_SAFEARRAY;
        desc.lptdesc = &pointedTypes_.emplace_back(MakeTypeDesc(pointed));
    } else {
        desc.vt = vt;
    }
    return desc;
}

ELEMDESC DispatchTypeInfo::MakeParamDesc(const TypeParam& param) {
    ELEMDESC desc{};
    desc.tdesc = MakeTypeDesc(param.vt);
    desc.paramdesc.wParamFlags = param.flags & ~PARAMFLAG_FHASDEFAULT;
    if (!param.defaultValue.IsEmpty()) {
        PARAMDESCEX& ex = defaults_.emplace_back();
        ex.cBytes = sizeof(PARAMDESCEX);
        VariantInit(&ex.varDefaultValue);
        if (SUCCEEDED(VariantCopy(&ex.varDefaultValue, &param.defaultValue.Get()))) {
            desc.paramdesc.pparamdescex = &ex;
            desc.paramdesc.wParamFlags |= PARAMFLAG_FHASDEFAULT;
        }
    }
    return desc;
}

FUNCDESC DispatchTypeInfo::MakeFuncDesc(const TypeFunc& func, std::vector<ELEMDESC>& params) {
    FUNCDESC desc{};
    desc.memid = func.id;
    desc.lprgelemdescParam = params.empty() ? nullptr : params.data();
    desc.funckind = FUNC_DISPATCH;
    desc.invkind = func.invokeKind;
    desc.callconv = CC_STDCALL;
    desc.cParams = static_cast<SHORT>(params.size());
    for (const TypeParam& param : func.params) {
        desc.cParamsOpt += (param.flags & PARAMFLAG_FOPT) ? 1 : 0;
    }
    desc.elemdescFunc.tdesc = MakeTypeDesc(func.resultVt);
    desc.elemdescFunc.paramdesc.wParamFlags =
        func.resultVt == VT_VOID ? PARAMFLAG_NONE : PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    desc.wFuncFlags = func.funcFlags;
    return desc;
}

HRESULT DispatchTypeInfo::Init(const DispatchTypeDescription& description) {
    description_ = description;
    attr_.guid = description.guid;
    attr_.memidConstructor = MEMBERID_NIL;
    attr_.memidDestructor = MEMBERID_NIL;
    attr_.cbSizeInstance = sizeof(void*);
    attr_.typekind = TKIND_DISPATCH;
    attr_.cFuncs = static_cast<WORD>(description.funcs.size());
    attr_.cbSizeVft = static_cast<WORD>(7 * sizeof(void*)); // IUnknown's three methods and IDispatch's four
    attr_.cbAlignment = alignof(void*);
    attr_.wTypeFlags = description.typeFlags;
    attr_.tdescAlias.vt = VT_EMPTY;
    funcDescs_.reserve(description_.funcs.size());
    for (const TypeFunc& func : description_.funcs) {
        std::vector<ELEMDESC>& params = paramDescs_.emplace_back();
        for (const TypeParam& param : func.params) {
            params.push_back(MakeParamDesc(param));
        }
        funcDescs_.push_back(MakeFuncDesc(func, params));
    }
    return S_OK;
}

const TypeFunc* DispatchTypeInfo::FindFunc(MEMBERID id) const {
    for (const TypeFunc& func : description_.funcs) {
        if (func.id == id) {
            return &func;
        }
    }
    return nullptr;
}

const TypeFunc* DispatchTypeInfo::FindFunc(std::u16string_view name) const {
    for (const TypeFunc& func : description_.funcs) {
        if (EqualsNoCase(func.name, name)) {
            return &func;
        }
    }
    return nullptr;
}

HRESULT DispatchTypeInfo::GetTypeAttr(TYPEATTR** attr) {
    if (!attr) {
        return E_INVALIDARG;
    }
    *attr = &attr_;
    return S_OK;
}

HRESULT DispatchTypeInfo::GetFuncDesc(UINT index, FUNCDESC** desc) {
    if (!desc) {
        return E_INVALIDARG;
    }
    *desc = nullptr;
    if (index >= funcDescs_.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *desc = &funcDescs_[index];
    return S_OK;
}

HRESULT DispatchTypeInfo::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
    if (!names || !count) {
        return E_INVALIDARG;
    }
    *count = 0;
    const TypeFunc* func = FindFunc(id);
    if (!func) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    // The value of a property put is unnamed, as type libraries keep it.
    size_t params = func->params.size();
    if ((func->invokeKind == INVOKE_PROPERTYPUT || func->invokeKind == INVOKE_PROPERTYPUTREF) && params > 0) {
        --params;
    }
    std::vector<const std::u16string*> wanted{&func->name};
    for (size_t k = 0; k < params; ++k) {
        wanted.push_back(&func->params[k].name);
    }
    UINT given = 0;
    for (; given < maxNames && given < wanted.size(); ++given) {
        names[given] = AllocBstr(*wanted[given]);
        if (!names[given]) {
            for (UINT k = 0; k < given; ++k) {
                SysFreeString(names[k]);
            }
            return E_OUTOFMEMORY;
        }
    }
    *count = given;
    return S_OK;
}

HRESULT DispatchTypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (count == 0) {
        return S_OK;
    }
    if (!names || !ids) {
        return E_INVALIDARG;
    }
    std::fill(ids, ids + count, MEMBERID_NIL);
    const TypeFunc* func = FindFunc(U16View(names[0]));
    if (!func) {
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = func->id;
    HRESULT hr = S_OK;
    for (UINT k = 1; k < count; ++k) {
        for (const TypeFunc& candidate : description_.funcs) {
            for (size_t p = 0;
                 candidate.id == func->id && p < candidate.params.size() && ids[k] == MEMBERID_NIL; ++p) {
                if (!candidate.params[p].name.empty() &&
                    EqualsNoCase(candidate.params[p].name, U16View(names[k]))) {
                    ids[k] = static_cast<MEMBERID>(p);
                }
            }
        }
        hr = ids[k] == MEMBERID_NIL ? DISP_E_UNKNOWNNAME : hr;
    }
    return hr;
}

HRESULT DispatchTypeInfo::Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep, UINT* argError) {
    if (!instance) {
        return E_INVALIDARG;
    }
    // The instance is an interface pointer of the type described: a dispatch interface, so an IDispatch.
    return static_cast<IDispatch*>(instance)->Invoke(id, IID_NULL, 0, flags, params, result, excep, argError);
}

HRESULT DispatchTypeInfo::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                                           BSTR* helpFile) {
    const std::u16string* itsName = &description_.name;
    const std::u16string* itsDoc = &description_.doc;
    if (id != MEMBERID_NIL) {
        const TypeFunc* func = FindFunc(id);
        if (!func) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        itsName = &func->name;
        itsDoc = &func->doc;
    }
    if (helpContext) {
        *helpContext = 0;
    }
    if (HRESULT hr = GiveText({}, helpFile); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = GiveText(*itsName, name); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = GiveText(*itsDoc, docString); FAILED(hr)) {
        if (name) {
            SysFreeString(*name);
            *name = nullptr;
        }
        return hr;
    }
    return S_OK;
}

HRESULT DispatchTypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    if (!lib) {
        return E_INVALIDARG;
    }
    *lib = nullptr;
    ComObjectPtr<SingleTypeLib> made;
    if (HRESULT hr = ComObject<SingleTypeLib>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->Init(this);
    *lib = made.Detach();
    if (index) {
        *index = 0;
    }
    return S_OK;
}

// ---- SingleTypeLib ----

void SingleTypeLib::Init(DispatchTypeInfo* type) {
    type_ = type;
    typeInfo_ = static_cast<ITypeInfo*>(type);
    attr_.guid = GUID_NULL;
    attr_.syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

HRESULT SingleTypeLib::GetTypeInfo(UINT index, ITypeInfo** info) {
    if (!info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    return index == 0 ? typeInfo_.CopyTo(info) : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT SingleTypeLib::GetTypeInfoType(UINT index, TYPEKIND* kind) {
    if (!kind) {
        return E_INVALIDARG;
    }
    if (index != 0) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *kind = TKIND_DISPATCH;
    return S_OK;
}

HRESULT SingleTypeLib::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) {
    if (!info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    return guid == type_->Description().guid ? typeInfo_.CopyTo(info) : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT SingleTypeLib::GetLibAttr(TLIBATTR** attr) {
    if (!attr) {
        return E_INVALIDARG;
    }
    *attr = &attr_;
    return S_OK;
}

HRESULT SingleTypeLib::GetTypeComp(ITypeComp** comp) {
    if (comp) {
        *comp = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT SingleTypeLib::GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                        BSTR* helpFile) {
    // The library has no documentation of its own: index -1 answers with the one type's name and text.
    if (index != -1 && index != 0) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return type_->GetDocumentation(MEMBERID_NIL, name, docString, helpContext, helpFile);
}

HRESULT SingleTypeLib::IsName(LPOLESTR name, ULONG, BOOL* found) {
    if (!name || !found) {
        return E_INVALIDARG;
    }
    std::u16string_view wanted = U16View(name);
    const std::u16string* match =
        EqualsNoCase(type_->Description().name, wanted) ? &type_->Description().name : nullptr;
    if (const TypeFunc* func = match ? nullptr : type_->FindFunc(wanted)) {
        match = &func->name;
    }
    *found = match ? TRUE : FALSE;
    if (match) {
        match->copy(name, match->size()); // the library's spelling, as callers expect it back
    }
    return S_OK;
}

HRESULT SingleTypeLib::FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, USHORT* found) {
    if (!name || !infos || !ids || !found) {
        return E_INVALIDARG;
    }
    if (*found == 0) {
        return S_OK;
    }
    std::u16string_view wanted = U16View(name);
    const DispatchTypeDescription& description = type_->Description();
    const TypeFunc* func = type_->FindFunc(wanted);
    if (!EqualsNoCase(description.name, wanted) && !func) {
        *found = 0;
        return S_OK;
    }
    ids[0] = EqualsNoCase(description.name, wanted) ? MEMBERID_NIL : func->id;
    *found = 1;
    return typeInfo_.CopyTo(&infos[0]);
}

} // namespace

HRESULT CreateDispatchTypeInfo(const DispatchTypeDescription& description, ITypeInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    ComObjectPtr<DispatchTypeInfo> made;
    if (HRESULT hr = ComObject<DispatchTypeInfo>::Create(&made); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = made->Init(description); FAILED(hr)) {
        return hr;
    }
    *info = made.Detach();
    return S_OK;
}

} // namespace vr
