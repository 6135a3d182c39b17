// CTelnetClient (coclass TelnetClient): the telnet I/O-protocol converter between a connection and its VISA
// session.
#pragma once

#include "TelnetClientForward.h"
#include "TelnetEngine.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "wirelo.h"

namespace wirelo {

// Threads: registered for both models and takes no locks; one connection uses it, one call at a time.
// The session members it does not answer itself go to the inner session (CTelnetClientForward); called
// before VisaIMessage is set, they fail with E_UNEXPECTED.
class CTelnetClient : public vr::ObjectRoot,
                      public vr::CoClass<CTelnetClient>,
                      public vr::DispatchImpl<CTelnetClient, ITelnetClient>,
                      public CTelnetClientForward,
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

    // IBaseMessage: the termination settings stay here; the rest is forwarded (CTelnetClientForward).
    HRESULT get_TerminationCharacter(BYTE* character) override;
    HRESULT put_TerminationCharacter(BYTE character) override;
    HRESULT get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) override;
    HRESULT put_TerminationCharacterEnabled(VARIANT_BOOL enabled) override;
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
    IMessage* Inner() override;

    vr::ComPtr<IMessage> inner_;
    vr::ComPtr<IVrAttributeCollection> collection_;
    BYTE termChar_ = '\n';
    bool termEnabled_ = false;
    CTelnetEngine engine_;
};

} // namespace wirelo
