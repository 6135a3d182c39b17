// The COM object of one message-based session (IMessage, and ISerial for serial ports).
#pragma once

#include "platform/com/object.h"
#include "platform/visa/message_session.h"
#include "platform/visa/visa_com.h"

#include <memory>
#include <string>
#include <string_view>

class CVisaSession : public vr::ObjectRoot, public ISerial {
public:
    using Interfaces = vr::InterfaceList<IMessage, IBaseMessage, IVisaSession>;
    static constexpr bool kAggregatable = false;

    // Hands the opened session, and the options it was opened with, to a new object.
    [[nodiscard]] static HRESULT Create(std::unique_ptr<vr::visa::MessageSession> session,
                                        std::u16string_view options, IVisaSession** out);
    // ISerial only for serial ports, so that callers can ask whether a session is one.
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv);

    // IVisaSession
    HRESULT get_ResourceName(BSTR* name) override;
    HRESULT get_HardwareInterfaceType(SHORT* type) override;
    HRESULT get_HardwareInterfaceNumber(SHORT* board) override;
    HRESULT get_Timeout(LONG* milliseconds) override;
    HRESULT put_Timeout(LONG milliseconds) override;
    HRESULT get_LastStatus(HRESULT* status) override;
    HRESULT GetAttribute(LONG attribute, VARIANT* value) override;
    HRESULT SetAttribute(LONG attribute, VARIANT value) override;
    HRESULT LockRsrc(LONG type, LONG timeout, BSTR requestedKey, BSTR* accessKey) override;
    HRESULT UnlockRsrc() override;
    HRESULT Close() override;
    HRESULT get_ComponentVersion(LONG* version) override;
    HRESULT get_SpecVersion(LONG* version) override;
    HRESULT get_HardwareInterfaceName(BSTR* name) override;
    HRESULT get_LockState(LONG* state) override;
    HRESULT get_OptionString(BSTR* options) override;
    HRESULT get_ProgID(BSTR* progId) override;
    HRESULT get_SessionType(BSTR* type) override;
    HRESULT get_SoftwareManufacturerID(SHORT* id) override;
    HRESULT get_SoftwareManufacturerName(BSTR* name) override;
    HRESULT Init() override;
    // IBaseMessage
    HRESULT get_TerminationCharacter(BYTE* character) override;
    HRESULT put_TerminationCharacter(BYTE character) override;
    HRESULT get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) override;
    HRESULT put_TerminationCharacterEnabled(VARIANT_BOOL enabled) override;
    HRESULT get_SendEndEnabled(VARIANT_BOOL* enabled) override;
    HRESULT put_SendEndEnabled(VARIANT_BOOL enabled) override;
    HRESULT Clear() override;
    HRESULT AssertTrigger(LONG protocol) override;
    HRESULT ReadSTB(SHORT* statusByte) override;
    HRESULT get_IOProtocol(SHORT* protocol) override;
    HRESULT put_IOProtocol(SHORT protocol) override;
    // IMessage
    HRESULT Read(LONG count, SAFEARRAY** bytes) override;
    HRESULT ReadString(LONG count, BSTR* text) override;
    HRESULT Write(SAFEARRAY* bytes, LONG count, LONG* written) override;
    HRESULT WriteString(BSTR text, LONG* written) override;
    // ISerial
    HRESULT get_BaudRate(LONG* rate) override;
    HRESULT put_BaudRate(LONG rate) override;
    HRESULT get_DataBits(SHORT* bits) override;
    HRESULT put_DataBits(SHORT bits) override;
    HRESULT get_Parity(SHORT* parity) override;
    HRESULT put_Parity(SHORT parity) override;
    HRESULT get_StopBits(SHORT* stopBits) override;
    HRESULT put_StopBits(SHORT stopBits) override;
    HRESULT get_FlowControl(SHORT* flow) override;
    HRESULT put_FlowControl(SHORT flow) override;
    HRESULT get_EndIn(SHORT* mode) override;
    HRESULT put_EndIn(SHORT mode) override;
    HRESULT get_EndOut(SHORT* mode) override;
    HRESULT put_EndOut(SHORT mode) override;

private:
    // The session's result: remembered as the last status, reported as error information on failure.
    HRESULT Done(HRESULT hr, const vr::visa::Failure& failure);
    HRESULT SetValue(uint32_t attribute, int32_t value);
    template <class T>
    HRESULT GetValue(uint32_t attribute, T* value);
    // The bytes stay in the session's buffer until its next call (MessageSession::ReadInPlace).
    HRESULT ReadBytes(LONG count, std::string_view* bytes);

    // Threads: the members are used by the one caller of the session at a time (no locks).
    std::unique_ptr<vr::visa::MessageSession> session_;
    std::u16string options_; // as given to Open
    HRESULT lastStatus_ = S_OK;
};
