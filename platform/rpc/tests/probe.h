// The probe object of the cross-process tests, served by the rpc_probe_server program and made by the tests
// themselves for call-backs: an IDispatch whose members cover values, in-out arguments, failures, object
// references and recursive call-backs.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

namespace rpctest {

inline constexpr CLSID CLSID_RpcProbe = vr::MakeGuid("3B8F2D61-5A4C-4E97-8B12-6C0D9E4F7A21");
// The class under which the probe server registers its first object in the running object table.
inline constexpr CLSID CLSID_RpcProbeActive = vr::MakeGuid("3B8F2D62-5A4C-4E97-8B12-6C0D9E4F7A21");

// DISPIDs of the probe.
enum ProbeMember : DISPID {
    kEcho = 1,   // Echo(value) -> copy of value
    kTurn = 2,   // Turn(byref text, byref number) -> length; text reversed, number doubled
    kFail = 3,   // Fail(hr, description): fails with hr and error information (source "Probe")
    kBounce = 4, // Bounce(peer, depth) -> depth reached; calls peer.Bounce(this, depth - 1) while depth > 0
    kMakeChild = 5,     // MakeChild(tag) -> a new probe
    kTag = 6,           // Tag -> the tag
    kThread = 7,        // Thread -> id of the thread the call runs on
    kProcessId = 8,     // ProcessId -> the process id
    kSleep = 9,         // Sleep(ms): blocks its thread
    kLocks = 10,        // Locks -> ServerProcessLocks()
    kKeep = 11,         // Keep(object)
    kKept = 12,         // Kept -> the object kept
    kBounceThread = 13, // BounceThread -> the thread the last Bounce ran on
    kHandOffs = 14,     // HandOffs -> requests the process's channel readers have handed over so far
};

vr::ComPtr<IDispatch> MakeProbe(LONG tag = 0);
LONGLONG ThisThreadId();

// Invoke of a method with arguments in call order; the result in *result when given.
HRESULT CallProbe(IDispatch* probe, DISPID member, std::initializer_list<VARIANT> args,
                  VARIANT* result = nullptr, EXCEPINFO* excep = nullptr);

} // namespace rpctest
