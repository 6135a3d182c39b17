// IUnknown and IClassFactory: the root of every object of the system and the factory that creates them.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

// Methods are pure virtual in the system's order; objects are released through Release(), never deleted
// through an interface pointer, so the interfaces have no virtual destructor.
struct IUnknown {
    [[nodiscard]] virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    // Typed convenience: QueryInterface(__uuidof(Q), (void**)pp).
    template <class Q>
    [[nodiscard]] HRESULT QueryInterface(Q** pp) {
        return QueryInterface(vr::uuidof<Q>(), reinterpret_cast<void**>(pp));
    }

protected:
    ~IUnknown() = default;
};
VR_DECLARE_INTERFACE_ID(IUnknown, "00000000-0000-0000-C000-000000000046")

struct IClassFactory : IUnknown {
    [[nodiscard]] virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    [[nodiscard]] virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};
VR_DECLARE_INTERFACE_ID(IClassFactory, "00000001-0000-0000-C000-000000000046")

// Class-context flags of CoCreateInstance and CoGetClassObject.
enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};
