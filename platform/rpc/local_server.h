// Local servers: programs that serve their classes to other processes of the station's user.
//
// A program registers its class object with CoRegisterClassObject(clsid, object, CLSCTX_LOCAL_SERVER,
// REGCLS_MULTIPLEUSE, &cookie): the class is then published in the runtime folder (RuntimeFolder()), where
// clients find the program's socket. A client's CoCreateInstance/CoGetClassObject with CLSCTX_LOCAL_SERVER
// connects to the running program, or starts the program named by HKCR\CLSID\{clsid}\LocalServer32 with
// "-Embedding" and waits for its class object (CO_E_SERVER_EXEC_FAILURE with error information when the
// program ends or does not register in time). The registration of such a program is
// vr::server::RegisterLocalServerClasses (platform/com/server.h).
//
// Idle exit: every object a client holds a reference on counts as one server-process lock, as does every
// CoAddRefServerProcess not yet given back; a program polls vr::rpc::ServerProcessLocks() and leaves when it
// has been 0 for as long as it chooses. A client whose server ended gets RPC_E_SERVER_DIED for the call in
// flight and RPC_E_DISCONNECTED afterwards, never a hang; its next CoCreateInstance starts a new server.
//
// Threads: every function may be called from any thread.
#pragma once

#include "platform/com/unknown.h"

#include <chrono>
#include <sys/types.h>

// Adds a server-process lock; the new count.
ULONG CoAddRefServerProcess();
// Gives one back; the new count.
ULONG CoReleaseServerProcess();

namespace vr::rpc {

// Server-process locks: objects held by clients in other processes plus CoAddRefServerProcess calls.
ULONG ServerProcessLocks();

// Serves calls on the calling thread, which must be a single-threaded apartment, until no server-process lock
// has been held for `idle`: the main loop of a small local server program.
void ServeUntilIdle(std::chrono::milliseconds idle);

// How long a client waits for a started program's class object (default 10 seconds).
void SetServerStartTimeout(std::chrono::milliseconds timeout);

// Connections of this process to others that are alive now (tests and diagnostics).
size_t LiveChannelCount();

// The process that serves object when it is the proxy of another process's object (what a program tells
// its user when it hands work to a running instance); 0 for an object of this process or a lost connection.
pid_t ServingProcessOf(IUnknown* object);

// The process whose call the calling thread runs now (what an object tells its clients apart by); 0 on a
// thread that runs no call of another process.
pid_t CallingProcess();

} // namespace vr::rpc

namespace vr::rpc::detail {

// The hooks of activation and the running object table (platform/com).
[[nodiscard]] HRESULT PublishClassObject(const CLSID& clsid, IUnknown* classObject, DWORD cookie);
void UnpublishClassObject(DWORD cookie);
void UnpublishClassObjectsOfThisThread();
[[nodiscard]] HRESULT GetLocalServerClassObject(const CLSID& clsid, REFIID riid, void** ppv);
[[nodiscard]] HRESULT PublishActiveObject(IUnknown* object, const CLSID& clsid, DWORD cookie);
void UnpublishActiveObject(DWORD cookie);
// The active object of clsid registered by another process; MK_E_UNAVAILABLE when there is none.
[[nodiscard]] HRESULT GetActiveObjectElsewhere(const CLSID& clsid, IUnknown** object);

} // namespace vr::rpc::detail
