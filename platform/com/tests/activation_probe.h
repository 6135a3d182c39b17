// The probe server's identifiers and interface: a small in-process server that the activation tests load.
#pragma once

#include "platform/com/unknown.h"

struct IActivationProbe : IUnknown {
    // Answers 42, from inside the library.
    [[nodiscard]] virtual HRESULT Ping(LONG* value) = 0;
    // The library's own lock count (live objects, class factories and server locks).
    [[nodiscard]] virtual HRESULT ModuleLocks(LONG* count) = 0;

protected:
    ~IActivationProbe() = default;
};
VR_DECLARE_INTERFACE_ID(IActivationProbe, "517BE163-106E-4BF9-A4DC-5FBC008FCC63")

namespace vrtest {

inline constexpr CLSID CLSID_ActivationProbe = vr::MakeGuid("CD26DFCB-C8D1-4958-8230-88E9F86DA6AD");
// Listed in the probe's class table but without a creation function: the library does not serve it.
inline constexpr CLSID CLSID_ActivationProbeUnserved = vr::MakeGuid("0ED224A2-19B5-4FE6-8258-28453D9E54AD");
inline constexpr GUID LIBID_ActivationProbe = vr::MakeGuid("C7D53FF4-2C1D-4ECC-839B-8A2442E2D5E6");
inline constexpr GUID CATID_ActivationProbe = vr::MakeGuid("50315988-8A7B-43F4-B404-C7DC4FDD8E3B");

inline constexpr const char16_t* kProbeProgId = u"Vornic.ActivationProbe.1";
inline constexpr const char16_t* kProbeIndependentProgId = u"Vornic.ActivationProbe";

} // namespace vrtest
