// Building one type of a library (ICreateTypeInfo): functions, constants, implemented types, names, layout.
#include "platform/base/text.h"
#include "platform/com/typelib_format.h"
#include "platform/com/typelib_typeinfo.h"

#include <set>
#include <utility>

namespace vr::typelib {

namespace {

// Flattens a TYPEDESC chain. A VARTYPE with VT_BYREF or VT_ARRAY, as the automation types write a pointer to
// or an array of a type, is taken as VT_PTR or VT_SAFEARRAY of it.
HRESULT ReadTypeDesc(const TYPEDESC& desc, size_t refCount, TypeSpec* type) {
    type->chain.clear();
    type->ref = 0;
    const TYPEDESC* link = &desc;
    while (link && type->chain.size() <= kMaxTypeDepth) {
        VARTYPE vt = link->vt;
        if (vt & (VT_BYREF | VT_ARRAY)) {
            type->chain.push_back((vt & VT_BYREF) ? VT_PTR : VT_SAFEARRAY);
            type->chain.push_back(vt & VT_TYPEMASK);
            break;
        }
        type->chain.push_back(vt);
        if (vt == VT_USERDEFINED) {
            type->ref = link->hreftype;
        }
        link = (vt == VT_PTR || vt == VT_SAFEARRAY) ? link->lptdesc : nullptr;
        if ((vt == VT_PTR || vt == VT_SAFEARRAY) && !link) {
            return E_INVALIDARG;
        }
    }
    return IsValidTypeSpec(*type, refCount) ? S_OK : E_INVALIDARG;
}

HRESULT ReadParam(const ELEMDESC& desc, size_t refCount, ParamData* param) {
    if (HRESULT hr = ReadTypeDesc(desc.tdesc, refCount, &param->type); FAILED(hr)) {
        return hr;
    }
    param->flags = desc.paramdesc.wParamFlags;
    if ((param->flags & PARAMFLAG_FHASDEFAULT) == 0) {
        return S_OK;
    }
    const PARAMDESCEX* ex = desc.paramdesc.pparamdescex;
    if (!ex) {
        return E_INVALIDARG;
    }
    if (!IsStorableValue(ex->varDefaultValue)) {
        return DISP_E_BADVARTYPE;
    }
    return VariantCopy(param->defaultValue.Put(), &ex->varDefaultValue);
}

bool IsInvokeKind(INVOKEKIND kind) {
    return kind == INVOKE_FUNC || kind == INVOKE_PROPERTYGET || kind == INVOKE_PROPERTYPUT ||
           kind == INVOKE_PROPERTYPUTREF;
}

HRESULT ReadFuncDesc(const FUNCDESC& desc, size_t refCount, FuncData* func) {
    if (desc.cParams < 0 || (desc.cParams > 0 && !desc.lprgelemdescParam) || desc.cParamsOpt < 0 ||
        desc.cParamsOpt > desc.cParams || !IsInvokeKind(desc.invkind) || desc.funckind > FUNC_DISPATCH ||
        desc.callconv >= CC_MAX) {
        return E_INVALIDARG;
    }
    func->memid = desc.memid;
    func->funcKind = desc.funckind;
    func->invokeKind = desc.invkind;
    func->callConv = desc.callconv;
    func->vtableOffset = desc.oVft;
    func->optionalCount = desc.cParamsOpt;
    func->flags = desc.wFuncFlags;
    func->resultFlags = desc.elemdescFunc.paramdesc.wParamFlags & ~PARAMFLAG_FHASDEFAULT;
    if (HRESULT hr = ReadTypeDesc(desc.elemdescFunc.tdesc, refCount, &func->result); FAILED(hr)) {
        return hr;
    }
    func->params.resize(desc.cParams);
    for (SHORT k = 0; k < desc.cParams; ++k) {
        if (HRESULT hr = ReadParam(desc.lprgelemdescParam[k], refCount, &func->params[k]); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

bool IsPut(INVOKEKIND kind) {
    return kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF;
}

} // namespace

HRESULT TypeInfoObject::SetGuid(REFGUID guid) {
    MutableData().guid = guid;
    return S_OK;
}

HRESULT TypeInfoObject::SetTypeFlags(UINT flags) {
    if (flags > 0xFFFF) {
        return E_INVALIDARG;
    }
    MutableData().typeFlags = static_cast<WORD>(flags);
    return S_OK;
}

HRESULT TypeInfoObject::SetDocString(LPOLESTR doc) {
    MutableData().doc = U16View(doc);
    return S_OK;
}

HRESULT TypeInfoObject::SetHelpContext(DWORD context) {
    MutableData().helpContext = context;
    return S_OK;
}

HRESULT TypeInfoObject::SetVersion(WORD major, WORD minor) {
    MutableData().majorVersion = major;
    MutableData().minorVersion = minor;
    return S_OK;
}

HRESULT TypeInfoObject::AddRefTypeInfo(ITypeInfo* info, HREFTYPE* ref) {
    return libObject_->AddReference(info, ref);
}

HRESULT TypeInfoObject::AddFuncDesc(UINT index, FUNCDESC* desc) {
    TypeData& type = MutableData();
    if (type.kind != TKIND_INTERFACE && type.kind != TKIND_DISPATCH) {
        return TYPE_E_WRONGTYPEKIND;
    }
    if (!desc) {
        return E_INVALIDARG;
    }
    if (index > type.funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    FuncData func;
    if (HRESULT hr = ReadFuncDesc(*desc, libObject_->Data().refs.size(), &func); FAILED(hr)) {
        return hr;
    }
    type.funcs.insert(type.funcs.begin() + index, std::move(func));
    return S_OK;
}

HRESULT TypeInfoObject::AddImplType(UINT index, HREFTYPE ref) {
    TypeData& type = MutableData();
    if (type.kind == TKIND_ENUM) {
        return TYPE_E_WRONGTYPEKIND;
    }
    if (ref >= libObject_->Data().refs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (index > type.implTypes.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.implTypes.insert(type.implTypes.begin() + index, ImplTypeData{ref, 0});
    return S_OK;
}

HRESULT TypeInfoObject::SetImplTypeFlags(UINT index, INT flags) {
    TypeData& type = MutableData();
    if (index >= type.implTypes.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.implTypes[index].flags = flags;
    return S_OK;
}

HRESULT TypeInfoObject::SetAlignment(WORD alignment) {
    MutableData().alignment = alignment;
    return S_OK;
}

HRESULT TypeInfoObject::AddVarDesc(UINT index, VARDESC* desc) {
    TypeData& type = MutableData();
    if (type.kind != TKIND_ENUM) {
        return TYPE_E_WRONGTYPEKIND;
    }
    if (!desc || desc->varkind != VAR_CONST || !desc->lpvarValue) {
        return E_INVALIDARG;
    }
    if (index > type.vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (!IsStorableValue(*desc->lpvarValue)) {
        return DISP_E_BADVARTYPE;
    }
    VarData var;
    var.memid = desc->memid;
    var.flags = desc->wVarFlags;
    if (HRESULT hr = ReadTypeDesc(desc->elemdescVar.tdesc, libObject_->Data().refs.size(), &var.type);
        FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = VariantCopy(var.value.Put(), desc->lpvarValue); FAILED(hr)) {
        return hr;
    }
    type.vars.insert(type.vars.begin() + index, std::move(var));
    return S_OK;
}

HRESULT TypeInfoObject::SetFuncAndParamNames(UINT index, LPOLESTR* names, UINT count) {
    TypeData& type = MutableData();
    if (index >= type.funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    FuncData& func = type.funcs[index];
    size_t params = func.params.size();
    // Every parameter is named, except the value of a property put, which may stay unnamed.
    bool countFits = count == params + 1 || (IsPut(func.invokeKind) && params > 0 && count == params);
    if (!names || !names[0] || !*names[0] || !countFits) {
        return E_INVALIDARG;
    }
    for (const FuncData& other : type.funcs) {
        if (&other != &func && other.memid != func.memid && !other.names.empty() &&
            EqualsNoCase(other.names[0], U16View(names[0]))) {
            return TYPE_E_AMBIGUOUSNAME;
        }
    }
    func.names.clear();
    for (UINT k = 0; k < count; ++k) {
        func.names.emplace_back(U16View(names[k]));
    }
    return S_OK;
}

HRESULT TypeInfoObject::SetVarName(UINT index, LPOLESTR name) {
    TypeData& type = MutableData();
    if (index >= type.vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (!name || !*name) {
        return E_INVALIDARG;
    }
    type.vars[index].name = U16View(name);
    return S_OK;
}

HRESULT TypeInfoObject::SetFuncDocString(UINT index, LPOLESTR doc) {
    TypeData& type = MutableData();
    if (index >= type.funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.funcs[index].doc = U16View(doc);
    return S_OK;
}

HRESULT TypeInfoObject::SetVarDocString(UINT index, LPOLESTR doc) {
    TypeData& type = MutableData();
    if (index >= type.vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.vars[index].doc = U16View(doc);
    return S_OK;
}

HRESULT TypeInfoObject::SetFuncHelpContext(UINT index, DWORD context) {
    TypeData& type = MutableData();
    if (index >= type.funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.funcs[index].helpContext = context;
    return S_OK;
}

HRESULT TypeInfoObject::SetVarHelpContext(UINT index, DWORD context) {
    TypeData& type = MutableData();
    if (index >= type.vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    type.vars[index].helpContext = context;
    return S_OK;
}

HRESULT TypeInfoObject::LayOut() {
    std::set<std::pair<MEMBERID, INVOKEKIND>> seen;
    for (const FuncData& func : Data().funcs) {
        if (func.names.empty()) {
            return E_INVALIDARG; // a function added without SetFuncAndParamNames
        }
        if (!seen.emplace(func.memid, func.invokeKind).second) {
            return TYPE_E_AMBIGUOUSNAME;
        }
    }
    for (const VarData& var : Data().vars) {
        if (var.name.empty()) {
            return E_INVALIDARG;
        }
    }
    if (Data().kind != TKIND_INTERFACE) {
        return S_OK;
    }
    // An interface's functions follow its base's in the virtual table.
    WORD vtableSize = 0;
    if (HRESULT hr = VtableSize(&vtableSize); FAILED(hr)) {
        return hr;
    }
    WORD base = static_cast<WORD>(vtableSize - Data().funcs.size() * sizeof(void*));
    for (size_t k = 0; k < Data().funcs.size(); ++k) {
        MutableData().funcs[k].vtableOffset = static_cast<SHORT>(base + k * sizeof(void*));
    }
    return S_OK;
}

} // namespace vr::typelib
