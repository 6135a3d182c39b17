// Whether the instrument socket loads an adapter file: the check of a saved file, made the way the socket
// loads the file when a script uses the device.
//
// Usage: after the file is written, CheckSocketLoads(path, &reason); a failure leaves the socket's own
// description in reason, for the engineer to read.
// Threads: any thread of an apartment (the socket is made in-process for the call and released after it).
#pragma once

#include "platform/com/hresult.h"

#include <string>

// S_OK when a socket (class Socket) loads the file through IVrSocketProcessor::LoadInfo; otherwise the
// failure, and *reason says why (the socket's description, or that no socket could be made).
[[nodiscard]] HRESULT CheckSocketLoads(const std::u16string& adapterFile, std::u16string* reason);
