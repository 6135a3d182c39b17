// Writing a server's type library from its dispatch tables.
#include "platform/com/typelib_writer.h"

#include "platform/base/text.h"
#include "platform/com/comptr.h"

#include <map>

namespace vr::typelib {

namespace {

#define RETURN_IF_FAILED(expr)                                                                               \
    if (HRESULT hr_ = (expr); FAILED(hr_)) {                                                                 \
        return hr_;                                                                                          \
    }

// The builder's setters take writable texts.
std::u16string Writable(std::u16string_view text) {
    return std::u16string(text);
}

// Copies function k of the table's own type information (the records Invoke is described by) and names it
// and its parameters as the table does: a property put's names differ from its get's under the same DISPID,
// which a lookup by DISPID could not tell apart.
HRESULT AddTableFunction(ICreateTypeInfo* type, ITypeInfo* tableInfo, const TypeFunc& func, UINT k) {
    FUNCDESC* desc = nullptr;
    RETURN_IF_FAILED(tableInfo->GetFuncDesc(k, &desc));
    HRESULT hr = type->AddFuncDesc(k, desc);
    tableInfo->ReleaseFuncDesc(desc);
    RETURN_IF_FAILED(hr);
    std::vector<std::u16string> names{func.name};
    for (const TypeParam& param : func.params) {
        names.push_back(param.name);
    }
    std::vector<LPOLESTR> pointers;
    for (std::u16string& name : names) {
        pointers.push_back(name.data());
    }
    return type->SetFuncAndParamNames(k, pointers.data(), static_cast<UINT>(pointers.size()));
}

HRESULT AddInterface(ICreateTypeLib* lib, ITypeInfo* dispatchBase, const InterfaceSpec& spec,
                     ComPtr<ITypeInfo>* made) {
    ComPtr<ICreateTypeInfo> type;
    std::u16string name = Writable(spec.name);
    std::u16string doc = Writable(spec.doc);
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_DISPATCH, type.Put()));
    RETURN_IF_FAILED(type->SetGuid(spec.iid));
    RETURN_IF_FAILED(type->SetDocString(doc.data()));
    HREFTYPE base = 0;
    RETURN_IF_FAILED(type->AddRefTypeInfo(dispatchBase, &base));
    RETURN_IF_FAILED(type->AddImplType(0, base));
    WORD flags = TYPEFLAG_FDISPATCHABLE;
    if (spec.table) {
        if (!spec.table->IsValid()) {
            return E_UNEXPECTED;
        }
        ComPtr<ITypeInfo> tableInfo;
        RETURN_IF_FAILED(spec.table->GetTypeInfo(0, spec.iid, spec.dual, tableInfo.Put()));
        const DispatchTypeDescription description = spec.table->Describe(spec.iid, spec.dual);
        flags = description.typeFlags;
        for (UINT k = 0; k < description.funcs.size(); ++k) {
            RETURN_IF_FAILED(AddTableFunction(type.Get(), tableInfo.Get(), description.funcs[k], k));
        }
    }
    RETURN_IF_FAILED(type->SetTypeFlags(flags));
    RETURN_IF_FAILED(type->LayOut());
    return type.As(made);
}

HRESULT AddClass(ICreateTypeLib* lib, const std::map<GUID, ComPtr<ITypeInfo>>& interfaces,
                 const ClassSpec& spec) {
    ComPtr<ICreateTypeInfo> type;
    std::u16string name = Writable(spec.name);
    std::u16string doc = Writable(spec.doc);
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_COCLASS, type.Put()));
    RETURN_IF_FAILED(type->SetGuid(spec.clsid));
    RETURN_IF_FAILED(type->SetTypeFlags(spec.typeFlags));
    RETURN_IF_FAILED(type->SetDocString(doc.data()));
    for (UINT k = 0; k < spec.interfaces.size(); ++k) {
        auto found = interfaces.find(spec.interfaces[k].iid);
        if (found == interfaces.end()) {
            return E_INVALIDARG;
        }
        HREFTYPE ref = 0;
        RETURN_IF_FAILED(type->AddRefTypeInfo(found->second.Get(), &ref));
        RETURN_IF_FAILED(type->AddImplType(k, ref));
        RETURN_IF_FAILED(type->SetImplTypeFlags(k, spec.interfaces[k].flags));
    }
    return type->LayOut();
}

HRESULT AddEnum(ICreateTypeLib* lib, const EnumSpec& spec) {
    ComPtr<ICreateTypeInfo> type;
    std::u16string name = Writable(spec.name);
    std::u16string doc = Writable(spec.doc);
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_ENUM, type.Put()));
    RETURN_IF_FAILED(type->SetDocString(doc.data()));
    for (UINT k = 0; k < spec.constants.size(); ++k) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = spec.constants[k].value;
        VARDESC desc{};
        desc.memid = static_cast<MEMBERID>(k);
        desc.lpvarValue = &value;
        desc.elemdescVar.tdesc.vt = VT_I4;
        desc.varkind = VAR_CONST;
        RETURN_IF_FAILED(type->AddVarDesc(k, &desc));
        std::u16string constant = Writable(spec.constants[k].name);
        RETURN_IF_FAILED(type->SetVarName(k, constant.data()));
    }
    return type->LayOut();
}

} // namespace

HRESULT WriteTypeLibrary(const LibrarySpec& spec, const std::string& path) {
    ComPtr<ITypeLib> stdole;
    RETURN_IF_FAILED(LoadRegTypeLib(LIBID_STDOLE, kStdoleMajorVersion, kStdoleMinorVersion, 0, stdole.Put()));
    ComPtr<ITypeInfo> dispatchBase;
    RETURN_IF_FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, dispatchBase.Put()));

    ComPtr<ICreateTypeLib> lib;
    std::u16string file = FromUtf8(path);
    RETURN_IF_FAILED(CreateTypeLib(SYS_WIN64, file.c_str(), lib.Put()));
    std::u16string name = Writable(spec.name);
    std::u16string doc = Writable(spec.doc);
    RETURN_IF_FAILED(lib->SetName(name.data()));
    RETURN_IF_FAILED(lib->SetGuid(spec.libid));
    RETURN_IF_FAILED(lib->SetVersion(spec.majorVersion, spec.minorVersion));
    RETURN_IF_FAILED(lib->SetDocString(doc.data()));
    RETURN_IF_FAILED(lib->SetLcid(0));
    RETURN_IF_FAILED(lib->SetLibFlags(spec.libFlags));

    std::map<GUID, ComPtr<ITypeInfo>> interfaces;
    for (const InterfaceSpec& each : spec.interfaces) {
        RETURN_IF_FAILED(AddInterface(lib.Get(), dispatchBase.Get(), each, &interfaces[each.iid]));
    }
    for (const ClassSpec& coclass : spec.classes) {
        RETURN_IF_FAILED(AddClass(lib.Get(), interfaces, coclass));
    }
    for (const EnumSpec& enumeration : spec.enums) {
        RETURN_IF_FAILED(AddEnum(lib.Get(), enumeration));
    }
    return lib->SaveAllChanges();
}

} // namespace vr::typelib
