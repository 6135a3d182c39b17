// Single-threaded apartments: each one's call queue, the waits that serve it, and calls carried into it.
//
// A thread that calls CoInitialize (or CoInitializeEx with COINIT_APARTMENTTHREADED) owns a single-threaded
// apartment: objects made on it are called on it only. Another thread reaches them through a proxy, whose
// calls are queued to the owning thread and run there when that thread pumps.
//
// THE RE-ENTRANCY RULE. A thread of a single-threaded apartment runs the calls queued for its apartment
// whenever it waits: in PumpMessages, in CoWaitForMultipleHandles, and while it waits for a call it made into
// another apartment. It runs them one at a time, in the order they were queued, each to its end; a call it
// runs may itself wait, and then serves further calls nested inside that wait. So a call-back into the
// waiting thread's apartment, made during that thread's own outgoing call (A calls B, B calls A back), runs
// on the waiting thread, nested in its wait, as a direct call would; and two apartments that call each other
// at the same time both make progress. Calls from other processes for its objects are run the same way (its
// waits read their connections, see WaitSource). Calls never run at other times: code between waits is never
// interrupted. A thread of the multithreaded apartment (or of none) serves nothing: it blocks while it waits.
//
// A closing apartment (the owning thread's last CoUninitialize, or the thread's end) fails the calls still
// queued for it with RPC_E_DISCONNECTED, releases the references it handed to other apartments, and refuses
// further calls with RPC_E_DISCONNECTED: a caller is never left waiting for a thread that is gone.
//
// Driving the queue from another event loop (a Qt window thread): watch ApartmentQueueDescriptor() for
// readability (a QSocketNotifier of type Read) and call vr::PumpMessages() when it fires. The descriptor is
// readable whenever calls are queued that no pump has run yet.
#pragma once

#include "platform/com/errorinfo.h"
#include "platform/com/waithandle.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

enum COWAIT_FLAGS : DWORD {
    COWAIT_DEFAULT = 0x0,
    COWAIT_WAITALL = 0x1,
    COWAIT_ALERTABLE = 0x2,
};

// Waits until one of the handles (COWAIT_WAITALL: all of them) is signalled or timeout milliseconds pass
// (INFINITE: no limit), serving the apartment's queued calls meanwhile when the caller owns a single-threaded
// apartment. S_OK with *index set to the signalled handle's position (0 for COWAIT_WAITALL);
// RPC_S_CALLPENDING when the time ran out; E_INVALIDARG for a null index, no handles, or a handle that is not
// an event. Auto-reset events are reset by the wait they end.
[[nodiscard]] HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD timeout, ULONG count, HANDLE* handles,
                                               DWORD* index);

namespace vr {

class Apartment;
using ApartmentRef = std::shared_ptr<Apartment>;

// Work besides the call queue that the waits of an apartment's thread take in themselves: the socket of a
// cross-process channel (platform/rpc/channel.h), whose calls for this apartment then run on the waiting
// thread without another thread in between. A wait polls WaitDescriptor() along with its events and queue,
// calls BeginWatch before it polls, and after the poll either TakeIn (which ends the watch) or EndWatch.
// Threads: every member may be called from any thread at once.
class WaitSource {
public:
    virtual ~WaitSource() = default;
    // The descriptor to poll for readability; -1 once the source has ended (waits then drop it).
    virtual int WaitDescriptor() const = 0;
    // Takes in what the descriptor has (called when it polled readable or hung up) and ends the calling
    // thread's watch. Calls for the waiting thread's apartment run here, nested in the wait, in the order
    // they came.
    virtual void TakeIn() = 0;
    // A thread starts or stops polling the descriptor (the source may leave its reading to such threads).
    virtual void BeginWatch() = 0;
    virtual void EndWatch() = 0;
};

// One wait of the calling thread that polls wait sources (CoWaitForMultipleHandles, a cross-process call
// waiting for its reply); a thread's waits nest, the innermost is the one that polls next.
//
// KEEPING A WATCH. A thread that ran a call read from a source inside such a wait keeps watching that
// source from just before it sends the call's reply until the wait polls again (KeepWatching): the peer's
// next request, which often arrives before this thread is back in its poll (the peer's thread, woken by the
// reply, may even take this thread's core), then wakes this thread instead of the source's reader, which
// could only hand the request over to it. So a run of calls costs one wake-up each way. The kept watch ends
// as soon as the thread runs anything else (each call the waits run begins with EndKeptWatch), begins
// another wait, or leaves the wait; the poll it was kept for takes it over as its own watch.
// Threads: the calling thread's own; made and destroyed on it, innermost first.
class PollingWait {
public:
    // source: the only source this wait polls; null: the wait sources of the calling thread's apartment.
    explicit PollingWait(const WaitSource* source = nullptr);
    ~PollingWait();
    PollingWait(const PollingWait&) = delete;
    PollingWait& operator=(const PollingWait&) = delete;

    // The source this thread has kept watching since a reply, handed to the poll about to begin, which then
    // watches it without another BeginWatch; null when none is kept.
    std::shared_ptr<WaitSource> TakeKept();

private:
    friend bool KeepWatching(const std::shared_ptr<WaitSource>& source);
    friend void EndKeptWatch();
    bool Polls(const WaitSource* source) const;
    void EndKept();

    PollingWait* outer_;
    const WaitSource* only_;
    std::shared_ptr<WaitSource> kept_; // watched (BeginWatch) while set
};

// Begins watching source until the calling thread's innermost polling wait polls again (see PollingWait);
// false, and nothing begun, when the thread is in no such wait, that wait does not poll source, or it keeps
// another source already.
bool KeepWatching(const std::shared_ptr<WaitSource>& source);
// Ends the watch the calling thread's innermost polling wait keeps, if any: called before a call runs.
void EndKeptWatch();

// The single-threaded apartment of the calling thread; null on a thread of the multithreaded apartment or
// of none.
ApartmentRef ThisApartment();

// Runs the calls queued for the calling thread's apartment at the time of the call (the PeekMessage and
// DispatchMessage loop of a window thread); the number run. 0 outside a single-threaded apartment.
int PumpMessages();

// The descriptor that polls readable while calls wait in the calling thread's queue; -1 outside a
// single-threaded apartment. It stays owned by the apartment and closes with it.
int ApartmentQueueDescriptor();

// One single-threaded apartment: its owning thread, its queue of calls and the interface references it has
// handed to other apartments (its exports).
// Threads: Call, Post and the export table may be used from any thread; Serve runs on the owning thread only.
class Apartment : public std::enable_shared_from_this<Apartment> {
public:
    ~Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

    // Runs work on the owning thread and returns its result; the error information it left there becomes
    // the calling thread's (none when it left none). Called on the owning thread, work runs at once.
    // RPC_E_DISCONNECTED when the apartment has closed or closes before the call runs; RPC_E_SERVERFAULT when
    // work throws.
    [[nodiscard]] HRESULT Call(const std::function<HRESULT()>& work);

    // Queues work for the owning thread without waiting for it; false when the apartment has closed.
    bool Post(std::function<void()> work);

    bool IsOwningThread() const { return std::this_thread::get_id() == owner_; }
    bool IsClosed() const;

    // The export table: interface pointers of this apartment's objects that proxies elsewhere stand for. An
    // export holds one reference, given back by ReleaseExport or when the apartment closes. FindExport
    // answers null for an export released or closed.
    uint64_t AddExport(IUnknown* iface);
    IUnknown* FindExport(uint64_t id) const;
    // The export with a new reference, from any thread; null when released or closed.
    IUnknown* AddRefExport(uint64_t id) const;
    void ReleaseExport(uint64_t id);

    // Makes the waits of this apartment's thread watch source too, until it ends; a source added twice is
    // watched once.
    void AddWaitSource(const std::shared_ptr<WaitSource>& source);
    // The sources watched now (ended ones are dropped).
    std::vector<std::shared_ptr<WaitSource>> WaitSources();
    // Whether the waits of this apartment's thread watch source.
    bool WatchesSource(const WaitSource* source) const;

    // Runs at most limit queued calls (the owning thread only); the number run.
    int Serve(int limit);
    size_t QueuedCount() const;
    int QueueDescriptor() const { return queueFd_; }

private:
    friend void OpenThreadApartment();
    friend void CloseThreadApartment();

    struct QueuedCall {
        std::function<void()> run;
        std::function<void()> abandon; // a closing apartment's answer to a call it will never run
    };

    Apartment();
    bool Enqueue(QueuedCall call);
    void SignalQueue();
    void Close();

    const std::thread::id owner_;
    int queueFd_ = -1;
    std::atomic<bool> queueSignalled_{false}; // set after each signal of queueFd_, cleared before its drain
    mutable std::mutex mutex_;
    std::deque<QueuedCall> queue_;
    std::unordered_map<uint64_t, IUnknown*> exports_;
    uint64_t nextExport_ = 1;
    bool closed_ = false;
    std::vector<std::weak_ptr<WaitSource>> waitSources_; // under mutex_
};

// Called by CoInitialize and CoUninitialize: the calling thread enters and leaves its single-threaded
// apartment.
void OpenThreadApartment();
void CloseThreadApartment();

} // namespace vr
