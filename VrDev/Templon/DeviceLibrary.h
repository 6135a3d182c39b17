// What one copy of the template library carries: the device's type library, read once from the copy's own
// file, and the identity it gives (class, dispatch interface, library).
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/typelib.h"

#include <map>
#include <string>

namespace templon {

// The copy's type library and what the device object needs of it. Loaded on first use and kept for the
// life of the copy: every copy is its own module (hidden visibility), so each holds its own.
// Threads: ThisLibrary() may be called from any thread; the library never changes once loaded.
struct DeviceLibrary {
    HRESULT status = E_FAIL; // S_OK when everything below was found
    std::u16string failure;  // why not, for the error information
    std::u16string modulePath;
    vr::ComPtr<ITypeLib> library;
    vr::ComPtr<ITypeInfo> dispatchInfo; // the class's default interface, the members served
    CLSID clsid = GUID_NULL;
    IID iid = GUID_NULL;
    GUID libid = GUID_NULL;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    std::map<DISPID, std::u16string> memberNames; // every member of the dispatch interface by its DISPID
};

const DeviceLibrary& ThisLibrary();

// Reports a failure of the device library as error information of the calling thread; returns hr.
HRESULT ReportDeviceError(HRESULT hr, const std::u16string& description);

} // namespace templon
