// The pending failure of a socket call: kept per thread, because every socket call runs on its apartment's
// thread from start to end.
#include "SocketErrors.h"

#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/com/errorinfo.h"
#include "plugmar.h"

#include <cstdarg>
#include <optional>

namespace plugmar {

namespace {

thread_local std::optional<std::u16string> pendingFailure;

} // namespace

HRESULT RecordFailureAt(const char* file, int line, HRESULT hr, const OLECHAR* format, ...) {
    SetTraceSiteAt(file, line);
    va_list args;
    va_start(args, format);
    std::u16string message = vr::VFormatWString(format, args);
    va_end(args);
    TraceError(u"%s", message.c_str());
    pendingFailure = TraceSiteTag() + u"\n" + message;
    return hr;
}

void BeginMethod(const OLECHAR* name) {
    SetTraceMethodName(name);
    pendingFailure.reset();
}

HRESULT EndMethod(HRESULT hr) {
    if (FAILED(hr) && pendingFailure) {
        (void)vr::ReportError(hr, GUID_NULL, kSocketProgId, *pendingFailure);
    }
    pendingFailure.reset();
    return hr;
}

HRESULT EndInvoke(HRESULT hr, EXCEPINFO* excep) {
    hr = EndMethod(hr);
    // Without an EXCEPINFO the details stay the thread's error information.
    vr::FillExcepInfo(excep, hr);
    return DISP_E_EXCEPTION;
}

std::u16string PendingFailureText() {
    return pendingFailure.value_or(std::u16string());
}

} // namespace plugmar
