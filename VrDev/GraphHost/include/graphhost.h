// The graph host's public contract: the outside class CLSID_GraphHost (declared with the test engine) that
// opens a window holding one graph control, and its dispatch interface IGraphHost.
#pragma once

#include "platform/com/dispatch.h"

// Creating the class (a local server, the program graphhost) opens the program's window with one graph
// control in it, once per program; every further object shares that window. The control registers itself
// in the running object table while the window is open. The program ends when the user closes the window,
// or once no client has held any of its objects for its idle time.
//   [1] SavePicture(sFile)  writes what the window shows as a PNG file; E_FAIL with a description when the
//                           window is gone or the file cannot be written.
// Threads: the program's window thread serves every call.
struct IGraphHost : IDispatch {
protected:
    ~IGraphHost() = default;
};
VR_DECLARE_INTERFACE_ID(IGraphHost, "5C3F8E21-7B4A-4D69-9A1E-2F6B8C0D4E37")

inline constexpr const char16_t* kGraphHostProgId = u"Vornic.GraphHost.1";
inline constexpr const char16_t* kGraphHostIndependentProgId = u"Vornic.GraphHost";
