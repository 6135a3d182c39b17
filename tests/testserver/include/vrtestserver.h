// The test server's public contract: its class, its dual interface and their identifiers.
#pragma once

#include "platform/com/dispatch.h"

// The dual interface of the test server (DISPIDs in brackets).
struct IVrTestServer : IDispatch {
    // [1] sum = a + b.
    [[nodiscard]] virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    // [2] A name, empty at creation.
    [[nodiscard]] virtual HRESULT get_Name(BSTR* name) = 0;
    [[nodiscard]] virtual HRESULT put_Name(BSTR name) = 0;
    // [3] Four text slots, indexed 0 to 3; other indices fail with DISP_E_BADINDEX.
    [[nodiscard]] virtual HRESULT get_Item(LONG index, BSTR* value) = 0;
    [[nodiscard]] virtual HRESULT put_Item(LONG index, BSTR value) = 0;
    // [4] "Hello, [title ]name", times times (1 to 10), joined by blanks; title is optional without a
    // default, times optional with the default 1.
    [[nodiscard]] virtual HRESULT Greet(BSTR name, VARIANT title, LONG times, BSTR* text) = 0;
    // [5] Fails with E_FAIL, leaving rich error information with this description.
    [[nodiscard]] virtual HRESULT Fail(BSTR description) = 0;

protected:
    ~IVrTestServer() = default;
};
VR_DECLARE_INTERFACE_ID(IVrTestServer, "07257F5F-8860-436E-B460-53516AADB158")

inline constexpr CLSID CLSID_VrTestServer = vr::MakeGuid("438ECC38-F2F0-4678-A9A9-2EDF3184740A");
inline constexpr GUID LIBID_VrTestServerLib = vr::MakeGuid("E8027B31-8E8E-4A03-B32D-C4428F0AC2BE");

inline constexpr const char16_t* kVrTestServerProgId = u"Vornic.TestServer.1";
inline constexpr const char16_t* kVrTestServerIndependentProgId = u"Vornic.TestServer";
