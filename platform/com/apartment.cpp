// Single-threaded apartments: the call queue, carried calls and the waits that serve them.
#include "platform/com/apartment.h"

#include "platform/com/comptr.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace vr {

namespace {

// The calling thread's apartment. A plain pointer: it must outlive the thread-local state of COM
// initialisation, which closes the apartment when a thread ends without its last CoUninitialize.
thread_local ApartmentRef* t_apartment = nullptr;

void SignalDescriptor(int fd) {
    uint64_t one = 1;
    static_cast<void>(write(fd, &one, sizeof one));
}

void DrainDescriptor(int fd) {
    uint64_t count = 0;
    static_cast<void>(read(fd, &count, sizeof count));
}

// The events that tell a thread its carried calls are done, kept for its next calls: auto-reset, so the wait
// that a call's one signal ends leaves the event ready again. Calls nest (a thread waiting for its call runs
// calls that make calls of their own), so each takes an event of its own from the thread's spare ones. A
// thread whose thread-local objects are already going makes and closes an event per call.
class DoneEvent {
public:
    DoneEvent() {
        if (t_state == State::Live && !t_spare->empty()) {
            event_ = t_spare->back();
            t_spare->pop_back();
            return;
        }
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~DoneEvent() {
        if (!event_) {
            return;
        }
        if (t_state == State::None) {
            static thread_local Spares spares;
            t_spare = &spares.events;
            t_state = State::Live;
        }
        if (t_state == State::Live) {
            t_spare->push_back(event_); // no signal is left: the call's one signal ended its wait
        } else {
            CloseHandle(event_);
        }
    }
    DoneEvent(const DoneEvent&) = delete;
    DoneEvent& operator=(const DoneEvent&) = delete;
    HANDLE Get() const { return event_; }

private:
    enum class State { None, Live, Closed };
    struct Spares {
        std::vector<HANDLE> events;
        ~Spares() {
            for (HANDLE event : events) {
                CloseHandle(event);
            }
            t_state = State::Closed;
        }
    };
    // Plain thread-locals: they stay usable while the thread's other thread-local objects are destroyed.
    static inline thread_local State t_state = State::None;
    static inline thread_local std::vector<HANDLE>* t_spare = nullptr;
    HANDLE event_ = nullptr;
};

// The outcome of a call carried to another thread; the lock orders the callee's writes (its out-arguments
// among them) before the caller's reads.
struct CarriedCall {
    std::mutex mutex;
    HRESULT hr = RPC_E_DISCONNECTED;
    ComPtr<IErrorInfo> error;
    HANDLE done = nullptr;
};

void RunCarriedCall(CarriedCall& call, const std::function<HRESULT()>& work) {
    static_cast<void>(SetErrorInfo(0, nullptr));
    HRESULT hr = RPC_E_SERVERFAULT;
    try {
        hr = work();
    } catch (...) {
        hr = RPC_E_SERVERFAULT;
    }
    ComPtr<IErrorInfo> error;
    static_cast<void>(GetErrorInfo(0, error.Put()));
    {
        std::lock_guard lock(call.mutex);
        call.hr = hr;
        call.error = std::move(error);
    }
    SetEvent(call.done);
}

} // namespace

Apartment::Apartment()
    : owner_(std::this_thread::get_id()), queueFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Apartment::~Apartment() {
    if (queueFd_ >= 0) {
        close(queueFd_);
    }
}

bool Apartment::IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool Apartment::Enqueue(QueuedCall call) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        queue_.push_back(std::move(call));
    }
    SignalQueue();
    return true;
}

bool Apartment::Post(std::function<void()> work) {
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    return Enqueue({[shared] { (*shared)(); }, [shared] { (*shared)(); }});
}

HRESULT Apartment::Call(const std::function<HRESULT()>& work) {
    if (IsOwningThread()) {
        return work();
    }
    DoneEvent done;
    auto call = std::make_shared<CarriedCall>();
    call->done = done.Get();
    if (!call->done) {
        return E_OUTOFMEMORY;
    }
    // The caller waits for the outcome, so work (and what it refers to) outlives the queued call's run.
    bool queued = Enqueue({[call, &work] { RunCarriedCall(*call, work); }, [call] { SetEvent(call->done); }});
    HRESULT hr = RPC_E_DISCONNECTED;
    if (queued) {
        DWORD index = 0;
        static_cast<void>(CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &call->done, &index));
        std::lock_guard lock(call->mutex);
        hr = call->hr;
        static_cast<void>(SetErrorInfo(0, call->error.Get()));
    } else {
        static_cast<void>(SetErrorInfo(0, nullptr));
    }
    return hr;
}

// The descriptor is written before the flag is set, and the flag cleared before the descriptor is drained: so
// whenever the descriptor is readable the flag is set or about to be, and a pump that finds it clear has
// nothing to drain (most pumps: a thread's waits and its event loop look at the queue often).
void Apartment::SignalQueue() {
    SignalDescriptor(queueFd_);
    queueSignalled_.store(true, std::memory_order_release);
}

int Apartment::Serve(int limit) {
    if (queueSignalled_.exchange(false, std::memory_order_acq_rel)) {
        DrainDescriptor(queueFd_);
    }
    int served = 0;
    while (served < limit) {
        QueuedCall next;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return served;
            }
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        EndKeptWatch(); // the call may run long: the sources' readers take what comes meanwhile
        next.run();
        ++served;
    }
    // Calls left for a later pump keep the descriptor readable.
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) {
        SignalQueue();
    }
    return served;
}

void Apartment::AddWaitSource(const std::shared_ptr<WaitSource>& source) {
    std::lock_guard lock(mutex_);
    for (const auto& known : waitSources_) {
        if (!known.owner_before(source) && !source.owner_before(known)) {
            return;
        }
    }
    waitSources_.push_back(source);
}

bool Apartment::WatchesSource(const WaitSource* source) const {
    std::lock_guard lock(mutex_);
    return std::any_of(waitSources_.begin(), waitSources_.end(),
                       [source](const std::weak_ptr<WaitSource>& weak) {
                           std::shared_ptr<WaitSource> known = weak.lock();
                           return known.get() == source;
                       });
}

std::vector<std::shared_ptr<WaitSource>> Apartment::WaitSources() {
    std::vector<std::shared_ptr<WaitSource>> live;
    std::lock_guard lock(mutex_);
    std::erase_if(waitSources_, [&live](const std::weak_ptr<WaitSource>& weak) {
        std::shared_ptr<WaitSource> source = weak.lock();
        if (!source || source->WaitDescriptor() < 0) {
            return true;
        }
        live.push_back(std::move(source));
        return false;
    });
    return live;
}

size_t Apartment::QueuedCount() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

uint64_t Apartment::AddExport(IUnknown* iface) {
    iface->AddRef();
    std::lock_guard lock(mutex_);
    if (closed_) {
        iface->Release();
        return 0;
    }
    uint64_t id = nextExport_++;
    exports_.emplace(id, iface);
    return id;
}

IUnknown* Apartment::FindExport(uint64_t id) const {
    std::lock_guard lock(mutex_);
    auto found = exports_.find(id);
    return found == exports_.end() ? nullptr : found->second;
}

IUnknown* Apartment::AddRefExport(uint64_t id) const {
    std::lock_guard lock(mutex_);
    auto found = exports_.find(id);
    if (found == exports_.end()) {
        return nullptr;
    }
    found->second->AddRef();
    return found->second;
}

void Apartment::ReleaseExport(uint64_t id) {
    IUnknown* iface = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto found = exports_.find(id);
        if (found == exports_.end()) {
            return;
        }
        iface = found->second;
        exports_.erase(found);
    }
    iface->Release(); // outside the lock: the object's final release may call anything
}

void Apartment::Close() {
    std::deque<QueuedCall> pending;
    std::unordered_map<uint64_t, IUnknown*> exports;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        pending.swap(queue_);
        exports.swap(exports_);
        waitSources_.clear();
    }
    for (QueuedCall& call : pending) {
        call.abandon();
    }
    for (auto& [id, iface] : exports) {
        iface->Release();
    }
}

ApartmentRef ThisApartment() {
    return t_apartment ? *t_apartment : nullptr;
}

int PumpMessages() {
    ApartmentRef apartment = ThisApartment();
    if (!apartment) {
        return 0;
    }
    return apartment->Serve(static_cast<int>(apartment->QueuedCount()));
}

int ApartmentQueueDescriptor() {
    ApartmentRef apartment = ThisApartment();
    return apartment ? apartment->QueueDescriptor() : -1;
}

void OpenThreadApartment() {
    if (!t_apartment) {
        t_apartment = new ApartmentRef(new Apartment);
    }
}

void CloseThreadApartment() {
    if (ApartmentRef* apartment = std::exchange(t_apartment, nullptr)) {
        (*apartment)->Close();
        delete apartment;
    }
}

} // namespace vr
