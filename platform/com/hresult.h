// HRESULT values, their names and texts (one table: hresults.inc), and the facility/code macros.
#pragma once

#include "platform/base/types.h"

#include <string>

// Every HRESULT of the table as a constant, e.g. E_FAIL, DISP_E_EXCEPTION.
#define VR_HRESULT(name, value, text) inline constexpr HRESULT name = static_cast<HRESULT>(value##u);
#include "platform/com/hresults.inc"
#undef VR_HRESULT

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr int FACILITY_NULL = 0;
inline constexpr int FACILITY_RPC = 1;
inline constexpr int FACILITY_DISPATCH = 2;
inline constexpr int FACILITY_STORAGE = 3;
inline constexpr int FACILITY_ITF = 4;
inline constexpr int FACILITY_WIN32 = 7;
inline constexpr int FACILITY_WINDOWS = 8;
inline constexpr int FACILITY_CONTROL = 10;

inline constexpr int SEVERITY_SUCCESS = 0;
inline constexpr int SEVERITY_ERROR = 1;

constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) {
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
constexpr int HRESULT_FACILITY(HRESULT hr) { return (static_cast<uint32_t>(hr) >> 16) & 0x1FFF; }
constexpr int HRESULT_CODE(HRESULT hr) { return static_cast<uint32_t>(hr) & 0xFFFF; }
constexpr int HRESULT_SEVERITY(HRESULT hr) { return (static_cast<uint32_t>(hr) >> 31) & 1; }

// A Windows error code (ERROR_*) as an HRESULT of FACILITY_WIN32; 0 stays S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return static_cast<HRESULT>(code) <= 0 ? static_cast<HRESULT>(code)
                                           : static_cast<HRESULT>((code & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

namespace vr {

// The table's name of an HRESULT ("E_FAIL"), or empty when the table has none.
const char* HResultName(HRESULT hr);

// The table's text of an HRESULT; for FACILITY_WIN32 codes the Windows error text of the code
// (platform/base/syserror.h); empty when neither knows it.
std::u16string HResultMessage(HRESULT hr);

} // namespace vr
