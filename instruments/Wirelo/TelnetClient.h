// CTelnetClient (coclass TelnetClient): the telnet I/O-protocol converter between a connection and its VISA
// session.
#pragma once

#include "TelnetEngine.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "wirelo.h"

namespace wirelo {

// Threads: registered for both models and takes no locks; one connection uses it, one call at a time.
// Forwarded members called before VisaIMessage is set fail with E_UNEXPECTED.
class CTelnetClient : public vr::ObjectRoot,
                      public vr::CoClass<CTelnetClient>,
                      public vr::DispatchImpl<CTelnetClient, ITelnetClient>,
                      public IMessage,
                      public vr::SupportErrorInfoImpl<ITelnetClient> {
public:
    using Interfaces = vr::InterfaceList<ITelnetClient, IIOProtocolConverter, IDispatch, IMessage,
                                         IBaseMessage, IVisaSession, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CTelnetClient>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();
    // The connection adds the converter's settings to its own: the collection answers for the object.
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv);

    // IIOProtocolConverter
    HRESULT get_VisaIMessage(IMessage** ppMessage) override;
    HRESULT put_VisaIMessage(IMessage* pMessage) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) override;

    // IVisaSession: forwarded to the inner session.
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
    // IBaseMessage: the termination settings stay here; the rest is forwarded.
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
    // IMessage: text goes through the telnet engine; byte I/O is refused.
    HRESULT Read(LONG count, SAFEARRAY** bytes) override;
    HRESULT ReadString(LONG count, BSTR* text) override;
    HRESULT Write(SAFEARRAY* bytes, LONG count, LONG* written) override;
    HRESULT WriteString(BSTR text, LONG* written) override;

private:
    // Traces message with hr and returns hr with rich error information of TelnetClient.
    HRESULT Fail(HRESULT hr, const OLECHAR* message);
    HRESULT FailInternal(HRESULT hr, int line);
    // The inner session, or null after reporting E_UNEXPECTED.
    IMessage* Inner();

    vr::ComPtr<IMessage> inner_;
    vr::ComPtr<IVrAttributeCollection> collection_;
    BYTE termChar_ = '\n';
    bool termEnabled_ = false;
    CTelnetEngine engine_;
};

} // namespace wirelo
