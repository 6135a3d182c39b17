// The running object table: objects a program makes known by CLSID, and the connections of outside users.
#pragma once

#include "platform/com/unknown.h"

// Threads: every function may be called from any thread; the table is guarded by one lock that is never held
// while an object's code runs (its Release included), so objects may call back into the table from there.

inline constexpr DWORD ACTIVEOBJECT_STRONG = 0x0;
inline constexpr DWORD ACTIVEOBJECT_WEAK = 0x1;

// Registers object as the active object of clsid and hands out a cookie for RevokeActiveObject. A strong
// registration keeps the object alive until it is revoked or the object disconnected; a weak one holds no
// reference, so the object must revoke it before it goes away. Several objects may be registered for one
// CLSID; GetActiveObject answers with the earliest that is still registered.
[[nodiscard]] HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD flags, DWORD* cookie);
// E_INVALIDARG for an unknown cookie.
[[nodiscard]] HRESULT RevokeActiveObject(DWORD cookie, void* reserved);

// The active object of clsid as an outside user sees it: a connection to the object that answers IUnknown
// and, when the object has it, IDispatch, and whose calls fail with RPC_E_DISCONNECTED once the object is
// disconnected. MK_E_UNAVAILABLE when no connected object is registered for clsid. Every call for the same
// object answers with the same connection (one identity) while that connection lives.
[[nodiscard]] HRESULT GetActiveObject(REFCLSID clsid, void* reserved, IUnknown** object);

namespace vr {

// True when GetActiveObject(clsid) is known to answer MK_E_UNAVAILABLE without asking anyone: no object of
// clsid is registered in this process, and the last lookup found none in other processes while their
// registrations have not changed since. Needs no COM on the calling thread, so a caller that only wants an
// object that is there (a trace line's tracer) enters no apartment for nothing. False when unknown.
[[nodiscard]] bool ActiveObjectKnownAbsent(REFCLSID clsid);

} // namespace vr

// Holds (lock TRUE) or gives back (lock FALSE) an outside lock on the object, which keeps it alive and
// connected. When the last lock is given back with lastUnlockReleases TRUE and no outside user holds the
// object any more, its reference is released; with FALSE the object stays held until CoDisconnectObject.
[[nodiscard]] HRESULT CoLockObjectExternal(IUnknown* object, BOOL lock, BOOL lastUnlockReleases);

// Cuts off every outside user of the object: connections handed out by GetActiveObject fail from now on,
// outside locks and strong registrations release their references, and the object's registrations no longer
// answer GetActiveObject (they still need RevokeActiveObject).
[[nodiscard]] HRESULT CoDisconnectObject(IUnknown* object, DWORD reserved);
