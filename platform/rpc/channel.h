// One connection between two processes and the objects each side lends the other over it.
//
// Both ends are alike: each makes calls on the other's objects and serves calls on its own. Frames are taken
// off the socket by whichever thread is there to wait for them: a thread that waits for its reply reads the
// socket itself, and so do the waits of a single-threaded apartment that has served calls of this channel
// (Apartment::AddWaitSource); a reader thread per channel takes what arrives while no such thread watches.
// Replies go to the thread that waits for them; requests run where their object lives (on its
// single-threaded apartment's thread, at once when that thread read them in its wait and nothing is queued
// before them, else queued; or on a thread of their own for an object of the multithreaded apartment or of
// no apartment). So a call usually costs one wake-up each way, as a bare socket exchange does.
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

class Channel : public std::enable_shared_from_this<Channel>, public ObjectMarshaller, public WaitSource {
public:
    // Takes over a connected socket and starts serving it.
    static ChannelRef Start(int fd);
    ~Channel() override;

    bool IsAlive() const { return !dead_.load(std::memory_order_acquire); }
    // Whether the peer has closed its end, whether or not a reading thread has seen it yet (a look at the
    // socket, for a connection about to be reused).
    bool PeerHasClosed() const;
    // Shuts the socket; the next thread to read it then ends the channel as if the peer had gone.
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

    // WaitSource: the socket, for the waits of apartments that serve this channel's calls. TakeIn ends the
    // watch before it runs the calls it read for the waiting thread's apartment.
    int WaitDescriptor() const override;
    void TakeIn() override;
    void BeginWatch() override;
    void EndWatch() override;

private:
    struct ExportEntry {
        ComPtr<IUnknown> object; // IDispatch when the object has it
        IUnknown* identity = nullptr;
        ApartmentRef home;
        uint64_t refs = 0;
    };

    // Work a frame leaves for the thread that read it, run once the reading is over (it may call anything,
    // this channel's socket included): a call for that thread's apartment, or an object's last release.
    struct Later {
        ApartmentRef home; // the reading thread's apartment, for a call; null for a release
        std::function<void()> work;
    };
    enum class ReadState { Open, Ended };

    explicit Channel(int fd) : fd_(fd) {}
    void ReadLoop();
    // Blocks the reader thread until the socket has something while no other thread watches it; false when
    // it woke for nothing (a signal, or a watcher came just after the socket became readable).
    bool AwaitUnwatchedInput();
    // Makes the reader's set ask the socket for input, or for nothing (under watchMutex_).
    void WatchForReader(bool readable);
    // Reads what the socket has now and takes in the whole frames, leaving in later what this thread runs
    // afterwards; Ended once the connection has ended (the thread that saw it end has disconnected it).
    ReadState ReadAvailable(std::vector<Later>& later);
    // Runs what the frames read left for this thread, in their order.
    static void RunLater(std::vector<Later>& later);
    // Waits for the reply of waiter's call, serving meanwhile (see the re-entrancy rule above).
    HRESULT AwaitReply(struct Waiter& waiter, PollingWait& wait);
    // Takes one frame in; what is wrong with it when the peer broke the protocol, else empty.
    std::string TakeFrame(std::vector<uint8_t> body, std::vector<Later>& later);
    bool Send(const std::vector<uint8_t>& frame);
    std::string OnReply(std::vector<uint8_t> body);
    std::string OnRequest(std::vector<uint8_t> body, std::vector<Later>& later);
    std::string OnRelease(const std::vector<uint8_t>& body, std::vector<Later>& later);
    std::string OnHold(const std::vector<uint8_t>& body);
    void SendCount(FrameKind kind, uint64_t id, uint32_t count);
    void Serve(const std::vector<uint8_t>& body);
    void SendFailure(uint64_t callId, HRESULT hr);
    HRESULT Execute(uint64_t target, Operation op, Reader& in, Writer& out);
    HRESULT ExecuteInvoke(IUnknown* target, Reader& in, Writer& out);
    ApartmentRef HomeOf(const std::vector<uint8_t>& body, uint64_t target);
    ComPtr<IUnknown> FindExport(uint64_t id);
    // False (and nothing changed) when the object is not lent, or for fewer references than count. An object
    // whose last reference goes and that may be released on this thread is released at once, or left in
    // *later when given.
    bool ReleaseExport(uint64_t id, uint64_t count, std::vector<Later>* later = nullptr);
    bool HoldExport(uint64_t id, uint64_t count);
    void Disconnect();

    int fd_;
    std::atomic<bool> dead_{false};
    std::mutex writeMutex_; // one frame at a time onto the socket
    std::thread reader_;    // started and detached by Start

    // Reading: one thread at a time reads the socket and takes in the frames (whoever holds readMutex_).
    std::mutex readMutex_;
    std::vector<uint8_t> inbox_;         // under readMutex_: bytes read, the start of a frame not yet whole
    size_t inboxSize_ = 0;               // under readMutex_: how many of inbox_ hold bytes read
    std::atomic<bool> readEnded_{false}; // set once (under readMutex_) when the connection has ended
    // Threads polling the socket besides the reader thread, which leaves the reading to them: while there
    // are any, the reader's epoll set (readerPoll_) asks nothing of the socket, so their frames do not wake
    // it.
    std::mutex watchMutex_;        // orders the changes of watchers_ with those of the reader's set
    std::atomic<int> watchers_{0}; // changed under watchMutex_, read by the reader without it
    int readerPoll_ = -1;          // the reader's epoll set (set by Start); -1: it polls the socket
    // Under readMutex_: apartments whose waits watch this channel (identities only, never followed).
    std::vector<const Apartment*> watchingApartments_;

    mutable std::mutex mutex_;
    std::vector<std::pair<uint64_t, struct Waiter*>> pending_; // the calls waiting for replies (a few)
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

// Requests that the channels' reader threads of this process have read and handed over to the thread that
// runs them, so far (tests and diagnostics: a run of calls to the objects of an apartment whose thread waits
// for them needs none after the first).
uint64_t ReaderHandOffs();

// Counts of server-process locks (objects held by peers, CoAddRefServerProcess).
void AddServerProcessLock();
void ReleaseServerProcessLock();
ULONG ServerProcessLockCount();

} // namespace vr::rpc
