// The VISA connection server's public contract (type library INSTRELLib 1.0): the connection interface shared
// by the socket, the hardware manager and the studio, its enums, and the CnVISA class.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/dispatch.h"

// Lock modes of a session (32-bit).
enum VrAccessMode : int32_t {
    _NO_LOCK = 0,
    _EXCLUSIVE_LOCK = 1,
    _SHARED_LOCK = 2,
    _LOAD_CONFIG = 4,
};

// Why the last read ended (32-bit).
enum VrReadStatus : int32_t {
    UnknownReason = 0,
    EndIndicator = 1,
    MaxCount = 2,
    TerminationString = 3,
    ReadTimeout = 4,
};

// The system's channel to one instrument (dual; DISPIDs from 0x60020000 upward, in this order). Optional
// arguments show their defaults; a script may leave them out.
struct IVrConnection : IDispatch {
    // [0x60020000] The resource names the layer sees that match bstrExpression ("" = every resource), as a
    // VARIANT holding a 1-D SAFEARRAY of VT_VARIANT (VT_BSTR elements).
    [[nodiscard]] virtual HRESULT FindResources(BSTR bstrExpression, VARIANT* pvResources) = 0;
    // [0x60020001] Opens a session to bsResource; bsOptionString = "", lInitTimeout = 5000, mode = _NO_LOCK.
    [[nodiscard]] virtual HRESULT Init(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout,
                                       VrAccessMode mode) = 0;
    // [0x60020002]
    [[nodiscard]] virtual HRESULT Close() = 0;
    // [0x60020003] mode = _EXCLUSIVE_LOCK, lLockTimeout = 5000, bsRequestedKey = "".
    [[nodiscard]] virtual HRESULT LockRsrc(VrAccessMode mode, int32_t lLockTimeout, BSTR bsRequestedKey,
                                           BSTR* pbsAccessKey) = 0;
    // [0x60020004]
    [[nodiscard]] virtual HRESULT UnlockRsrc() = 0;
    // [0x60020005]
    [[nodiscard]] virtual HRESULT Clear() = 0;
    // [0x60020006] bsTerm = "", lTimeout = -1 (the session's), lCount = -1 (no count).
    [[nodiscard]] virtual HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) = 0;
    // [0x60020007]
    [[nodiscard]] virtual HRESULT WriteString(BSTR bsData, int32_t* plRetCount) = 0;
    // [0x60020008] vlCount is optional (VT_ERROR / DISP_E_PARAMNOTFOUND when missing).
    [[nodiscard]] virtual HRESULT Write(VARIANT vData, VARIANT vlCount, int32_t* plRetCount) = 0;
    // [0x60020009] bsOptionString = "".
    [[nodiscard]] virtual HRESULT Handle(BSTR bsResource, BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) = 0;
    // [0x6002000A] property get
    [[nodiscard]] virtual HRESULT get_LastReadStatus(VrReadStatus* pStatus) = 0;
    // [0x6002000B] property get
    [[nodiscard]] virtual HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) = 0;

protected:
    ~IVrConnection() = default;
};
VR_DECLARE_INTERFACE_ID(IVrConnection, "59008939-4773-4156-A1F8-162AC087EC80")

// The default interface of CnVISA; no members of its own.
struct ICnVISA : IVrConnection {
protected:
    ~ICnVISA() = default;
};
VR_DECLARE_INTERFACE_ID(ICnVISA, "FAF1AEDD-E1EC-40EB-8239-370332C58272")

inline constexpr CLSID CLSID_CnVISA = vr::MakeGuid("CBA5A768-6979-41FE-BFA0-D9A230E65BF5");
inline constexpr GUID LIBID_INSTRELLib = vr::MakeGuid("74C1797B-8C23-4699-916E-12A3B3AFDF17");

inline constexpr const char16_t* kCnVisaProgId = u"Vornic.CnVISA.1";
inline constexpr const char16_t* kCnVisaIndependentProgId = u"Vornic.CnVISA";
