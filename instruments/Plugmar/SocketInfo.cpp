// CSocket::GetInfo: the description of the socket's members that the studio reads in process to build a
// device's type library.
#include "Socket.h"
#include "SocketErrors.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

constexpr int kInvokeMethod = 1;
constexpr int kInvokePropertyGet = 2;
constexpr int kInvokePropertyPut = 4;
constexpr uint16_t kParamIn = 1;

SocketParamInfo Param(const OLECHAR* name, VARTYPE type, _variant_t defaultValue = _variant_t()) {
    SocketParamInfo param;
    param.name = name;
    param.type = type;
    param.flags = kParamIn;
    param.defaultValue = defaultValue;
    return param;
}

SocketMethodInfo Member(const OLECHAR* name, int invokeKind, int dispId, VARTYPE returnType) {
    SocketMethodInfo member;
    member.name = name;
    member.invokeKind = invokeKind;
    member.dispId = dispId;
    member.returnType = returnType;
    return member;
}

VARTYPE ReturnTypeOf(const CCommand& command) {
    if (command.ResultParams().empty()) {
        return VT_VOID;
    }
    const CommandParam& result = command.ResultParams().front();
    return result.array ? VARTYPE{VT_VARIANT} : VarTypeOfSchemaType(result.type);
}

} // namespace

HRESULT CSocket::GetInfo(BSTR, intptr_t* plInfo) {
    BeginMethod(u"CSocket::GetInfo()");
    if (!plInfo) {
        return E_POINTER;
    }
    if (HRESULT hr = BuildInfo(); FAILED(hr)) {
        return EndMethod(hr);
    }
    *plInfo = reinterpret_cast<intptr_t>(&info_);
    return S_OK;
}

HRESULT CSocket::BuildInfo() {
    const std::u16string baseName = AdapterBaseName();
    info_.name = baseName.c_str();
    info_.interfaceName = baseName.c_str();
    info_.typeLibraryPath = AdapterTypeLibraryPath().c_str();
    info_.methods.clear();
    SocketMethodInfo query = Member(u"QueryString", kInvokeMethod, 4, VT_BSTR);
    query.parameters = {Param(u"sInData", VT_BSTR), Param(u"sTerm", VT_VARIANT, _variant_t(LONG{1})),
                        Param(u"nTimeout", VT_VARIANT, _variant_t(LONG{1})),
                        Param(u"nCount", VT_VARIANT, _variant_t(LONG{1}))};
    info_.methods.push_back(std::move(query));
    info_.methods.push_back(Member(u"connection", kInvokePropertyGet, 5, VT_DISPATCH));
    info_.methods.push_back(Member(u"attributes", kInvokePropertyGet, 6, VT_DISPATCH));
    for (const auto& [key, property] : properties_.Entries()) {
        if (vr::EqualsNoCase(property.name, u"_Open") || vr::EqualsNoCase(property.name, u"_Close")) {
            continue;
        }
        if (property.ptPropertyTypeFlags & kPropertyAttribute) {
            if (HRESULT hr = AddAttributeInfo(property); FAILED(hr)) {
                return hr;
            }
            continue;
        }
        AddCommandInfo(property, property.getCommand, kInvokePropertyGet);
        AddCommandInfo(property, property.putCommand, kInvokePropertyPut);
        AddCommandInfo(property, property.methodCommand, kInvokeMethod);
    }
    return S_OK;
}

HRESULT CSocket::AddAttributeInfo(const DispProperty& property) {
    BSTR name = vr::AllocBstr(u"Device:" + property.name);
    _variant_t typed;
    HRESULT hr = deviceCollection_ ? deviceCollection_->GetAttributeType(name, &typed) : E_FAIL;
    SysFreeString(name);
    if (FAILED(hr)) {
        return RecordInternalFailure(hr);
    }
    const VARTYPE type = typed.vt;
    info_.methods.push_back(Member(property.name.c_str(), kInvokePropertyGet, property.dispId, type));
    SocketMethodInfo put = Member(property.name.c_str(), kInvokePropertyPut, property.dispId, VT_VOID);
    put.parameters.push_back(Param(u"NotUsedParamName", type));
    info_.methods.push_back(std::move(put));
    return S_OK;
}

void CSocket::AddCommandInfo(const DispProperty& property, const std::u16string& commandName,
                             int invokeKind) {
    const CCommand* command = commandName.empty() ? nullptr : FindCommand(commandName);
    if (!command) {
        return;
    }
    SocketMethodInfo member =
        Member(property.name.c_str(), invokeKind, property.dispId, ReturnTypeOf(*command));
    for (const CommandParam& param : command->EntryParams()) {
        const bool hasDefault = param.value.vt != VT_EMPTY;
        const VARTYPE type =
            hasDefault || param.array ? VARTYPE{VT_VARIANT} : VarTypeOfSchemaType(param.type);
        const size_t colon = param.writtenName.find(u':');
        const std::u16string name =
            colon == std::u16string::npos ? param.writtenName : param.writtenName.substr(colon + 1);
        member.parameters.push_back(Param(name.c_str(), type, param.value));
    }
    info_.methods.push_back(std::move(member));
}

} // namespace plugmar
