// One connection between two processes and the objects each side lends the other over it.
//
// Both ends are alike: each makes calls on the other's objects and serves calls on its own. A reader thread
// per channel takes every frame off the socket: replies go to the thread that waits for them; requests run
// where their object lives (queued to its single-threaded apartment, or on a thread of their own for an
// object of the multithreaded apartment or of no apartment).
//
// THE RE-ENTRANCY RULE ACROSS PROCESSES. Every call carries a causality id: a thread that makes a call
// without running one takes a new id; a thread that runs an incoming call passes that call's id on to every
// call it makes meanwhile. A thread that waits for its reply keeps serving: its apartment's queue (where
// call-backs into its apartment's objects are queued), and, for call-backs that carry its own causality id
// and concern objects of no single-threaded apartment, the call-backs themselves. So A calls B, B calls A
// back, and the call-back runs on A's waiting thread, nested in its wait, as it would in one process.
//
// References: an object handed to the peer is exported with a count of the references the peer holds
// (one per handing out); the peer's proxy gives its reference back when it is released. A peer that
// disconnects or dies gives back everything it held. Every object with references held by a peer counts as
// one server-process lock (ServerProcessLocks).
//
// A peer that breaks the protocol (a frame cut short or of no known kind or length, a release or hold of an
// object never lent to it) gets a line on standard error that says how, and its connection is ended, as if it
// had gone: nothing else it sends is trusted. A malformed call that is whole as a frame is answered with an
// error instead (the caller's call fails, the connection stays).
//
// Threads: every member may be called from any thread.
#pragma once

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/rpc/wire.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vr::rpc {

class Channel;
using ChannelRef = std::shared_ptr<Channel>;

// What the process serves to a peer without an object reference (target 0): class objects and the
// objects of the running object table, provided by local_server.cpp.
struct ProcessServices {
    // The apartment a request without object reference runs in (null: a thread of its own).
    ApartmentRef (*classHome)(const CLSID& clsid) = nullptr;
    ApartmentRef (*publishedHome)(uint64_t id) = nullptr;
    // Creates an instance of clsid's registered class object on its home thread; the object's IUnknown.
    HRESULT (*createInstance)(const CLSID& clsid, REFIID riid, IUnknown** object) = nullptr;
    // An object published for other processes, with a reference; MK_E_UNAVAILABLE when it is gone.
    HRESULT (*getPublished)(uint64_t id, IUnknown** object) = nullptr;
};
void SetProcessServices(const ProcessServices& services);

class Channel : public std::enable_shared_from_this<Channel>, public ObjectMarshaller {
public:
    // Takes over a connected socket and starts serving it.
    static ChannelRef Start(int fd);
    ~Channel() override;

    bool IsAlive() const { return !dead_.load(std::memory_order_acquire); }
    // Shuts the socket; the reader thread then ends the channel as if the peer had gone.
    void Shutdown();

    // A request: header written by BeginRequest, operation fields by the caller; Transact sends it and
    // waits (serving, see above) for the reply, whose body after the call id it hands back.
    Writer BeginRequest(uint64_t target, Operation op, uint64_t* callId, uint64_t* causality);
    [[nodiscard]] HRESULT Transact(Writer request, uint64_t callId, uint64_t causality,
                                   std::vector<uint8_t>* reply);
    // Gives back references to one of the peer's objects, or adds some (no reply).
    void SendRelease(uint64_t id, uint32_t count);
    void SendHold(uint64_t id, uint32_t count);

    // ObjectMarshaller: references of this channel.
    HRESULT Export(IUnknown* object, ObjectRefKind* kind, uint64_t* id, bool* dispatch) override;
    HRESULT Import(ObjectRefKind kind, uint64_t id, bool dispatch, IUnknown** object) override;
    void Unexport(ObjectRefKind kind, uint64_t id) override;

    // Objects exported to the peer right now (tests and diagnostics).
    size_t ExportCount() const;

private:
    struct ExportEntry {
        ComPtr<IUnknown> object; // IDispatch when the object has it
        IUnknown* identity = nullptr;
        ApartmentRef home;
        uint64_t refs = 0;
    };

    enum class FrameRead { Frame, Closed, BadLength };

    explicit Channel(int fd) : fd_(fd) {}
    void ReadLoop();
    FrameRead ReadFrame(std::vector<uint8_t>* body);
    // Takes one frame in; what is wrong with it when the peer broke the protocol, else empty.
    std::string TakeFrame(std::vector<uint8_t> body);
    bool Send(const std::vector<uint8_t>& frame);
    std::string OnReply(std::vector<uint8_t> body);
    std::string OnRequest(std::vector<uint8_t> body);
    std::string OnRelease(const std::vector<uint8_t>& body);
    std::string OnHold(const std::vector<uint8_t>& body);
    void SendCount(FrameKind kind, uint64_t id, uint32_t count);
    void Serve(const std::vector<uint8_t>& body);
    void SendFailure(uint64_t callId, HRESULT hr);
    HRESULT Execute(uint64_t target, Operation op, Reader& in, Writer& out);
    HRESULT ExecuteInvoke(IUnknown* target, Reader& in, Writer& out);
    ApartmentRef HomeOf(const std::vector<uint8_t>& body, uint64_t target);
    ComPtr<IUnknown> FindExport(uint64_t id);
    // False (and nothing changed) when the object is not lent, or for fewer references than count.
    bool ReleaseExport(uint64_t id, uint64_t count);
    bool HoldExport(uint64_t id, uint64_t count);
    void Disconnect();

    int fd_;
    std::atomic<bool> dead_{false};
    std::mutex writeMutex_;
    std::thread reader_;

    mutable std::mutex mutex_;
    std::map<uint64_t, struct Waiter*> pending_;
    uint64_t nextCallId_ = 1;
    std::unordered_map<uint64_t, ExportEntry> exports_;
    std::unordered_map<IUnknown*, uint64_t> exportIds_;
    uint64_t nextExportId_ = 1;
};

// The proxy behind object when it is one of a channel's, else null (no reference taken).
class RemoteProxy;
RemoteProxy* RemoteProxyOf(IUnknown* object);

// A proxy for the peer's object id (one remote reference), as IUnknown (IDispatch when dispatch).
IUnknown* MakeRemoteProxy(ChannelRef channel, uint64_t id, bool dispatch);

// Counts of server-process locks (objects held by peers, CoAddRefServerProcess).
void AddServerProcessLock();
void ReleaseServerProcessLock();
ULONG ServerProcessLockCount();

} // namespace vr::rpc
