// The instrument socket server's public contract (type library PLUGMARLib 1.0): the socket interfaces, the
// Socket class, and the in-process description record that GetInfo hands out.
#pragma once

#include "attributes/include/tabrisk.h"
#include "instruments/Instrel/include/instrel.h"
#include "platform/com/comutil.h"
#include "platform/com/dispatch.h"

#include <vector>

// One device reached over one connection (dual; DISPIDs in brackets).
struct IVrSocket : IDispatch {
    // [1] Takes the connection (a VARIANT holding an object with IVrConnection) and the option string
    // ("AdapterFile=<path>" and the device's settings), loads the adapter file and runs its open command.
    [[nodiscard]] virtual HRESULT Init(BSTR bsOptionString, VARIANT vpIVrConnection) = 0;
    // [2] Runs the device's close command and closes the connection.
    [[nodiscard]] virtual HRESULT Close() = 0;
    // [3]
    [[nodiscard]] virtual HRESULT Handle(BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) = 0;
    // [4] A raw exchange on the connection; the three VARIANTs are optional (termination string, timeout,
    // count).
    [[nodiscard]] virtual HRESULT QueryString(BSTR bsInData, VARIANT vbsTerm, VARIANT vlTimeout, VARIANT vlCount,
                                              BSTR* pbsOutData) = 0;
    // [5] property get
    [[nodiscard]] virtual HRESULT get_Connection(IVrConnection** ppVrConnection) = 0;
    // [6] property get
    [[nodiscard]] virtual HRESULT get_Attributes(IVrAttributeCollection** ppVrAttributeCollection) = 0;

protected:
    ~IVrSocket() = default;
};
VR_DECLARE_INTERFACE_ID(IVrSocket, "3647C393-10B6-4FD8-B8AF-927E38872C30")

// The socket's default interface: its IDispatch also answers the device's operations and attributes by name
// (DISPIDs from 1001; 1000 for a selector), looked up on every access.
struct ISocket : IVrSocket {
protected:
    ~ISocket() = default;
};
VR_DECLARE_INTERFACE_ID(ISocket, "B7643452-109C-4585-993F-9464E4BF8DD2")

// What the studio asks of a socket without a connection (dual).
struct IVrSocketProcessor : IDispatch {
    // [0x60020000] Loads the adapter file named by "AdapterFile=<path>" in the option string.
    [[nodiscard]] virtual HRESULT LoadInfo(BSTR bsOptionString) = 0;
    // [0x60020001] Rebuilds the socket's SocketInfo and writes its address (valid in this process only, owned
    // by the socket until the next GetInfo or the socket's end) into *plInfo.
    [[nodiscard]] virtual HRESULT GetInfo(BSTR bsOptionString, intptr_t* plInfo) = 0;

protected:
    ~IVrSocketProcessor() = default;
};
VR_DECLARE_INTERFACE_ID(IVrSocketProcessor, "3647C394-10B6-4FD8-B8AF-927E38872C30")

inline constexpr CLSID CLSID_Socket = vr::MakeGuid("940F784F-9196-4716-99D1-5AA3952D5703");
inline constexpr GUID LIBID_PLUGMARLib = vr::MakeGuid("48192956-EB9B-4436-8A3A-4D0E5ABFAA88");

inline constexpr const char16_t* kSocketProgId = u"Vornic.Socket.1";
inline constexpr const char16_t* kSocketIndependentProgId = u"Vornic.Socket";

// The description of a socket's members that GetInfo hands out (in-process only).
struct SocketParamInfo {
    _bstr_t name;
    VARTYPE type = VT_EMPTY;
    uint16_t flags = 0; // 1 = in
    _variant_t defaultValue;
};

struct SocketMethodInfo {
    _bstr_t name;
    int invokeKind = 0; // 1 method, 2 property get, 4 property put
    int dispId = 0;
    VARTYPE returnType = VT_EMPTY;
    uint16_t flags = 0; // always 0
    std::vector<SocketParamInfo> parameters;
    _bstr_t helpString; // empty when the adapter file gives none
};

struct SocketInfo {
    _bstr_t name;            // the adapter file's base name
    _bstr_t typeLibraryPath; // the adapter's type library
    _bstr_t interfaceName;   // the adapter file's base name
    std::vector<SocketMethodInfo> methods;
};
