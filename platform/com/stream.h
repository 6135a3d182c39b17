// IStream as far as this system uses one: the packet that carries a marshalled interface to another thread.
#pragma once

#include "platform/com/unknown.h"

// The system only creates these streams with CoMarshalInterThreadInterfaceInStream and consumes them with
// CoGetInterfaceAndReleaseStream (or releases them unread), so no byte-level members are declared.
struct IStream : IUnknown {
protected:
    ~IStream() = default;
};
VR_DECLARE_INTERFACE_ID(IStream, "0000000C-0000-0000-C000-000000000046")
using LPSTREAM = IStream*;
