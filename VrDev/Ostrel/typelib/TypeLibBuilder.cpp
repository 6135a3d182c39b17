// CTypeLibBuilder: one device's type library through the type-library creation interfaces.
#include "VrDev/Ostrel/typelib/TypeLibBuilder.h"

#include "common/trace/Trace.h"
#include "platform/base/library_folder.h"
#include "platform/base/paths.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"

#include <cerrno>
#include <filesystem>

namespace ostrel {

namespace {

constexpr WORD kResultFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// Whether a default value makes its parameter optional: a missing value (VT_ERROR) or none does not.
bool CountsAsOptional(const SocketParamInfo& param) {
    return param.defaultValue.vt != VT_EMPTY && param.defaultValue.vt != VT_ERROR;
}

// A text the creation calls take as LPOLESTR (they copy it).
LPOLESTR Text(const std::u16string& text) {
    return const_cast<LPOLESTR>(text.c_str());
}

// Makes the folder of path and any missing above it (a new station has no data folders yet); an existing
// folder is no error. Type libraries live beside the generated libraries: the folder is made as theirs.
HRESULT MakeFolderOf(const std::u16string& path) {
    std::filesystem::path folder = std::filesystem::path(vr::MapWindowsPath(vr::ToUtf8(path))).parent_path();
    if (folder.empty()) {
        return S_OK;
    }
    std::string reason;
    if (!vr::MakeLibraryFolder(folder.string(), &reason)) {
        int err = errno;
        TraceError(u"%hs", reason.c_str());
        return vr::HResultFromErrno(err);
    }
    return S_OK;
}

} // namespace

std::u16string WithCapitalFirst(std::u16string_view text) {
    std::u16string result(text);
    if (!result.empty() && result[0] >= u'a' && result[0] <= u'z') {
        result[0] = static_cast<char16_t>(result[0] - u'a' + u'A');
    }
    return result;
}

DWORD CodeUnitSum(std::u16string_view text) {
    DWORD sum = 0;
    for (char16_t unit : text) {
        sum += unit; // wraps modulo 2^32 by definition of unsigned arithmetic
    }
    return sum;
}

GUID DerivedGuid(const GUID& base, std::u16string_view part) {
    GUID guid = base;
    guid.Data1 = base.Data1 + CodeUnitSum(part);
    return guid;
}

DeviceTypeLibIds DeriveDeviceTypeLibIds(std::u16string_view deviceName, std::u16string_view interfaceName) {
    DeviceTypeLibIds ids;
    ids.devicePart = WithCapitalFirst(deviceName);
    ids.interfacePart = WithCapitalFirst(interfaceName);
    ids.libraryName = u"VrDevice" + ids.devicePart;
    ids.interfaceName = u"IVrSocket" + ids.interfacePart;
    ids.libraryDoc = u"Vornic Device " + ids.devicePart + u" 1.0 Type Library";
    ids.libid = DerivedGuid(kDeviceLibraryBaseGuid, ids.devicePart);
    ids.iid = DerivedGuid(kDeviceInterfaceBaseGuid, ids.interfacePart);
    ids.clsid = DerivedGuid(kDeviceClassBaseGuid, ids.devicePart);
    return ids;
}

CTypeLibBuilder::CTypeLibBuilder() {
    vr::ComPtr<ITypeLib> stdole;
    HRESULT hr = LoadTypeLib(u"stdole32.tlb", stdole.Put());
    if (SUCCEEDED(hr)) {
        hr = stdole->GetTypeInfoOfGuid(IID_IUnknown, unknownInfo_.Put());
    }
    if (SUCCEEDED(hr)) {
        hr = stdole->GetTypeInfoOfGuid(IID_IDispatch, dispatchInfo_.Put());
    }
    if (FAILED(hr)) {
        stdoleResult_ = Failed(hr, u"Couldn't take IUnknown and IDispatch from 'stdole32.tlb'.");
    }
}

HRESULT CTypeLibBuilder::Failed(HRESULT hr, const char16_t* step) {
    TraceHResultError(hr, u"%s", step);
    return hr;
}

HRESULT CTypeLibBuilder::CreateLibrary(const std::u16string& path, const GUID& libid,
                                       const std::u16string& name, const std::u16string& doc, WORD major,
                                       WORD minor) {
    if (HRESULT hr = CloseLibrary(); FAILED(hr)) {
        return hr;
    }
    path_ = path;
    HRESULT hr = CreateTypeLib(SYS_WIN32, path_.c_str(), library_.Put());
    if (FAILED(hr)) {
        return Failed(hr, u"CreateTypeLib failed.");
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetLcid(0);
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetVersion(major, minor);
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetName(Text(name));
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetGuid(libid);
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetDocString(Text(doc));
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SetLibFlags(0);
    }
    if (FAILED(hr)) {
        library_ = nullptr; // an unfinished library is never saved
        return Failed(hr, u"Couldn't set the type library's attributes.");
    }
    return S_OK;
}

HRESULT CTypeLibBuilder::CreateInterface(const GUID& iid, const std::u16string& name, TYPEKIND kind,
                                         UINT typeFlags, vr::ComPtr<ITypeInfo>* typeInfo,
                                         ITypeInfo* secondBase, std::u16string_view doc) {
    if (HRESULT hr = EndInterface(); FAILED(hr)) {
        return hr;
    }
    if (!library_) {
        return Failed(E_UNEXPECTED, u"No type library is open for the interface.");
    }
    if (FAILED(stdoleResult_)) {
        return stdoleResult_;
    }
    functionCount_ = 0;
    interfaceKind_ = kind;
    HRESULT hr = library_->CreateTypeInfo(Text(name), kind, interface_.Put());
    if (FAILED(hr)) {
        return Failed(hr, u"CreateTypeInfo failed for the interface.");
    }
    const std::u16string docString = doc.empty() ? u"Interface " + name : std::u16string(doc);
    hr = interface_->SetGuid(iid);
    if (SUCCEEDED(hr)) {
        hr = interface_->SetTypeFlags(typeFlags);
    }
    if (SUCCEEDED(hr)) {
        hr = interface_->SetDocString(Text(docString));
    }
    if (SUCCEEDED(hr) && typeInfo) {
        hr = interface_.As(typeInfo);
    }
    ITypeInfo* base = kind == TKIND_INTERFACE  ? unknownInfo_.Get()
                      : kind == TKIND_DISPATCH ? dispatchInfo_.Get()
                                               : nullptr;
    UINT implemented = 0;
    for (ITypeInfo* implementedInfo : {base, secondBase}) {
        if (SUCCEEDED(hr) && implementedInfo) {
            HREFTYPE ref = 0;
            hr = interface_->AddRefTypeInfo(implementedInfo, &ref);
            if (SUCCEEDED(hr)) {
                hr = interface_->AddImplType(implemented++, ref);
            }
        }
    }
    if (FAILED(hr)) {
        return Failed(hr, u"Couldn't describe the interface.");
    }
    return S_OK;
}

HRESULT CTypeLibBuilder::AddFunction(const std::u16string& name, int invokeKind, MEMBERID dispId,
                                     VARTYPE resultType, WORD flags,
                                     const std::vector<SocketParamInfo>& params, std::u16string_view help) {
    if (!interface_) {
        return Failed(E_UNEXPECTED, u"No interface is open for the function.");
    }
    std::vector<ELEMDESC> elements(params.size());
    std::vector<std::u16string> names{name};
    SHORT optional = 0;
    for (size_t k = 0; k < params.size(); ++k) {
        elements[k].tdesc.vt = params[k].type;
        elements[k].paramdesc.wParamFlags = params[k].flags;
        names.emplace_back(params[k].name.view());
        optional = static_cast<SHORT>(optional + (CountsAsOptional(params[k]) ? 1 : 0));
    }
    FUNCDESC desc{};
    desc.memid = dispId;
    desc.lprgelemdescParam = elements.empty() ? nullptr : elements.data();
    desc.funckind = interfaceKind_ == TKIND_DISPATCH ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
    desc.invkind = static_cast<INVOKEKIND>(invokeKind);
    desc.callconv = CC_CDECL;
    desc.cParams = static_cast<SHORT>(params.size());
    desc.cParamsOpt = optional;
    desc.elemdescFunc.tdesc.vt = resultType;
    desc.elemdescFunc.paramdesc.wParamFlags = kResultFlags;
    desc.wFuncFlags = 0;
    (void)flags; // the member's flags describe the socket's own dispatch, not the library's function

    const UINT index = functionCount_;
    HRESULT hr = interface_->AddFuncDesc(index, &desc);
    if (FAILED(hr)) {
        return Failed(hr, u"AddFuncDesc failed.");
    }
    std::vector<LPOLESTR> namePointers;
    for (std::u16string& each : names) {
        namePointers.push_back(Text(each));
    }
    // The value of a property put stays unnamed.
    const UINT nameCount = static_cast<UINT>(
        invokeKind == kMemberPropertyPut && !params.empty() ? params.size() : params.size() + 1);
    hr = interface_->SetFuncAndParamNames(index, namePointers.data(), nameCount);
    if (FAILED(hr)) {
        return Failed(hr, u"SetFuncAndParamNames failed.");
    }
    const std::u16string doc = help.empty() ? name : std::u16string(help);
    hr = interface_->SetFuncDocString(index, Text(doc));
    if (FAILED(hr)) {
        return Failed(hr, u"SetFuncDocString failed.");
    }
    ++functionCount_;
    return S_OK;
}

HRESULT CTypeLibBuilder::EndInterface() {
    if (!interface_) {
        return S_OK;
    }
    HRESULT hr = interface_->LayOut();
    interface_ = nullptr;
    return FAILED(hr) ? Failed(hr, u"LayOut of the interface failed.") : S_OK;
}

HRESULT CTypeLibBuilder::CreateCoclass(const GUID& clsid, const std::u16string& name, UINT typeFlags,
                                       std::u16string_view doc) {
    if (HRESULT hr = EndCoclass(); FAILED(hr)) {
        return hr;
    }
    if (!library_) {
        return Failed(E_UNEXPECTED, u"No type library is open for the class.");
    }
    implementedCount_ = 0;
    HRESULT hr = library_->CreateTypeInfo(Text(name), TKIND_COCLASS, coclass_.Put());
    if (FAILED(hr)) {
        return Failed(hr, u"CreateTypeInfo failed for the class.");
    }
    const std::u16string docString = doc.empty() ? u"Class " + name : std::u16string(doc);
    hr = coclass_->SetGuid(clsid);
    if (SUCCEEDED(hr)) {
        hr = coclass_->SetTypeFlags(typeFlags);
    }
    if (SUCCEEDED(hr)) {
        hr = coclass_->SetDocString(Text(docString));
    }
    return FAILED(hr) ? Failed(hr, u"Couldn't describe the class.") : S_OK;
}

HRESULT CTypeLibBuilder::AddInterfaceToCoclass(ITypeInfo* typeInfo) {
    if (!coclass_) {
        return Failed(E_UNEXPECTED, u"No class is open for the interface.");
    }
    HREFTYPE ref = 0;
    HRESULT hr = coclass_->AddRefTypeInfo(typeInfo, &ref);
    if (SUCCEEDED(hr)) {
        hr = coclass_->AddImplType(implementedCount_, ref);
    }
    if (FAILED(hr)) {
        return Failed(hr, u"Couldn't add the interface to the class.");
    }
    ++implementedCount_;
    return S_OK;
}

HRESULT CTypeLibBuilder::EndCoclass() {
    if (!coclass_) {
        return S_OK;
    }
    HRESULT hr = coclass_->LayOut();
    if (SUCCEEDED(hr)) {
        hr = coclass_->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT);
    }
    coclass_ = nullptr;
    return FAILED(hr) ? Failed(hr, u"Couldn't finish the class.") : S_OK;
}

HRESULT CTypeLibBuilder::CloseLibrary() {
    if (!library_) {
        return S_OK;
    }
    HRESULT hr = EndInterface();
    if (SUCCEEDED(hr)) {
        hr = EndCoclass();
    }
    if (SUCCEEDED(hr)) {
        hr = library_->SaveAllChanges();
        if (FAILED(hr)) {
            hr = Failed(hr, u"Couldn't write the type library.");
        }
    }
    library_ = nullptr;
    return hr;
}

HRESULT CTypeLibBuilder::BuildDeviceTypeLib(const SocketInfo& info) {
    const std::u16string path(info.typeLibraryPath.view());
    if (HRESULT hr = MakeFolderOf(path); FAILED(hr)) {
        return Failed(hr, u"Couldn't make the type library's folder.");
    }
    const DeviceTypeLibIds ids = DeriveDeviceTypeLibIds(info.name.view(), info.interfaceName.view());
    HRESULT hr = CreateLibrary(path, ids.libid, ids.libraryName, ids.libraryDoc, 1, 0);
    vr::ComPtr<ITypeInfo> interfaceInfo;
    if (SUCCEEDED(hr)) {
        hr = CreateInterface(ids.iid, ids.interfaceName, TKIND_DISPATCH, 0, &interfaceInfo, nullptr, {});
    }
    for (size_t k = 0; SUCCEEDED(hr) && k < info.methods.size(); ++k) {
        const SocketMethodInfo& member = info.methods[k];
        hr = AddFunction(std::u16string(member.name.view()), member.invokeKind, member.dispId,
                         member.returnType, member.flags, member.parameters, member.helpString.view());
    }
    if (SUCCEEDED(hr)) {
        hr = EndInterface();
    }
    if (SUCCEEDED(hr)) {
        hr = CreateCoclass(ids.clsid, ids.libraryName, TYPEFLAG_FCANCREATE, {});
    }
    if (SUCCEEDED(hr)) {
        hr = AddInterfaceToCoclass(interfaceInfo.Get());
    }
    if (SUCCEEDED(hr)) {
        hr = EndCoclass();
    }
    if (SUCCEEDED(hr)) {
        return CloseLibrary();
    }
    // Nothing of a failed build is written: the open parts are dropped unsaved.
    interface_ = nullptr;
    coclass_ = nullptr;
    library_ = nullptr;
    return hr;
}

} // namespace ostrel
