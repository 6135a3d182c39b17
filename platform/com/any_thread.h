// The mark of an object that every thread may call directly, whatever its apartment.
//
// Such an object answers QueryInterface(IID_VrAnyThread) (with a reference, as for any interface). The
// marshalling between apartments (marshal.h) hands it to another apartment as it is, instead of a proxy
// whose calls would be queued to the thread it came from. A proxy of an object in another process
// (platform/rpc) is one: its calls travel on the calling thread, which serves its own apartment while it
// waits for the reply, so a thread that got it through a stream does not need that other thread to be free.
//
// Threads: IsAnyThreadObject may be called on any thread.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace vr {

inline constexpr IID IID_VrAnyThread = MakeGuid("5A1C2E72-3B4D-4E8F-9A61-0C7D224B91E3");

// Whether object carries the mark (false for null).
inline bool IsAnyThreadObject(IUnknown* object) {
    IUnknown* marked = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_VrAnyThread, reinterpret_cast<void**>(&marked))) ||
        !marked) {
        return false;
    }
    marked->Release();
    return true;
}

} // namespace vr
