// CSocket: the kinds of call on a property (get, put, method) and the mapping of a script's arguments onto
// a command's entry parameters.
#include "Socket.h"
#include "SocketErrors.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

enum class CallKind { Get, Put, Method };

// A get wins over a put, a put over a method call: a caller that sets METHOD and PROPERTYGET together is
// served as a get.
CallKind KindOf(WORD flags) {
    if (flags & DISPATCH_PROPERTYGET) {
        return CallKind::Get;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        return CallKind::Put;
    }
    return CallKind::Method;
}

bool IsSinglePutValue(const DISPPARAMS* params) {
    return params && params->cArgs == 1 && params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
           params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

} // namespace

HRESULT CSocket::InvokeProperty(const DispProperty& property, WORD flags, DISPPARAMS* params, VARIANT* result,
                                UINT* argError) {
    if (KindOf(flags) == CallKind::Get && !result) {
        return RecordFailure(
            E_INVALIDARG,
            u"'%s' property's DISPATCH_PROPERTYGET can't return value since 'Invoke()::pvarResult == NULL'.",
            property.name.c_str());
    }
    if (property.ptPropertyTypeFlags & kPropertyAttribute) {
        return InvokeAttribute(property, flags, params, result);
    }
    return InvokeCommand(property, flags, params, result, argError);
}

HRESULT CSocket::InvokeAttribute(const DispProperty& property, WORD flags, DISPPARAMS* params,
                                 VARIANT* result) {
    if (!deviceCollection_) {
        return RecordInternalFailure(E_FAIL);
    }
    BSTR name = vr::AllocBstr(u"Device:" + property.name);
    HRESULT hr = S_OK;
    switch (KindOf(flags)) {
    case CallKind::Get: {
        _variant_t value;
        hr = deviceCollection_->GetAttribute(name, &value);
        if (SUCCEEDED(hr) && FAILED(VariantCopy(result, &value))) {
            hr = RecordInternalFailure(E_FAIL);
        }
        break;
    }
    case CallKind::Put:
        hr = IsSinglePutValue(params)
                 ? deviceCollection_->SetAttribute(name, params->rgvarg[0])
                 : RecordFailure(E_INVALIDARG,
                                 u"'%s' property: DISPATCH_PROPERTYGET wrong entry parameters of Invoke().",
                                 property.name.c_str());
        break;
    case CallKind::Method:
        hr = RecordFailure(DISP_E_MEMBERNOTFOUND, u"'%s' property: CALL(METHOD) operation is not defined.",
                           property.name.c_str());
        break;
    }
    SysFreeString(name);
    return hr;
}

HRESULT CSocket::InvokeCommand(const DispProperty& property, WORD flags, DISPPARAMS* params, VARIANT* result,
                               UINT* argError) {
    CallKind kind = KindOf(flags);
    // A caller asking for a get and a method call at once, on a member that only has a method command, means
    // the method call (a script's `x = dev.Measure` reads it so).
    if (kind == CallKind::Get && property.getCommand.empty() && (flags & DISPATCH_METHOD) &&
        !property.methodCommand.empty()) {
        kind = CallKind::Method;
    }
    const std::u16string* commandName = nullptr;
    DISPID namedDispId = 0;
    switch (kind) {
    case CallKind::Get:
        if (property.getCommand.empty()) {
            return RecordFailure(DISP_E_MEMBERNOTFOUND, u"'%s' property: GET operation is not defined.",
                                 property.name.c_str());
        }
        commandName = &property.getCommand;
        break;
    case CallKind::Put:
        if (property.putCommand.empty()) {
            return RecordFailure(DISP_E_MEMBERNOTFOUND, u"'%s' property: SET operation is not defined.",
                                 property.name.c_str());
        }
        commandName = &property.putCommand;
        namedDispId = DISPID_PROPERTYPUT;
        break;
    case CallKind::Method:
        if (property.methodCommand.empty()) {
            return RecordFailure(DISP_E_MEMBERNOTFOUND,
                                 u"'%s' property: CALL(METHOD) operation is not defined.",
                                 property.name.c_str());
        }
        commandName = &property.methodCommand;
        break;
    }
    CCommand* command = FindCommand(*commandName);
    if (!command) {
        return RecordInternalFailure(E_FAIL);
    }
    _variant_t value;
    if (HRESULT hr = ExecuteCommand(*command, flags, params, argError, namedDispId, &value); FAILED(hr)) {
        return hr;
    }
    if (kind != CallKind::Put && result && FAILED(VariantCopy(result, &value))) {
        return RecordInternalFailure(E_FAIL);
    }
    return S_OK;
}

HRESULT CSocket::ExecuteCommand(CCommand& command, WORD flags, DISPPARAMS* params, UINT* argError,
                                DISPID namedDispId, VARIANT* result) {
    (void)VariantClear(result);
    ParamList values = command.EntryParams();
    const size_t count = values.size();
    const bool isPut = namedDispId == DISPID_PROPERTYPUT;
    bool putValueTaken = false;
    for (size_t i = 0;; ++i) {
        _variant_t value;
        HRESULT hr = GetDispParam(flags, params, static_cast<UINT>(i), 0, &value, argError);
        if (SUCCEEDED(hr)) {
            if (i >= count) {
                return RecordFailure(DISP_E_BADPARAMCOUNT, u"'%s' command: Too many entry parameters.",
                                     command.Name().c_str());
            }
            values[i].value = value;
        } else if (hr != DISP_E_PARAMNOTFOUND) {
            return hr;
        } else if (isPut) {
            if (i + 1 == count) {
                if (HRESULT put = GetDispParam(flags, params, 0, DISPID_PROPERTYPUT, &value, argError);
                    FAILED(put)) {
                    return put == DISP_E_PARAMNOTFOUND
                               ? RecordFailure(DISP_E_BADPARAMCOUNT,
                                               u"'%s' command: The value to set is missing.",
                                               command.Name().c_str())
                               : put;
                }
                values[i].value = value;
                putValueTaken = true;
            } else if (i >= count) {
                if (!putValueTaken) {
                    return RecordFailure(DISP_E_BADPARAMCOUNT,
                                         u"'%s' command: The value to set has no parameter.",
                                         command.Name().c_str());
                }
                break;
            } else if (values[i].value.vt == VT_EMPTY) {
                return RecordFailure(DISP_E_PARAMNOTOPTIONAL,
                                     u"'%s' command: Entry parameter '%s' isn't optional.",
                                     command.Name().c_str(), values[i].writtenName.c_str());
            }
        } else if (i >= count) {
            break;
        } else if (values[i].value.vt == VT_EMPTY) {
            return RecordFailure(DISP_E_PARAMNOTOPTIONAL,
                                 u"'%s' command: Entry parameter '%s' isn't optional.",
                                 command.Name().c_str(), values[i].writtenName.c_str());
        }
    }
    TraceInfoOf([&command, &values] {
        std::u16string traced;
        for (const CommandParam& value : values) {
            traced += value.scope + u":" + value.element + u" = '" + VariantToText(&value.value) + u"'; ";
        }
        return vr::FormatWString(u"'%s' command: EntryParamValues: %s", command.Name().c_str(),
                                 traced.c_str());
    });
    return command.Execute(values, result);
}

} // namespace plugmar
