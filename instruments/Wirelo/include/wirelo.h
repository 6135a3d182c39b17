// The telnet converter server's public contract (type library WIRELOLib 1.0): the I/O-protocol converter
// interface a connection drives, and the TelnetClient class.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/dispatch.h"
#include "platform/visa/visa_com.h"

// Sits between a connection and its VISA session (dual; DISPIDs in brackets). The object also implements
// IMessage (with IBaseMessage and IVisaSession): once VisaIMessage is set, the connection does all its message
// I/O through the converter's IMessage.
struct IIOProtocolConverter : IDispatch {
    // [1] The wrapped session's IMessage.
    [[nodiscard]] virtual HRESULT get_VisaIMessage(IMessage** ppMessage) = 0;
    [[nodiscard]] virtual HRESULT put_VisaIMessage(IMessage* pMessage) = 0;
    // [2] The converter's attribute collection (scope "IOProtocol").
    [[nodiscard]] virtual HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) = 0;

protected:
    ~IIOProtocolConverter() = default;
};
VR_DECLARE_INTERFACE_ID(IIOProtocolConverter, "AD478D3B-2FB2-4E43-BBEA-201FEC51E708")

// The default interface of TelnetClient; no members of its own.
struct ITelnetClient : IIOProtocolConverter {
protected:
    ~ITelnetClient() = default;
};
VR_DECLARE_INTERFACE_ID(ITelnetClient, "AA26D704-AC38-4956-81B4-EF1E61B2D0A7")

inline constexpr CLSID CLSID_TelnetClient = vr::MakeGuid("689D7BCC-4985-4128-B938-269863F0DD38");
inline constexpr GUID LIBID_WIRELOLib = vr::MakeGuid("0410EEAB-76D6-40A1-BD6E-3743D462F673");

inline constexpr const char16_t* kTelnetClientProgId = u"Vornic.IOProtocolTelnet.1";
inline constexpr const char16_t* kTelnetClientIndependentProgId = u"Vornic.IOProtocolTelnet";
// A connection's IOProtocol value V selects the class registered as V, else as this prefix followed by V.
inline constexpr const char16_t* kIOProtocolProgIdPrefix = u"Vornic.IOProtocol";
