// Object creation by CLSID and ProgID: COM initialisation per thread, in-process servers, class objects.
#pragma once

#include "platform/com/unknown.h"

#include <cstddef>
#include <string>

// ---- Initialisation ----
// Threads: each thread keeps its own initialisation count and model. A thread that never initialised counts
// as a member of the multithreaded apartment while some other thread holds it (COM's implicit MTA).

enum COINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

// The first call of a thread answers S_OK, every further call with the same model S_FALSE (each needs its
// CoUninitialize); a call with the other model answers RPC_E_CHANGED_MODE and counts nothing.
[[nodiscard]] HRESULT CoInitialize(void* reserved);
[[nodiscard]] HRESULT CoInitializeEx(void* reserved, DWORD coInit);
// The last call of a thread leaves its apartment: class objects the thread registered are revoked.
void CoUninitialize();

// ---- Creation ----
// Threads: callable from any initialised thread; the library cache and class-object table are shared by all
// threads and guarded by locks that are never held while a server's code runs.

// In-process classes come from CoRegisterClassObject registrations first, then from the library named by
// HKCR\CLSID\{clsid}\InprocServer32. Failures: REGDB_E_CLASSNOTREG (no registration for the asked contexts),
// CO_E_DLLNOTFOUND (the registered library file is missing), CO_E_ERRORINDLL (the library cannot be loaded
// or exports no DllGetClassObject; vr::LastLibraryLoadError() then tells why), E_ACCESSDENIED (a generated
// device library whose folder or file others could have changed, platform/base/library_folder.h; the reason
// goes to standard error and LastLibraryLoadError), CO_E_NOTINITIALIZED.
[[nodiscard]] HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* serverInfo, REFIID riid,
                                       void** ppv);
[[nodiscard]] HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                                       void** ppv);

// Unloads the libraries that have been idle (DllCanUnloadNow answering S_OK, no class object asked for) for
// at least unloadDelay milliseconds, measured from the first call that found them idle; INFINITE stands for
// the default of one second. The delay lets a thread that has just released a library's last object return
// out of the library's code before it is unmapped. A delay of 0 unloads idle libraries at once: only for a
// caller that knows no other thread is still running the library's code.
void CoFreeUnusedLibrariesEx(DWORD unloadDelay, DWORD reserved);
void CoFreeUnusedLibraries(); // CoFreeUnusedLibrariesEx(INFINITE, 0)

enum REGCLS : DWORD {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
    REGCLS_MULTI_SEPARATE = 2,
    REGCLS_SUSPENDED = 4,
    REGCLS_SURROGATE = 8,
};

// Makes a class object known to this process (in-process contexts; a class object registered for
// CLSCTX_LOCAL_SERVER with REGCLS_MULTIPLEUSE serves in-process requests too). Earlier registrations of a
// CLSID win over later ones. The table holds a reference until CoRevokeClassObject (CO_E_OBJNOTREG for an
// unknown cookie) or until the registering thread's last CoUninitialize.
[[nodiscard]] HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsctx, DWORD flags,
                                            DWORD* cookie);
[[nodiscard]] HRESULT CoRevokeClassObject(DWORD cookie);

// ---- Class identifiers as text ----

// The CLSID of a ProgID: a version-independent ProgID follows its CurVer first, then its own CLSID key.
// CO_E_CLASSSTRING when the ProgID is unknown or its CLSID text is malformed.
[[nodiscard]] HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// "{8-4-4-4-12}" text, else a ProgID; a null text gives GUID_NULL. CO_E_CLASSSTRING when neither fits.
[[nodiscard]] HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// The ProgID registered under HKCR\CLSID\{clsid}\ProgID, in memory from CoTaskMemAlloc; REGDB_E_CLASSNOTREG
// when there is none.
[[nodiscard]] HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in memory from CoTaskMemAlloc.
[[nodiscard]] HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
// Writes the braced text and its terminator into buffer; returns the units written (39), or 0 when capacity
// is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity);

// Memory that crosses an interface boundary: either side may free it. Null and size 0 are allowed.
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* memory);

namespace vr {

enum class ApartmentKind { None, SingleThreaded, MultiThreaded };

// The apartment the calling thread belongs to (an uninitialised thread in a process with an MTA:
// MultiThreaded).
ApartmentKind CurrentApartment();

// What the loader said when the calling thread's last library load or entry-point lookup failed (dlerror's
// text); empty when there was no failure yet.
std::string LastLibraryLoadError();

} // namespace vr
