// How the socket words its failures: the message is recorded where the failure happens, and the public
// method that returns it hands it to the caller as rich error information or as an EXCEPINFO.
#pragma once

#include "platform/com/dispatch.h"

#include <string>

namespace plugmar {

// Records "<method>: <file> (<line>)" and the formatted message as the pending failure of the calling thread
// (and as the module's last message), and returns hr.
[[nodiscard]] HRESULT RecordFailureAt(const char* file, int line, HRESULT hr, const OLECHAR* format, ...);
#define RecordFailure(hr, ...) RecordFailureAt(__FILE__, __LINE__, hr, __VA_ARGS__)
// An internal failure without a message of its own: "Vornic Error: A<line> (<file>)".
#define RecordInternalFailure(hr)                                                                            \
    RecordFailureAt(__FILE__, __LINE__, hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__))

// Starts a public method: names it for the trace and forgets an earlier pending failure.
void BeginMethod(const OLECHAR* name);
// Ends a public method. A failure the socket recorded itself becomes the thread's error information (source
// "Vornic.Socket.1", the recorded text); a failure of a called component keeps the information that
// component left. Returns hr.
[[nodiscard]] HRESULT EndMethod(HRESULT hr);
// Ends a failed dynamic Invoke: fills *excep (when given) with scode hr from the information EndMethod
// leaves, and returns DISP_E_EXCEPTION.
[[nodiscard]] HRESULT EndInvoke(HRESULT hr, EXCEPINFO* excep);
// The recorded text of the pending failure (empty when none).
std::u16string PendingFailureText();

} // namespace plugmar
