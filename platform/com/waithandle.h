// Events: waitable objects that one thread signals and others wait for (CoWaitForMultipleHandles).
#pragma once

#include "platform/base/types.h"

// An event is signalled or not. A manual-reset event stays signalled until ResetEvent; an auto-reset event
// is reset by the one wait it ends. Names are not supported: a named event fails with null.
// Threads: SetEvent, ResetEvent and waits may come from any thread at once; CloseHandle only once no thread
// waits on the handle any more.
HANDLE CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCOLESTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL CloseHandle(HANDLE handle);

namespace vr::detail {

// The descriptor that polls readable while the event is signalled; -1 for what is no event.
int EventDescriptor(HANDLE event);

// How many signals (SetEvent) the process has made so far: a wait that sees the count unchanged since its
// poll knows that no event was signalled meanwhile.
uint64_t EventSignalCount();

// Ends a wait that the event's signal woke: an auto-reset event is reset, and only one waiter wins it
// (false for the others, which wait on). A manual-reset event answers true while signalled.
bool ClaimEvent(HANDLE event);

} // namespace vr::detail
