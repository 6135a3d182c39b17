// One type of a library: ITypeInfo answered from the library's data, with records made per request.
#include "platform/com/typelib_typeinfo.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <algorithm>

namespace vr::typelib {

DescRecord::~DescRecord() {
    for (PARAMDESCEX& desc : defaults) {
        (void)VariantClear(&desc.varDefaultValue);
    }
    (void)VariantClear(&value);
}

namespace {

TYPEDESC MakeTypeDesc(const TypeSpec& type, size_t link, DescRecord& record) {
    TYPEDESC desc{};
    desc.vt = type.chain[link];
    if (desc.vt == VT_PTR || desc.vt == VT_SAFEARRAY) {
        desc.lptdesc = &record.nested.emplace_back(MakeTypeDesc(type, link + 1, record));
    } else if (desc.vt == VT_USERDEFINED) {
        desc.hreftype = type.ref;
    }
    return desc;
}

ELEMDESC MakeParamDesc(const ParamData& param, DescRecord& record) {
    ELEMDESC desc{};
    desc.tdesc = MakeTypeDesc(param.type, 0, record);
    desc.paramdesc.wParamFlags = param.flags & ~PARAMFLAG_FHASDEFAULT;
    if ((param.flags & PARAMFLAG_FHASDEFAULT) != 0) {
        PARAMDESCEX& ex = record.defaults.emplace_back();
        ex.cBytes = sizeof(PARAMDESCEX);
        VariantInit(&ex.varDefaultValue);
        if (SUCCEEDED(VariantCopy(&ex.varDefaultValue, &param.defaultValue.Get()))) {
            desc.paramdesc.pparamdescex = &ex;
            desc.paramdesc.wParamFlags |= PARAMFLAG_FHASDEFAULT;
        }
    }
    return desc;
}

} // namespace

void TypeInfoObject::Init(TypeLibObject* lib, UINT index) {
    libObject_ = lib;
    lib_ = static_cast<ITypeLib*>(lib);
    index_ = index;
}

HRESULT TypeInfoObject::QueryUnlistedInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != uuidof<ICreateTypeInfo>() || !libObject_->IsWritable()) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<ICreateTypeInfo*>(this);
    static_cast<ICreateTypeInfo*>(this)->AddRef();
    return S_OK;
}

const FuncData* TypeInfoObject::FindFunc(MEMBERID id) const {
    for (const FuncData& func : Data().funcs) {
        if (func.memid == id) {
            return &func;
        }
    }
    return nullptr;
}

const FuncData* TypeInfoObject::FindFunc(std::u16string_view name) const {
    for (const FuncData& func : Data().funcs) {
        if (!func.names.empty() && EqualsNoCase(func.names[0], name)) {
            return &func;
        }
    }
    return nullptr;
}

const VarData* TypeInfoObject::FindVar(MEMBERID id) const {
    for (const VarData& var : Data().vars) {
        if (var.memid == id) {
            return &var;
        }
    }
    return nullptr;
}

// The virtual table: IDispatch's for a dispatch interface; for an interface, its bases' functions and its
// own. The chain of bases is walked here rather than through each base's GetTypeAttr, so that a chain that
// comes back to itself (across libraries, which are checked one by one when loaded, or in a library being
// built) ends at kMaxInheritanceDepth instead of running the stack out.
HRESULT TypeInfoObject::VtableSize(WORD* size) const {
    constexpr size_t kDispatchVtable = 7 * sizeof(void*);
    size_t total = 0;
    const TypeInfoObject* current = this;
    ComPtr<ITypeInfo> held; // keeps the base being walked alive
    for (size_t depth = 0;; ++depth) {
        if (depth == kMaxInheritanceDepth) {
            return TYPE_E_CIRCULARTYPE;
        }
        const TypeData& type = current->Data();
        if (type.kind == TKIND_DISPATCH) {
            total += kDispatchVtable;
            break;
        }
        if (type.kind != TKIND_INTERFACE) {
            break;
        }
        total += type.funcs.size() * sizeof(void*);
        ComPtr<ITypeInfo> base;
        if (type.implTypes.empty() ||
            FAILED(current->libObject_->ResolveRef(type.implTypes[0].ref, base.Put()))) {
            break; // a base that cannot be found adds nothing
        }
        const auto* next = dynamic_cast<const TypeInfoObject*>(base.Get());
        if (!next) {
            // Type information of another kind (a dispatch table's) has no bases to walk.
            TYPEATTR* attr = nullptr;
            if (SUCCEEDED(base->GetTypeAttr(&attr))) {
                total += attr->cbSizeVft;
                base->ReleaseTypeAttr(attr);
            }
            break;
        }
        held = std::move(base);
        current = next;
    }
    *size = static_cast<WORD>(total);
    return S_OK;
}

HRESULT TypeInfoObject::Keep(std::unique_ptr<DescRecord> record, const void* key) {
    std::lock_guard lock(recordsMutex_);
    records_.emplace(key, std::move(record));
    return S_OK;
}

void TypeInfoObject::ReleaseRecord(const void* key) {
    std::unique_ptr<DescRecord> released;
    std::lock_guard lock(recordsMutex_);
    if (auto found = records_.find(key); found != records_.end()) {
        released = std::move(found->second);
        records_.erase(found);
    }
}

// ---- ITypeInfo ----

HRESULT TypeInfoObject::GetTypeAttr(TYPEATTR** attr) {
    if (!attr) {
        return E_INVALIDARG;
    }
    const TypeData& type = Data();
    WORD vtableSize = 0;
    if (HRESULT hr = VtableSize(&vtableSize); FAILED(hr)) {
        return hr;
    }
    auto* made = new (std::nothrow) TYPEATTR{};
    if (!made) {
        return E_OUTOFMEMORY;
    }
    made->guid = type.guid;
    made->lcid = libObject_->Data().lcid;
    made->memidConstructor = MEMBERID_NIL;
    made->memidDestructor = MEMBERID_NIL;
    made->cbSizeInstance = type.kind == TKIND_ENUM ? sizeof(int32_t) : sizeof(void*);
    made->typekind = type.kind;
    made->cFuncs = static_cast<WORD>(type.funcs.size());
    made->cVars = static_cast<WORD>(type.vars.size());
    made->cImplTypes = static_cast<WORD>(type.implTypes.size());
    made->cbSizeVft = vtableSize;
    made->cbAlignment = type.alignment;
    made->wTypeFlags = type.typeFlags;
    made->wMajorVerNum = type.majorVersion;
    made->wMinorVerNum = type.minorVersion;
    made->tdescAlias.vt = VT_EMPTY;
    *attr = made;
    return S_OK;
}

HRESULT TypeInfoObject::GetTypeComp(ITypeComp** comp) {
    if (comp) {
        *comp = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetFuncDesc(UINT index, FUNCDESC** desc) {
    if (!desc) {
        return E_INVALIDARG;
    }
    *desc = nullptr;
    if (index >= Data().funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const FuncData& func = Data().funcs[index];
    auto record = std::make_unique<DescRecord>();
    for (const ParamData& param : func.params) {
        record->params.push_back(MakeParamDesc(param, *record));
    }
    FUNCDESC& made = record->func;
    made.memid = func.memid;
    made.lprgelemdescParam = record->params.empty() ? nullptr : record->params.data();
    made.funckind = func.funcKind;
    made.invkind = func.invokeKind;
    made.callconv = func.callConv;
    made.cParams = static_cast<SHORT>(func.params.size());
    made.cParamsOpt = func.optionalCount;
    made.oVft = func.vtableOffset;
    made.elemdescFunc.tdesc = MakeTypeDesc(func.result, 0, *record);
    made.elemdescFunc.paramdesc.wParamFlags = func.resultFlags;
    made.wFuncFlags = func.flags;
    *desc = &made;
    return Keep(std::move(record), &made);
}

HRESULT TypeInfoObject::GetVarDesc(UINT index, VARDESC** desc) {
    if (!desc) {
        return E_INVALIDARG;
    }
    *desc = nullptr;
    if (index >= Data().vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const VarData& var = Data().vars[index];
    auto record = std::make_unique<DescRecord>();
    VARDESC& made = record->var;
    made.memid = var.memid;
    if (HRESULT hr = VariantCopy(&record->value, &var.value.Get()); FAILED(hr)) {
        return hr;
    }
    made.lpvarValue = &record->value;
    made.elemdescVar.tdesc = MakeTypeDesc(var.type, 0, *record);
    made.wVarFlags = var.flags;
    made.varkind = var.varKind;
    *desc = &made;
    return Keep(std::move(record), &made);
}

HRESULT TypeInfoObject::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
    if (!names || !count) {
        return E_INVALIDARG;
    }
    *count = 0;
    std::vector<std::u16string> wanted;
    if (const FuncData* func = FindFunc(id)) {
        wanted = func->names;
    } else if (const VarData* var = FindVar(id)) {
        wanted = {var->name};
    } else {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    UINT given = 0;
    for (; given < maxNames && given < wanted.size(); ++given) {
        names[given] = AllocBstr(wanted[given]);
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

HRESULT TypeInfoObject::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
    if (!ref) {
        return E_INVALIDARG;
    }
    if (index >= Data().implTypes.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *ref = Data().implTypes[index].ref;
    return S_OK;
}

HRESULT TypeInfoObject::GetImplTypeFlags(UINT index, INT* flags) {
    if (!flags) {
        return E_INVALIDARG;
    }
    if (index >= Data().implTypes.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *flags = Data().implTypes[index].flags;
    return S_OK;
}

HRESULT TypeInfoObject::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (count == 0) {
        return S_OK;
    }
    if (!names || !ids) {
        return E_INVALIDARG;
    }
    std::fill(ids, ids + count, MEMBERID_NIL);
    const FuncData* func = FindFunc(U16View(names[0]));
    if (!func) {
        for (const VarData& var : Data().vars) {
            if (EqualsNoCase(var.name, U16View(names[0]))) {
                ids[0] = var.memid;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = func->memid;
    HRESULT hr = S_OK;
    for (UINT k = 1; k < count; ++k) {
        // A parameter's id is its position; any function of that member id may name it (a property's get
        // and put).
        for (const FuncData& candidate : Data().funcs) {
            for (size_t p = 1;
                 candidate.memid == func->memid && p < candidate.names.size() && ids[k] == MEMBERID_NIL;
                 ++p) {
                if (!candidate.names[p].empty() && EqualsNoCase(candidate.names[p], U16View(names[k]))) {
                    ids[k] = static_cast<MEMBERID>(p - 1);
                }
            }
        }
        hr = ids[k] == MEMBERID_NIL ? DISP_E_UNKNOWNNAME : hr;
    }
    return hr;
}

HRESULT TypeInfoObject::Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argError) {
    if (!instance) {
        return E_INVALIDARG;
    }
    const TypeData& type = Data();
    bool dispatchable = type.kind == TKIND_DISPATCH ||
                        (type.kind == TKIND_INTERFACE && (type.typeFlags & TYPEFLAG_FDUAL) != 0);
    if (!dispatchable) {
        return E_NOTIMPL; // calls through a plain virtual table are not made from type information here
    }
    // The instance is an interface pointer of the type described: a dispatch or dual interface, so an
    // IDispatch.
    return static_cast<IDispatch*>(instance)->Invoke(id, IID_NULL, 0, flags, params, result, excep, argError);
}

HRESULT TypeInfoObject::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                                         BSTR* helpFile) {
    std::u16string_view itsName = Data().name;
    std::u16string_view itsDoc = Data().doc;
    DWORD context = Data().helpContext;
    if (id != MEMBERID_NIL) {
        if (const FuncData* func = FindFunc(id)) {
            itsName = func->names.empty() ? std::u16string_view() : func->names[0];
            itsDoc = func->doc;
            context = func->helpContext;
        } else if (const VarData* var = FindVar(id)) {
            itsName = var->name;
            itsDoc = var->doc;
            context = var->helpContext;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
    }
    return GiveDocumentation(itsName, itsDoc, context, libObject_->Data().helpFile, name, docString,
                             helpContext, helpFile);
}

HRESULT TypeInfoObject::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
    return libObject_->ResolveRef(ref, info);
}

HRESULT TypeInfoObject::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (Data().kind != TKIND_COCLASS) {
        return TYPE_E_WRONGTYPEKIND;
    }
    return CoCreateInstance(Data().guid, outer, CLSCTX_ALL, riid, ppv);
}

HRESULT TypeInfoObject::GetMops(MEMBERID, BSTR* mops) {
    if (mops) {
        *mops = nullptr;
    }
    return S_OK;
}

HRESULT TypeInfoObject::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    if (!lib) {
        return E_INVALIDARG;
    }
    if (index) {
        *index = index_;
    }
    return lib_.CopyTo(lib);
}

} // namespace vr::typelib
