// The VISA layer's COM contract: the resource manager (ProgID "VISA.GlobalRM") and the interfaces of its
// message-based sessions, as the instrument connection and protocol converters call them.
//
// Every member returns VISA's codes: S_OK, 0x00040005 (a read ended on the termination character),
// 0x00040006 (a read ended at the count), and on failure 0x8004xxxx (platform/visa/visa_status.h) with rich
// error information (GetErrorInfo) whose description says what failed. A read that fails still hands out
// the data it received (a timeout's partial answer).
//
// Thread contract: a session is used by one caller at a time (no locks); the resource manager may be used
// from any thread.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

// VISA access modes of IResourceManager::Open.
enum VisaAccessMode : LONG { NO_LOCK = 0, EXCLUSIVE_LOCK = 1, SHARED_LOCK = 2, LOAD_CONFIG = 4 };

// VISA message protocols of IBaseMessage::IOProtocol.
enum VisaIOProtocol : SHORT { PROT_NORMAL = 1, PROT_FDC = 2, PROT_HS488 = 3, PROT_4882_STRS = 4 };

// Serial parity, stop bits, flow control and end modes, with VISA's values.
enum SerialParity : SHORT {
    ASRL_PAR_NONE = 0,
    ASRL_PAR_ODD = 1,
    ASRL_PAR_EVEN = 2,
    ASRL_PAR_MARK = 3,
    ASRL_PAR_SPACE = 4
};
enum SerialStopBits : SHORT { ASRL_STOP_ONE = 10, ASRL_STOP_ONE5 = 15, ASRL_STOP_TWO = 20 };
enum SerialFlowControl : SHORT { ASRL_FLOW_NONE = 0, ASRL_FLOW_XON_XOFF = 1, ASRL_FLOW_RTS_CTS = 2 };
enum SerialEndConst : SHORT {
    ASRL_END_NONE = 0,
    ASRL_END_LAST_BIT = 1,
    ASRL_END_TERMCHAR = 2,
    ASRL_END_BREAK = 3
};

// A session to one resource.
struct IVisaSession : IUnknown {
    [[nodiscard]] virtual HRESULT get_ResourceName(BSTR* name) = 0;           // canonical spelling
    [[nodiscard]] virtual HRESULT get_HardwareInterfaceType(SHORT* type) = 0; // 4 serial, 6 TCP/IP
    [[nodiscard]] virtual HRESULT get_HardwareInterfaceNumber(SHORT* board) = 0;
    // Milliseconds every read and write may take; 0 returns at once with what is there, -1 waits for ever.
    [[nodiscard]] virtual HRESULT get_Timeout(LONG* milliseconds) = 0;
    [[nodiscard]] virtual HRESULT put_Timeout(LONG milliseconds) = 0;
    // The code the last call on this session returned.
    [[nodiscard]] virtual HRESULT get_LastStatus(HRESULT* status) = 0;
    // VISA attributes by identifier (timeout 0x3FFF001A, termination character 0x3FFF0018 and its enable flag
    // 0x3FFF0038, send-END 0x3FFF0016, serial baud rate 0x3FFF0021, data bits 0x3FFF0022, parity 0x3FFF0023,
    // stop bits 0x3FFF0024, flow control 0x3FFF0025, end-in 0x3FFF00B3, end-out 0x3FFF00B4, TCP no-delay
    // 0x3FFF019A); values are VT_I4 (other types are converted). A serial value the port cannot take fails
    // with 0x8004001E and leaves the port as it was.
    [[nodiscard]] virtual HRESULT GetAttribute(LONG attribute, VARIANT* value) = 0;
    [[nodiscard]] virtual HRESULT SetAttribute(LONG attribute, VARIANT value) = 0;
    // Locking is not supported here (0x80040067).
    [[nodiscard]] virtual HRESULT LockRsrc(LONG type, LONG timeout, BSTR requestedKey, BSTR* accessKey) = 0;
    [[nodiscard]] virtual HRESULT UnlockRsrc() = 0;
    // Closes the connection; later calls fail with 0x8004000E.
    [[nodiscard]] virtual HRESULT Close() = 0;
    // What the session is and who made the layer behind it: versions in VISA's form (major << 20 | minor << 8
    // | sub-minor), the interface part of the resource name ("TCPIP0", "ASRL1"), the lock held (a
    // VisaAccessMode; NO_LOCK, as locking is not supported here), the options given to Open, the ProgID of
    // the server whose objects the sessions are, the resource class ("SOCKET", "INSTR") and the maker.
    [[nodiscard]] virtual HRESULT get_ComponentVersion(LONG* version) = 0;
    [[nodiscard]] virtual HRESULT get_SpecVersion(LONG* version) = 0;
    [[nodiscard]] virtual HRESULT get_HardwareInterfaceName(BSTR* name) = 0;
    [[nodiscard]] virtual HRESULT get_LockState(LONG* state) = 0;
    [[nodiscard]] virtual HRESULT get_OptionString(BSTR* options) = 0;
    [[nodiscard]] virtual HRESULT get_ProgID(BSTR* progId) = 0;
    [[nodiscard]] virtual HRESULT get_SessionType(BSTR* type) = 0;
    [[nodiscard]] virtual HRESULT get_SoftwareManufacturerID(SHORT* id) = 0;
    [[nodiscard]] virtual HRESULT get_SoftwareManufacturerName(BSTR* name) = 0;
    // A session comes from IResourceManager::Open ready for use, so Init has nothing left to do (S_OK; after
    // Close 0x8004000E).
    [[nodiscard]] virtual HRESULT Init() = 0;

protected:
    ~IVisaSession() = default;
};
VR_DECLARE_INTERFACE_ID(IVisaSession, "DB8CBF03-D6D3-11D4-AA51-00A024EE30BD")

// The message-based part of a session: termination and END settings.
struct IBaseMessage : IVisaSession {
    [[nodiscard]] virtual HRESULT get_TerminationCharacter(BYTE* character) = 0; // default line feed
    [[nodiscard]] virtual HRESULT put_TerminationCharacter(BYTE character) = 0;
    [[nodiscard]] virtual HRESULT get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) = 0; // default off
    [[nodiscard]] virtual HRESULT put_TerminationCharacterEnabled(VARIANT_BOOL enabled) = 0;
    [[nodiscard]] virtual HRESULT get_SendEndEnabled(VARIANT_BOOL* enabled) = 0; // default on
    [[nodiscard]] virtual HRESULT put_SendEndEnabled(VARIANT_BOOL enabled) = 0;
    // Drops input that arrived and was not read.
    [[nodiscard]] virtual HRESULT Clear() = 0;
    // Not supported by sockets and serial ports here (0x80040067).
    [[nodiscard]] virtual HRESULT AssertTrigger(LONG protocol) = 0;
    [[nodiscard]] virtual HRESULT ReadSTB(SHORT* statusByte) = 0;
    // The message protocol (VisaIOProtocol): sockets, serial ports and VXI-11 links here speak only the
    // normal one; any other value fails with 0x8004001E.
    [[nodiscard]] virtual HRESULT get_IOProtocol(SHORT* protocol) = 0;
    [[nodiscard]] virtual HRESULT put_IOProtocol(SHORT protocol) = 0;

protected:
    ~IBaseMessage() = default;
};
VR_DECLARE_INTERFACE_ID(IBaseMessage, "DB8CBF1A-D6D3-11D4-AA51-00A024EE30BD")

// Reads and writes. Text is Latin-1 on the wire: one character per byte; a character above U+00FF is sent
// as "?".
struct IMessage : IBaseMessage {
    // At most count bytes as a VT_UI1 array (lower bound 0).
    [[nodiscard]] virtual HRESULT Read(LONG count, SAFEARRAY** bytes) = 0;
    [[nodiscard]] virtual HRESULT ReadString(LONG count, BSTR* text) = 0;
    // count -1 writes the whole array.
    [[nodiscard]] virtual HRESULT Write(SAFEARRAY* bytes, LONG count, LONG* written) = 0;
    [[nodiscard]] virtual HRESULT WriteString(BSTR text, LONG* written) = 0;

protected:
    ~IMessage() = default;
};
VR_DECLARE_INTERFACE_ID(IMessage, "DB8CBF05-D6D3-11D4-AA51-00A024EE30BD")

// Serial line settings; only serial sessions answer QueryInterface for it. Defaults: 9600 baud, 8 data
// bits, no parity, one stop bit, no flow control, end-in on the termination character, end-out none.
struct ISerial : IMessage {
    [[nodiscard]] virtual HRESULT get_BaudRate(LONG* rate) = 0;
    [[nodiscard]] virtual HRESULT put_BaudRate(LONG rate) = 0;
    [[nodiscard]] virtual HRESULT get_DataBits(SHORT* bits) = 0;
    [[nodiscard]] virtual HRESULT put_DataBits(SHORT bits) = 0;
    [[nodiscard]] virtual HRESULT get_Parity(SHORT* parity) = 0;
    [[nodiscard]] virtual HRESULT put_Parity(SHORT parity) = 0;
    [[nodiscard]] virtual HRESULT get_StopBits(SHORT* stopBits) = 0;
    [[nodiscard]] virtual HRESULT put_StopBits(SHORT stopBits) = 0;
    [[nodiscard]] virtual HRESULT get_FlowControl(SHORT* flow) = 0;
    [[nodiscard]] virtual HRESULT put_FlowControl(SHORT flow) = 0;
    [[nodiscard]] virtual HRESULT get_EndIn(SHORT* mode) = 0;
    [[nodiscard]] virtual HRESULT put_EndIn(SHORT mode) = 0;
    [[nodiscard]] virtual HRESULT get_EndOut(SHORT* mode) = 0;
    [[nodiscard]] virtual HRESULT put_EndOut(SHORT mode) = 0;

protected:
    ~ISerial() = default;
};
VR_DECLARE_INTERFACE_ID(ISerial, "DB8CBF0C-D6D3-11D4-AA51-00A024EE30BD")

// The resource manager.
struct IResourceManager : IUnknown {
    // Opens a session. Resource names: TCPIP[board]::host::port::SOCKET, TCPIP[board]::host[::device]::INSTR
    // (VXI-11), ASRL<n>::INSTR (device from the serial map, platform/visa/serial_ports.h),
    // ASRL/dev/<tty>::INSTR; keywords without regard to case, surrounding blanks ignored, IPv6 hosts in
    // brackets. A TCP resource is connected here, so a refused or unreachable instrument fails now with
    // 0x80040011; so do GPIB and USB resources, which this system cannot reach. mode: a combination of
    // VisaAccessMode; options: VISA's open options (accepted, none changes anything here).
    [[nodiscard]] virtual HRESULT Open(BSTR resourceName, LONG mode, LONG openTimeout, BSTR options,
                                       IVisaSession** session) = 0;
    // The resource names matching expression (VISA's search expressions, "?*" for all) as a VT_BSTR array
    // (lower bound 0); 0x80040011 when none matches. Serial ports are found; TCP instruments are not
    // discoverable.
    [[nodiscard]] virtual HRESULT FindRsrc(BSTR expression, SAFEARRAY** names) = 0;

protected:
    ~IResourceManager() = default;
};
VR_DECLARE_INTERFACE_ID(IResourceManager, "DB8CBF02-D6D3-11D4-AA51-00A024EE30BD")

// What the sessions of this VISA layer say about themselves (IVisaSession's identity members).
inline constexpr LONG kVisaComponentVersion = 0x00100000; // 1.0.0
inline constexpr LONG kVisaSpecVersion = 0x00500000;      // the VISA COM interfaces follow version 5.0
inline constexpr SHORT kVisaManufacturerId = 0;           // no VXIplug&play manufacturer ID is assigned to it
inline constexpr const char16_t* kVisaManufacturerName = u"Vornic";

// The resource manager class, served by libvrvisa.so and registered into the build tree's registry.
inline constexpr CLSID CLSID_VisaResourceManager = vr::MakeGuid("6C3A7D2E-41B8-4F0B-9D6E-2A51C8E0B7F4");
inline constexpr const char16_t* kVisaResourceManagerProgId = u"VISA.GlobalRM.1";
inline constexpr const char16_t* kVisaResourceManagerIndependentProgId = u"VISA.GlobalRM";
