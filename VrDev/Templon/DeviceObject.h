// The device object of a stamped library: one device of the hardware manager, served with the members of the
// library's dispatch interface, each call forwarded by name to the device's socket.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

#include <atomic>
#include <map>
#include <string>

namespace templon {

// Usage: made by the class factory (Create); a client calls it through IDispatch with the DISPIDs of the
// library's dispatch interface (or names through GetIDsOfNames), and reads its ITypeInfo for the types.
// Threads: apartment-threaded; the socket is a proxy of the creating thread's apartment, so every call comes
// on that thread. Failures: the socket's own errors come back unchanged (EXCEPINFO included); a DISPID the
// library does not describe is DISP_E_MEMBERNOTFOUND.
class DeviceObject final : public IDispatch {
public:
    // Reads the device name from the class's registration, asks the hardware manager for the device's socket
    // and makes the object. A failure (no registration, no such device, the manager unreachable) is a
    // failure HRESULT with error information that names the device.
    [[nodiscard]] static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;

private:
    explicit DeviceObject(vr::ComPtr<IDispatch> socket);
    ~DeviceObject();

    // The socket's DISPID of the library's member id, asked once by name.
    HRESULT SocketIdOf(DISPID id, DISPID* socketId);

    std::atomic<ULONG> refs_{1};         // any thread
    vr::ComPtr<IDispatch> socket_;       // the apartment's thread only
    std::map<DISPID, DISPID> socketIds_; // the apartment's thread only
};

} // namespace templon
