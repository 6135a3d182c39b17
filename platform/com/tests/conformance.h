// The conformance interface: one object whose calls cover every kind of argument, failures with rich error
// information, object references both ways, recursive call-backs and ordering. The same suite of calls runs
// through each channel that reaches such an object (direct, across apartments, later across processes).
#pragma once

#include "platform/com/marshal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct IConformance : IUnknown {
    [[nodiscard]] virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    // Hands back a copy of value, whatever it holds.
    [[nodiscard]] virtual HRESULT Echo(VARIANT value, VARIANT* copy) = 0;
    // In and out in the same argument: the text reversed, the number doubled.
    [[nodiscard]] virtual HRESULT Turn(BSTR* text, LONG* number) = 0;
    // Fails with hr and error information (source "Conformance", the description given).
    [[nodiscard]] virtual HRESULT Fail(HRESULT hr, BSTR description) = 0;
    // depth > 0: calls peer->Bounce(this, depth - 1) and adds one to what it reached; depth 0 reaches 0.
    // Bounce and Record answer RPC_E_WRONG_THREAD on another thread than the one that made the object.
    [[nodiscard]] virtual HRESULT Bounce(IConformance* peer, LONG depth, LONG* reached) = 0;
    // A new object of this object's apartment, tagged.
    [[nodiscard]] virtual HRESULT MakeChild(LONG tag, IConformance** child) = 0;
    [[nodiscard]] virtual HRESULT Tag(LONG* tag) = 0;
    // Holds an object and hands it back.
    [[nodiscard]] virtual HRESULT Keep(IUnknown* object) = 0;
    [[nodiscard]] virtual HRESULT Kept(IUnknown** object) = 0;
    // Numbers recorded in the order the calls arrived, and read back.
    [[nodiscard]] virtual HRESULT Record(LONG value) = 0;
    [[nodiscard]] virtual HRESULT Recorded(SAFEARRAY** values) = 0;
    // An id of the thread the call ran on.
    [[nodiscard]] virtual HRESULT RunningThread(LONGLONG* thread) = 0;

protected:
    ~IConformance() = default;
};
VR_DECLARE_INTERFACE_ID(IConformance, "6F1E0B52-8C3A-4D7E-A1F4-3B9C2D5E7A01")

namespace vrtest {

// DISPIDs of the conformance object's IDispatch: its by-name face, carried by the generic proxy.
inline constexpr DISPID kDispEcho = 1;   // Echo(value) returns value
inline constexpr DISPID kDispTurn = 2;   // Turn(byref text) reverses the text in place
inline constexpr DISPID kDispFail = 3;   // Fail(description): DISP_E_EXCEPTION, EXCEPINFO from it
inline constexpr DISPID kDispChild = 4;  // Child(tag) returns a new object as VT_DISPATCH
inline constexpr DISPID kDispSetRef = 5; // SetRef(byref VT_DISPATCH slot, tag): a new object into the slot

// An id of the calling thread, comparable with RunningThread's answers.
LONGLONG ThisThreadId();

// Makes a conformance object in the calling thread's apartment.
vr::ComPtr<IConformance> MakeConformanceObject(LONG tag = 0);

// Registers the typed proxy of IConformance (once; later calls do nothing).
void RegisterConformanceProxy();

// A way of reaching a conformance object from the test thread.
class ConformanceChannel {
public:
    virtual ~ConformanceChannel() = default;
    // The far object as the test thread sees it.
    virtual vr::ComPtr<IConformance> Far() = 0;
    // The thread the far object's calls run on.
    virtual LONGLONG FarThread() = 0;
    // True when the far object lives in another apartment than the test thread.
    virtual bool Crosses() = 0;
};

using ChannelMaker = std::unique_ptr<ConformanceChannel> (*)();

} // namespace vrtest
