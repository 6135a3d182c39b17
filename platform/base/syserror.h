// Windows error codes (ERROR_*) of file and I/O failures: mapping from errno, and each code's text.
#pragma once

#include "platform/base/types.h"

#include <string>

namespace vr {

// Every function here may be called from any thread at the same time (constant tables only).

// The Windows error code that stands for an errno value (ENOENT -> ERROR_FILE_NOT_FOUND, ...): what a
// Windows call reports in the same situation, the Windows Sockets code (WSAE...) for socket failures without
// a Win32 code of their own; ERROR_SUCCESS for 0, ERROR_GEN_FAILURE (31) for an errno without a closer code.
DWORD Win32ErrorFromErrno(int err);

// HRESULT_FROM_WIN32(Win32ErrorFromErrno(err)), for a call that failed; always a failure HRESULT: errno 0
// (a failed call that set no errno) gives E_FAIL, never S_OK.
[[nodiscard]] HRESULT HResultFromErrno(int err);

// The system message text of a Windows error code (low 16 bits), ending in "\r\n" as the system's texts
// do; empty when the table has no text for the code.
std::u16string Win32ErrorMessage(DWORD code);

// The C library's text of an errno value ("No space left on device"), for messages that name a file.
std::string ErrnoText(int err);

} // namespace vr
