// CTelnetClientForward: the session members that CTelnetClient hands to its inner VISA session unchanged.
#pragma once

#include "common/trace/Trace.h"
#include "platform/visa/visa_com.h"

namespace wirelo {

// The IVisaSession members and the IBaseMessage members other than the termination settings, each traced
// under CTelnetClient's name and passed on to Inner(). A member that hands out a value fails with E_POINTER
// for a null pointer before it looks for the inner session; every member fails with E_UNEXPECTED while there
// is none. Threads: as CTelnetClient (one call at a time, no locks).
class CTelnetClientForward : public IMessage {
public:
    // IVisaSession
    HRESULT get_ResourceName(BSTR* name) override {
        return ForwardOut(u"CTelnetClient::get_ResourceName()", &IMessage::get_ResourceName, name);
    }
    HRESULT get_HardwareInterfaceType(SHORT* type) override {
        return ForwardOut(u"CTelnetClient::get_HardwareInterfaceType()", &IMessage::get_HardwareInterfaceType,
                          type);
    }
    HRESULT get_HardwareInterfaceNumber(SHORT* board) override {
        return ForwardOut(u"CTelnetClient::get_HardwareInterfaceNumber()",
                          &IMessage::get_HardwareInterfaceNumber, board);
    }
    HRESULT get_Timeout(LONG* milliseconds) override {
        return ForwardOut(u"CTelnetClient::get_Timeout()", &IMessage::get_Timeout, milliseconds);
    }
    HRESULT put_Timeout(LONG milliseconds) override {
        return Forward(u"CTelnetClient::put_Timeout()", &IMessage::put_Timeout, milliseconds);
    }
    HRESULT get_LastStatus(HRESULT* status) override {
        return ForwardOut(u"CTelnetClient::get_LastStatus()", &IMessage::get_LastStatus, status);
    }
    HRESULT GetAttribute(LONG attribute, VARIANT* value) override {
        return Forward(u"CTelnetClient::GetAttribute()", &IMessage::GetAttribute, attribute, value);
    }
    HRESULT SetAttribute(LONG attribute, VARIANT value) override {
        return Forward(u"CTelnetClient::SetAttribute()", &IMessage::SetAttribute, attribute, value);
    }
    HRESULT LockRsrc(LONG type, LONG timeout, BSTR requestedKey, BSTR* accessKey) override {
        return Forward(u"CTelnetClient::LockRsrc()", &IMessage::LockRsrc, type, timeout, requestedKey,
                       accessKey);
    }
    HRESULT UnlockRsrc() override { return Forward(u"CTelnetClient::UnlockRsrc()", &IMessage::UnlockRsrc); }
    HRESULT Close() override { return Forward(u"CTelnetClient::Close()", &IMessage::Close); }
    HRESULT get_ComponentVersion(LONG* version) override {
        return ForwardOut(u"CTelnetClient::get_ComponentVersion()", &IMessage::get_ComponentVersion, version);
    }
    HRESULT get_SpecVersion(LONG* version) override {
        return ForwardOut(u"CTelnetClient::get_SpecVersion()", &IMessage::get_SpecVersion, version);
    }
    HRESULT get_HardwareInterfaceName(BSTR* name) override {
        return ForwardOut(u"CTelnetClient::get_HardwareInterfaceName()", &IMessage::get_HardwareInterfaceName,
                          name);
    }
    HRESULT get_LockState(LONG* state) override {
        return ForwardOut(u"CTelnetClient::get_LockState()", &IMessage::get_LockState, state);
    }
    HRESULT get_OptionString(BSTR* options) override {
        return ForwardOut(u"CTelnetClient::get_OptionString()", &IMessage::get_OptionString, options);
    }
    HRESULT get_ProgID(BSTR* progId) override {
        return ForwardOut(u"CTelnetClient::get_ProgID()", &IMessage::get_ProgID, progId);
    }
    HRESULT get_SessionType(BSTR* type) override {
        return ForwardOut(u"CTelnetClient::get_SessionType()", &IMessage::get_SessionType, type);
    }
    HRESULT get_SoftwareManufacturerID(SHORT* id) override {
        return ForwardOut(u"CTelnetClient::get_SoftwareManufacturerID()",
                          &IMessage::get_SoftwareManufacturerID, id);
    }
    HRESULT get_SoftwareManufacturerName(BSTR* name) override {
        return ForwardOut(u"CTelnetClient::get_SoftwareManufacturerName()",
                          &IMessage::get_SoftwareManufacturerName, name);
    }
    HRESULT Init() override { return Forward(u"CTelnetClient::Init()", &IMessage::Init); }
    // IBaseMessage but the termination settings
    HRESULT get_SendEndEnabled(VARIANT_BOOL* enabled) override {
        return ForwardOut(u"CTelnetClient::get_SendEndEnabled()", &IMessage::get_SendEndEnabled, enabled);
    }
    HRESULT put_SendEndEnabled(VARIANT_BOOL enabled) override {
        return Forward(u"CTelnetClient::put_SendEndEnabled()", &IMessage::put_SendEndEnabled, enabled);
    }
    HRESULT Clear() override { return Forward(u"CTelnetClient::Clear()", &IMessage::Clear); }
    HRESULT AssertTrigger(LONG protocol) override {
        return Forward(u"CTelnetClient::AssertTrigger()", &IMessage::AssertTrigger, protocol);
    }
    HRESULT ReadSTB(SHORT* statusByte) override {
        return ForwardOut(u"CTelnetClient::ReadSTB()", &IMessage::ReadSTB, statusByte);
    }
    HRESULT get_IOProtocol(SHORT* protocol) override {
        return ForwardOut(u"CTelnetClient::get_IOProtocol()", &IMessage::get_IOProtocol, protocol);
    }
    HRESULT put_IOProtocol(SHORT protocol) override {
        return Forward(u"CTelnetClient::put_IOProtocol()", &IMessage::put_IOProtocol, protocol);
    }

protected:
    ~CTelnetClientForward() = default;
    // The inner session, or null after reporting E_UNEXPECTED.
    virtual IMessage* Inner() = 0;

private:
    template <class Member, class... Args>
    HRESULT Forward(const OLECHAR* traceName, Member member, Args... args) {
        SetTraceMethodName(traceName);
        return CallInner(member, args...);
    }
    template <class Member, class Out>
    HRESULT ForwardOut(const OLECHAR* traceName, Member member, Out* out) {
        SetTraceMethodName(traceName);
        if (!out) {
            return E_POINTER;
        }
        return CallInner(member, out);
    }
    template <class Member, class... Args>
    HRESULT CallInner(Member member, Args... args) {
        IMessage* inner = Inner();
        return inner ? (inner->*member)(args...) : E_UNEXPECTED;
    }
};

} // namespace wirelo
