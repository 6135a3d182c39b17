// The conformance interface: one object whose calls cover every kind of argument, failures with rich error
// information, object references both ways, recursive call-backs and ordering. The same suite of calls runs
// through each channel that reaches such an object: direct, across apartments and across processes. It is a
// dual interface, so one typed proxy over IDispatch carries it through every channel, as it carries the
// system's own interfaces.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/marshal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct IConformance : IDispatch {
    [[nodiscard]] virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    // Hands back a copy of value, whatever it holds.
    [[nodiscard]] virtual HRESULT Echo(VARIANT value, VARIANT* copy) = 0;
    // In and out in the same arguments: the text reversed, the number doubled; the text's length as result.
    [[nodiscard]] virtual HRESULT Turn(BSTR* text, LONG* number, LONG* length) = 0;
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

// The DISPIDs of IConformance's members in its dispatch table, and one member reached only by name.
enum ConformanceMember : DISPID {
    kDispAdd = 1,
    kDispEcho,
    kDispTurn,
    kDispFail,
    kDispBounce,
    kDispMakeChild,
    kDispTag,
    kDispKeep,
    kDispKept,
    kDispRecord,
    kDispRecorded,
    kDispRunningThread,
    kDispSetRef, // SetRef(byref VT_DISPATCH slot, tag): a new object into the caller's slot
};

// The class the conformance server program serves (as a local server, started on demand).
inline constexpr CLSID CLSID_ConformanceServer = vr::MakeGuid("6F1E0B53-8C3A-4D7E-A1F4-3B9C2D5E7A01");

// An id of the calling thread, comparable with RunningThread's answers.
LONGLONG ThisThreadId();

// Makes a conformance object in the calling thread's apartment.
vr::ComPtr<IConformance> MakeConformanceObject(LONG tag = 0);

// Registers the typed proxy of IConformance (once; later calls do nothing).
void RegisterConformanceProxy();

// The class factory of the conformance object, for the server program.
[[nodiscard]] HRESULT CreateConformanceFactory(REFIID riid, void** ppv);

// A way of reaching a conformance object from the test thread.
class ConformanceChannel {
public:
    virtual ~ConformanceChannel() = default;
    // The far object as the test thread sees it.
    virtual vr::ComPtr<IConformance> Far() = 0;
    // The thread the far object's calls run on.
    virtual LONGLONG FarThread() = 0;
};

using ChannelMaker = std::unique_ptr<ConformanceChannel> (*)();

} // namespace vrtest
