// CSocket as the filter of its device attribute collection: attributes backed by set_/get_ commands run them,
// and every device attribute becomes a property (selectors marked).
#include "Socket.h"
#include "SocketErrors.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

// The name after "Device:" for a device attribute's qualified name; empty for any other scope.
std::u16string DeviceAttributeName(BSTR qualifiedName) {
    std::u16string_view name = vr::BstrView(qualifiedName);
    size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos || !vr::EqualsNoCase(name.substr(0, colon), u"Device")) {
        return {};
    }
    return std::u16string(name.substr(colon + 1));
}

} // namespace

HRESULT CSocket::SetAttributeValue(BSTR bstrAttrQName, VARIANT varValue, IDispatch*) {
    const std::u16string name = DeviceAttributeName(bstrAttrQName);
    const DispProperty* property = name.empty() ? nullptr : properties_.Find(name);
    // Without a connection (a socket loaded for its description) there is no device to send the value to.
    if (!property || property->putCommand.empty() || !connection_) {
        return S_OK;
    }
    CCommand* command = FindCommand(property->putCommand);
    if (!command) {
        return RecordInternalFailure(E_FAIL);
    }
    if (command->EntryParams().size() != 1) {
        return RecordFailure(DISP_E_BADPARAMCOUNT,
                             u"'%s' Command: There must be one entry parameter for an Atribute.",
                             command->Name().c_str());
    }
    if (!command->ResultParams().empty()) {
        return RecordFailure(DISP_E_BADPARAMCOUNT,
                             u"'%s' Command: There must be no 'result' parameters for an Atribute.",
                             command->Name().c_str());
    }
    ParamList params = command->EntryParams();
    params.front().value = varValue;
    _variant_t ignored;
    return command->Execute(params, &ignored);
}

HRESULT CSocket::GetAttributeValue(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch*,
                                   VARIANT_BOOL vboolInitialValue) {
    if (!pVarValue) {
        return E_POINTER;
    }
    const std::u16string name = DeviceAttributeName(bstrAttrQName);
    const DispProperty* property = name.empty() ? nullptr : properties_.Find(name);
    if (vboolInitialValue || !property || property->getCommand.empty() || !connection_) {
        return S_FALSE;
    }
    CCommand* command = FindCommand(property->getCommand);
    if (!command) {
        return RecordInternalFailure(E_FAIL);
    }
    if (!command->EntryParams().empty()) {
        return RecordFailure(DISP_E_BADPARAMCOUNT,
                             u"'%s' Command: There must be no entry parameters for an Atribute.",
                             command->Name().c_str());
    }
    if (command->ResultParams().size() != 1) {
        return RecordFailure(DISP_E_BADPARAMCOUNT,
                             u"'%s' Command: There must be one 'result' parameter for an Atribute.",
                             command->Name().c_str());
    }
    ParamList params;
    return command->Execute(params, pVarValue);
}

HRESULT CSocket::AdjustSetAttribute(BSTR, VARIANT* pVarValue, IDispatch*) {
    return pVarValue ? S_OK : E_POINTER;
}

HRESULT CSocket::AttributeIsCreated(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch*) {
    if (!pVarValue) {
        return E_POINTER;
    }
    const std::u16string name = DeviceAttributeName(bstrAttrQName);
    if (name.empty()) {
        return S_OK;
    }
    int flags = kPropertyAttribute;
    BSTR className = nullptr;
    if (deviceCollection_ && SUCCEEDED(deviceCollection_->GetAttributeClass(bstrAttrQName, &className))) {
        std::u16string_view kind = vr::BstrView(className);
        if (vr::EqualsNoCase(kind, u"InnerSelector") || vr::EqualsNoCase(kind, u"OuterSelector")) {
            flags |= kPropertySelector;
            if (vr::EqualsNoCase(name, defaultSelectorName_)) {
                flags |= kPropertyDefaultSelector;
            }
        }
    }
    SysFreeString(className);
    std::u16string problem;
    if (FAILED(properties_.AddProperty(name, CommandKind::None, u"", flags, &problem))) {
        return RecordFailure(E_FAIL, u"%s", problem.c_str());
    }
    return S_OK;
}

} // namespace plugmar
