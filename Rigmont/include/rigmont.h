// The hardware manager's public contract (type library RIGMONTLib 1.0): the interface through which every
// program and script asks for connections and sockets, and the VrRigmont class of the `rigmont` local server.
#pragma once

#include "instruments/Instrel/include/instrel.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/dispatch.h"

// The configuration store of connection and socket records, and the objects built from them (dual; DISPIDs
// 1 to 7 in this order). One object per server process, shared by every client.
struct IVrRigmont : IDispatch {
    // [1] A ready connection built from the connection record bsResource; vbsSetupString is optional.
    [[nodiscard]] virtual HRESULT CreateConnection(BSTR bsResource, VARIANT vbsSetupString,
                                                   IVrConnection** ppConnection) = 0;
    // [2] A ready socket built from the socket record bsResource, with its connection.
    [[nodiscard]] virtual HRESULT CreateSocket(BSTR bsResource, VARIANT vbsSetupString, IVrSocket** ppSocket) = 0;
    // [3] A record merged with its type's "_default" record; the setup strings joined by commas.
    [[nodiscard]] virtual HRESULT LoadRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsSupplementarySetupString,
                                             BSTR* pbsServer, BSTR* pbsResource, BSTR* pbsSetupString) = 0;
    // [4] Replaces or appends a record; all three values null removes it.
    [[nodiscard]] virtual HRESULT SaveRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsServer, BSTR bsResource,
                                             BSTR bsSetupString) = 0;
    // [5]
    [[nodiscard]] virtual HRESULT RemoveRecord(BSTR bsRecordType, BSTR bsRecordName) = 0;
    // [6] The record names of a type, "_default" left out: a VARIANT holding a 1-D SAFEARRAY of VT_VARIANT.
    [[nodiscard]] virtual HRESULT GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) = 0;
    // [7] The resources the connection provider bsServer ("" = "Vornic.CnVISA") sees; bsResourceType must be
    // "connection".
    [[nodiscard]] virtual HRESULT FindResources(BSTR bsServer, BSTR bsResourceType, VARIANT* pvResources) = 0;

protected:
    ~IVrRigmont() = default;
};
VR_DECLARE_INTERFACE_ID(IVrRigmont, "2F5186E3-77D2-4C2D-8E50-3E8ADD1A7C1B")

inline constexpr CLSID CLSID_VrRigmont = vr::MakeGuid("CF356948-6220-4059-B9B2-2E2EBAA666AC");
inline constexpr GUID LIBID_RIGMONTLib = vr::MakeGuid("B091D96C-6D64-400E-BA38-38E98263FAE2");
inline constexpr GUID APPID_Rigmont = vr::MakeGuid("325E2E14-DA2B-473F-ACE5-A495F2468188");

inline constexpr const char16_t* kRigmontProgId = u"Vornic.Rigmont.1";
inline constexpr const char16_t* kRigmontIndependentProgId = u"Vornic.Rigmont";
