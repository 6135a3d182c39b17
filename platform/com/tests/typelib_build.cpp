// The test device library and the library describer.
#include "platform/com/tests/typelib_build.h"

#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <sstream>
#include <vector>

namespace vrtest {
namespace {

#define RETURN_IF_FAILED(expr)                                                                               \
    if (HRESULT hr_ = (expr); FAILED(hr_)) {                                                                 \
        return hr_;                                                                                          \
    }

struct Param {
    std::u16string name;
    VARTYPE vt;
    USHORT flags;
    VARIANT defaultValue; // VT_EMPTY: none
};

VARIANT NoDefault() {
    VARIANT v{};
    v.vt = VT_EMPTY;
    return v;
}

VARIANT I4(LONG value) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

HRESULT AddFunction(ICreateTypeInfo* type, UINT index, const std::u16string& name, INVOKEKIND kind,
                    MEMBERID id, VARTYPE result, const std::vector<Param>& params, const char16_t* doc) {
    std::vector<ELEMDESC> elems(params.size());
    std::vector<PARAMDESCEX> defaults(params.size());
    SHORT optional = 0;
    for (size_t k = 0; k < params.size(); ++k) {
        elems[k].tdesc.vt = params[k].vt;
        elems[k].paramdesc.wParamFlags = params[k].flags;
        if (params[k].defaultValue.vt != VT_EMPTY) {
            defaults[k].cBytes = sizeof(PARAMDESCEX);
            defaults[k].varDefaultValue = params[k].defaultValue;
            elems[k].paramdesc.pparamdescex = &defaults[k];
            elems[k].paramdesc.wParamFlags |= PARAMFLAG_FHASDEFAULT | PARAMFLAG_FOPT;
            ++optional;
        }
    }
    FUNCDESC desc{};
    desc.memid = id;
    desc.lprgelemdescParam = elems.empty() ? nullptr : elems.data();
    desc.funckind = FUNC_DISPATCH;
    desc.invkind = kind;
    desc.callconv = CC_CDECL;
    desc.cParams = static_cast<SHORT>(params.size());
    desc.cParamsOpt = optional;
    desc.elemdescFunc.tdesc.vt = result;
    desc.elemdescFunc.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    RETURN_IF_FAILED(type->AddFuncDesc(index, &desc));
    std::vector<std::u16string> names{name};
    for (const Param& param : params) {
        names.push_back(param.name);
    }
    if (kind == INVOKE_PROPERTYPUT) {
        names.pop_back(); // the value stays unnamed
    }
    std::vector<LPOLESTR> pointers;
    for (std::u16string& text : names) {
        pointers.push_back(text.data());
    }
    RETURN_IF_FAILED(type->SetFuncAndParamNames(index, pointers.data(), static_cast<UINT>(pointers.size())));
    std::u16string docText = doc ? doc : name.c_str();
    return type->SetFuncDocString(index, docText.data());
}

HRESULT AddDispatchInterface(ICreateTypeLib* lib, ITypeInfo* dispatch, vr::ComPtr<ITypeInfo>* made) {
    vr::ComPtr<ICreateTypeInfo> type;
    std::u16string name = u"IVrSocketDmmAdapter";
    std::u16string doc = u"Interface IVrSocketDmmAdapter";
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_DISPATCH, type.Put()));
    RETURN_IF_FAILED(type->SetGuid(kDeviceIid));
    RETURN_IF_FAILED(type->SetTypeFlags(0));
    RETURN_IF_FAILED(type->SetDocString(doc.data()));
    HREFTYPE base = 0;
    RETURN_IF_FAILED(type->AddRefTypeInfo(dispatch, &base));
    RETURN_IF_FAILED(type->AddImplType(0, base));

    VARIANT term{};
    term.vt = VT_BSTR;
    term.bstrVal = vr::AllocBstr(u"\n");
    HRESULT hr =
        AddFunction(type.Get(), 0, u"QueryString", INVOKE_FUNC, kQueryStringId, VT_BSTR,
                    {{u"sInData", VT_BSTR, PARAMFLAG_FIN, NoDefault()},
                     {u"sTerm", VT_BSTR, PARAMFLAG_FIN, term},
                     {u"nTimeout", VT_I4, PARAMFLAG_FIN, I4(2000)},
                     {u"nCount", VT_VARIANT | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT, NoDefault()}},
                    u"Writes a query and reads the answer");
    SysFreeString(term.bstrVal);
    RETURN_IF_FAILED(hr);
    RETURN_IF_FAILED(AddFunction(type.Get(), 1, u"connection", INVOKE_PROPERTYGET, kConnectionId, VT_DISPATCH,
                                 {}, nullptr));
    RETURN_IF_FAILED(AddFunction(type.Get(), 2, u"Volt", INVOKE_PROPERTYGET, kVoltId, VT_R8,
                                 {{u"channel", VT_I4, PARAMFLAG_FIN, NoDefault()}}, nullptr));
    RETURN_IF_FAILED(AddFunction(
        type.Get(), 3, u"Volt", INVOKE_PROPERTYPUT, kVoltId, VT_VOID,
        {{u"channel", VT_I4, PARAMFLAG_FIN, NoDefault()}, {u"value", VT_R8, PARAMFLAG_FIN, NoDefault()}},
        nullptr));
    RETURN_IF_FAILED(type->LayOut());
    return type.As(made);
}

HRESULT AddEnum(ICreateTypeLib* lib) {
    vr::ComPtr<ICreateTypeInfo> type;
    std::u16string name = u"VrRange";
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_ENUM, type.Put()));
    RETURN_IF_FAILED(type->SetGuid(kRangeEnumGuid));
    const char16_t* names[] = {u"RangeAuto", u"RangeFixed"};
    for (UINT k = 0; k < 2; ++k) {
        VARIANT value = I4(static_cast<LONG>(k) * 10 - 1);
        VARDESC desc{};
        desc.memid = static_cast<MEMBERID>(k);
        desc.lpvarValue = &value;
        desc.elemdescVar.tdesc.vt = VT_I4;
        desc.varkind = VAR_CONST;
        RETURN_IF_FAILED(type->AddVarDesc(k, &desc));
        std::u16string text = names[k];
        RETURN_IF_FAILED(type->SetVarName(k, text.data()));
    }
    return type->LayOut();
}

HRESULT AddClass(ICreateTypeLib* lib, ITypeInfo* iface) {
    vr::ComPtr<ICreateTypeInfo> type;
    std::u16string name = u"VrDeviceDmm";
    std::u16string doc = u"Class VrDeviceDmm";
    RETURN_IF_FAILED(lib->CreateTypeInfo(name.data(), TKIND_COCLASS, type.Put()));
    RETURN_IF_FAILED(type->SetGuid(kDeviceClsid));
    RETURN_IF_FAILED(type->SetTypeFlags(TYPEFLAG_FCANCREATE));
    RETURN_IF_FAILED(type->SetDocString(doc.data()));
    HREFTYPE ref = 0;
    RETURN_IF_FAILED(type->AddRefTypeInfo(iface, &ref));
    RETURN_IF_FAILED(type->AddImplType(0, ref));
    RETURN_IF_FAILED(type->LayOut());
    return type->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT);
}

std::string Text(BSTR text) {
    std::string out = vr::BstrToUtf8(text);
    SysFreeString(text);
    return out;
}

std::string ValueText(const VARIANT& value) {
    std::ostringstream out;
    out << "vt" << value.vt << "=";
    if (value.vt == VT_BSTR) {
        out << "'" << vr::BstrToUtf8(value.bstrVal) << "'";
    } else if (value.vt == VT_I4) {
        out << value.lVal;
    } else {
        out << value.llVal;
    }
    return out.str();
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& desc) {
    std::string out = std::to_string(desc.vt);
    if (desc.vt == VT_PTR || desc.vt == VT_SAFEARRAY) {
        out += "(" + TypeText(info, *desc.lptdesc) + ")";
    } else if (desc.vt == VT_USERDEFINED) {
        vr::ComPtr<ITypeInfo> target;
        BSTR name = nullptr;
        out += SUCCEEDED(info->GetRefTypeInfo(desc.hreftype, target.Put())) &&
                       SUCCEEDED(target->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))
                   ? ":" + Text(name)
                   : ":?";
    }
    return out;
}

void DescribeFunc(std::ostream& out, ITypeInfo* info, UINT index) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(index, &desc))) {
        out << "  func " << index << " missing\n";
        return;
    }
    out << "  func " << desc->memid << " kind" << desc->funckind << " inv" << desc->invkind << " cc"
        << desc->callconv << " opt" << desc->cParamsOpt << " vft" << desc->oVft << " flags"
        << desc->wFuncFlags << " result " << TypeText(info, desc->elemdescFunc.tdesc) << "/"
        << desc->elemdescFunc.paramdesc.wParamFlags << "\n";
    BSTR names[16] = {};
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(desc->memid, names, 16, &count))) {
        for (UINT k = 0; k < count; ++k) {
            out << "    name " << Text(names[k]) << "\n";
        }
    }
    for (SHORT p = 0; p < desc->cParams; ++p) {
        const ELEMDESC& param = desc->lprgelemdescParam[p];
        out << "    param " << TypeText(info, param.tdesc) << " flags" << param.paramdesc.wParamFlags;
        if (param.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
            out << " default " << ValueText(param.paramdesc.pparamdescex->varDefaultValue);
        }
        out << "\n";
    }
    BSTR name = nullptr;
    BSTR doc = nullptr;
    if (SUCCEEDED(info->GetDocumentation(desc->memid, &name, &doc, nullptr, nullptr))) {
        out << "    doc " << Text(name) << " / " << Text(doc) << "\n";
    }
    info->ReleaseFuncDesc(desc);
}

void DescribeType(std::ostream& out, ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) {
        out << " no attributes\n";
        return;
    }
    BSTR name = nullptr;
    BSTR doc = nullptr;
    (void)info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
    out << "type " << Text(name) << " / " << Text(doc) << " " << vr::GuidToUtf8(attr->guid) << " kind"
        << attr->typekind << " flags" << attr->wTypeFlags << " vft" << attr->cbSizeVft << "\n";
    for (UINT k = 0; k < attr->cImplTypes; ++k) {
        HREFTYPE ref = 0;
        INT flags = 0;
        vr::ComPtr<ITypeInfo> target;
        BSTR targetName = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(k, &ref)) && SUCCEEDED(info->GetImplTypeFlags(k, &flags)) &&
            SUCCEEDED(info->GetRefTypeInfo(ref, target.Put())) &&
            SUCCEEDED(target->GetDocumentation(MEMBERID_NIL, &targetName, nullptr, nullptr, nullptr))) {
            out << "  implements " << Text(targetName) << " flags" << flags << "\n";
        } else {
            out << "  implements ?\n";
        }
    }
    for (UINT k = 0; k < attr->cFuncs; ++k) {
        DescribeFunc(out, info, k);
    }
    for (UINT k = 0; k < attr->cVars; ++k) {
        VARDESC* var = nullptr;
        if (SUCCEEDED(info->GetVarDesc(k, &var))) {
            BSTR varName = nullptr;
            UINT count = 0;
            (void)info->GetNames(var->memid, &varName, 1, &count);
            out << "  const " << Text(varName) << " " << ValueText(*var->lpvarValue) << "\n";
            info->ReleaseVarDesc(var);
        }
    }
    info->ReleaseTypeAttr(attr);
}

} // namespace

HRESULT BuildDeviceLibrary(const std::string& path, WORD major, WORD minor,
                           vr::ComPtr<ICreateTypeLib>* made) {
    vr::ComPtr<ITypeLib> stdole;
    RETURN_IF_FAILED(LoadTypeLib(u"stdole32.tlb", stdole.Put()));
    vr::ComPtr<ITypeInfo> dispatch;
    RETURN_IF_FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, dispatch.Put()));

    vr::ComPtr<ICreateTypeLib> lib;
    std::u16string file = vr::FromUtf8(path);
    RETURN_IF_FAILED(CreateTypeLib(SYS_WIN32, file.c_str(), lib.Put()));
    std::u16string name = u"VrDeviceDmm";
    std::u16string doc = u"Vornic Device Dmm 1.0 Type Library";
    RETURN_IF_FAILED(lib->SetLcid(0));
    RETURN_IF_FAILED(lib->SetVersion(major, minor));
    RETURN_IF_FAILED(lib->SetName(name.data()));
    RETURN_IF_FAILED(lib->SetGuid(kDeviceLibId));
    RETURN_IF_FAILED(lib->SetDocString(doc.data()));
    RETURN_IF_FAILED(lib->SetLibFlags(0));

    vr::ComPtr<ITypeInfo> iface;
    RETURN_IF_FAILED(AddDispatchInterface(lib.Get(), dispatch.Get(), &iface));
    RETURN_IF_FAILED(AddEnum(lib.Get()));
    RETURN_IF_FAILED(AddClass(lib.Get(), iface.Get()));
    *made = lib;
    return S_OK;
}

HRESULT SaveDeviceLibrary(const std::string& path, WORD major, WORD minor) {
    vr::ComPtr<ICreateTypeLib> lib;
    RETURN_IF_FAILED(BuildDeviceLibrary(path, major, minor, &lib));
    return lib->SaveAllChanges();
}

std::string DescribeLibrary(ITypeLib* lib) {
    std::ostringstream out;
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr))) {
        return "no library attributes";
    }
    BSTR name = nullptr;
    BSTR doc = nullptr;
    (void)lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    out << "library " << Text(name) << " / " << Text(doc) << " " << vr::GuidToUtf8(attr->guid) << " "
        << attr->wMajorVerNum << "." << attr->wMinorVerNum << " lcid" << attr->lcid << " sys" << attr->syskind
        << " flags" << attr->wLibFlags << "\n";
    lib->ReleaseTLibAttr(attr);
    for (UINT k = 0; k < lib->GetTypeInfoCount(); ++k) {
        vr::ComPtr<ITypeInfo> info;
        if (FAILED(lib->GetTypeInfo(k, info.Put()))) {
            out << "type " << k << " missing\n";
            continue;
        }
        DescribeType(out, info.Get());
    }
    return out.str();
}

} // namespace vrtest
