// The ADO layer's errors: its own HRESULTs (the control facility, as ADO numbers them) and how they are
// raised, as _com_error with error information whose description says what went wrong.
#pragma once

#include "platform/com/comutil.h"

#include <string_view>

namespace vr::ado {

// The source named in the error information of every error of the layer.
inline constexpr const OLECHAR* kErrorSource = u"ADODB";

// Errors the layer finds itself. A failure the driver reports is E_FAIL with the driver's messages.
inline constexpr HRESULT adErrInvalidArgument = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3001);
inline constexpr HRESULT adErrNoCurrentRecord = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3021);
inline constexpr HRESULT adErrItemNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3265);
inline constexpr HRESULT adErrObjectClosed = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3704);
inline constexpr HRESULT adErrObjectOpen = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3705);
inline constexpr HRESULT adErrInvalidConnection = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3709);

// Throws _com_error(hr) carrying error information with kErrorSource and the description. The thread's own
// error slot is left alone.
[[noreturn]] void RaiseError(HRESULT hr, std::u16string_view description);

} // namespace vr::ado
