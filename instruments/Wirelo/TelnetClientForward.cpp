// CTelnetClient: the session members that go to the inner VISA session unchanged.
#include "TelnetClient.h"

#include "common/Trace.h"

namespace wirelo {

HRESULT CTelnetClient::get_ResourceName(BSTR* name) {
    SetTraceMethodName(u"CTelnetClient::get_ResourceName()");
    if (!name) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_ResourceName(name) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_HardwareInterfaceType(SHORT* type) {
    SetTraceMethodName(u"CTelnetClient::get_HardwareInterfaceType()");
    if (!type) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_HardwareInterfaceType(type) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_HardwareInterfaceNumber(SHORT* board) {
    SetTraceMethodName(u"CTelnetClient::get_HardwareInterfaceNumber()");
    if (!board) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_HardwareInterfaceNumber(board) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_Timeout(LONG* milliseconds) {
    SetTraceMethodName(u"CTelnetClient::get_Timeout()");
    if (!milliseconds) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_Timeout(milliseconds) : E_UNEXPECTED;
}

HRESULT CTelnetClient::put_Timeout(LONG milliseconds) {
    SetTraceMethodName(u"CTelnetClient::put_Timeout()");
    IMessage* inner = Inner();
    return inner ? inner->put_Timeout(milliseconds) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_LastStatus(HRESULT* status) {
    SetTraceMethodName(u"CTelnetClient::get_LastStatus()");
    if (!status) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_LastStatus(status) : E_UNEXPECTED;
}

HRESULT CTelnetClient::GetAttribute(LONG attribute, VARIANT* value) {
    SetTraceMethodName(u"CTelnetClient::GetAttribute()");
    IMessage* inner = Inner();
    return inner ? inner->GetAttribute(attribute, value) : E_UNEXPECTED;
}

HRESULT CTelnetClient::SetAttribute(LONG attribute, VARIANT value) {
    SetTraceMethodName(u"CTelnetClient::SetAttribute()");
    IMessage* inner = Inner();
    return inner ? inner->SetAttribute(attribute, value) : E_UNEXPECTED;
}

HRESULT CTelnetClient::LockRsrc(LONG type, LONG timeout, BSTR requestedKey, BSTR* accessKey) {
    SetTraceMethodName(u"CTelnetClient::LockRsrc()");
    IMessage* inner = Inner();
    return inner ? inner->LockRsrc(type, timeout, requestedKey, accessKey) : E_UNEXPECTED;
}

HRESULT CTelnetClient::UnlockRsrc() {
    SetTraceMethodName(u"CTelnetClient::UnlockRsrc()");
    IMessage* inner = Inner();
    return inner ? inner->UnlockRsrc() : E_UNEXPECTED;
}

HRESULT CTelnetClient::Close() {
    SetTraceMethodName(u"CTelnetClient::Close()");
    IMessage* inner = Inner();
    return inner ? inner->Close() : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_SendEndEnabled(VARIANT_BOOL* enabled) {
    SetTraceMethodName(u"CTelnetClient::get_SendEndEnabled()");
    if (!enabled) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_SendEndEnabled(enabled) : E_UNEXPECTED;
}

HRESULT CTelnetClient::put_SendEndEnabled(VARIANT_BOOL enabled) {
    SetTraceMethodName(u"CTelnetClient::put_SendEndEnabled()");
    IMessage* inner = Inner();
    return inner ? inner->put_SendEndEnabled(enabled) : E_UNEXPECTED;
}

HRESULT CTelnetClient::Clear() {
    SetTraceMethodName(u"CTelnetClient::Clear()");
    IMessage* inner = Inner();
    return inner ? inner->Clear() : E_UNEXPECTED;
}

HRESULT CTelnetClient::AssertTrigger(LONG protocol) {
    SetTraceMethodName(u"CTelnetClient::AssertTrigger()");
    IMessage* inner = Inner();
    return inner ? inner->AssertTrigger(protocol) : E_UNEXPECTED;
}

HRESULT CTelnetClient::ReadSTB(SHORT* statusByte) {
    SetTraceMethodName(u"CTelnetClient::ReadSTB()");
    if (!statusByte) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->ReadSTB(statusByte) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_ComponentVersion(LONG* version) {
    SetTraceMethodName(u"CTelnetClient::get_ComponentVersion()");
    if (!version) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_ComponentVersion(version) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_SpecVersion(LONG* version) {
    SetTraceMethodName(u"CTelnetClient::get_SpecVersion()");
    if (!version) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_SpecVersion(version) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_HardwareInterfaceName(BSTR* name) {
    SetTraceMethodName(u"CTelnetClient::get_HardwareInterfaceName()");
    if (!name) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_HardwareInterfaceName(name) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_LockState(LONG* state) {
    SetTraceMethodName(u"CTelnetClient::get_LockState()");
    if (!state) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_LockState(state) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_OptionString(BSTR* options) {
    SetTraceMethodName(u"CTelnetClient::get_OptionString()");
    if (!options) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_OptionString(options) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_ProgID(BSTR* progId) {
    SetTraceMethodName(u"CTelnetClient::get_ProgID()");
    if (!progId) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_ProgID(progId) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_SessionType(BSTR* type) {
    SetTraceMethodName(u"CTelnetClient::get_SessionType()");
    if (!type) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_SessionType(type) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_SoftwareManufacturerID(SHORT* id) {
    SetTraceMethodName(u"CTelnetClient::get_SoftwareManufacturerID()");
    if (!id) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_SoftwareManufacturerID(id) : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_SoftwareManufacturerName(BSTR* name) {
    SetTraceMethodName(u"CTelnetClient::get_SoftwareManufacturerName()");
    if (!name) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_SoftwareManufacturerName(name) : E_UNEXPECTED;
}

HRESULT CTelnetClient::Init() {
    SetTraceMethodName(u"CTelnetClient::Init()");
    IMessage* inner = Inner();
    return inner ? inner->Init() : E_UNEXPECTED;
}

HRESULT CTelnetClient::get_IOProtocol(SHORT* protocol) {
    SetTraceMethodName(u"CTelnetClient::get_IOProtocol()");
    if (!protocol) {
        return E_POINTER;
    }
    IMessage* inner = Inner();
    return inner ? inner->get_IOProtocol(protocol) : E_UNEXPECTED;
}

HRESULT CTelnetClient::put_IOProtocol(SHORT protocol) {
    SetTraceMethodName(u"CTelnetClient::put_IOProtocol()");
    IMessage* inner = Inner();
    return inner ? inner->put_IOProtocol(protocol) : E_UNEXPECTED;
}

} // namespace wirelo
