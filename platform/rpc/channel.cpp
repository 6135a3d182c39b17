// A channel: frames in and out of the socket, waits that serve, requests run where their objects live.
#include "platform/rpc/channel.h"

#include "platform/com/errorinfo.h"
#include "platform/rpc/remote_proxy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <random>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vr::rpc {

// One outgoing call waiting for its reply; call-backs of its causality that no apartment takes queue here.
struct Waiter {
    uint64_t causality = 0;
    HANDLE wake = nullptr; // auto-reset, the waiting thread's own (set only by other threads)
    std::thread::id thread = std::this_thread::get_id();
    std::mutex mutex;
    std::vector<std::function<void()>> nested; // a vector: a deque allocates even while empty
    bool replied = false;
    HRESULT failure = S_OK; // the channel's end, when no reply will come
    std::vector<uint8_t> reply;
};

namespace {

ProcessServices g_services;
std::mutex g_servicesMutex;

// The causality the calling thread's calls carry: the one of the incoming call it runs, if any.
thread_local uint64_t t_causality = 0;

// The channel whose incoming call the calling thread runs, if any (CallingProcess).
thread_local const Channel* t_servedChannel = nullptr;

// Whether the calling thread is a channel's reader, and how many requests the readers handed over.
thread_local bool t_onReaderThread = false;
std::atomic<uint64_t> g_readerHandOffs{0};

// Threads waiting for replies (a few at a time), the innermost wait of a causality after the outer ones;
// kept in one vector, so that a call adds and removes its entry without an allocation.
struct WaiterRegistry {
    std::mutex mutex;
    std::vector<Waiter*> waiting;
};
WaiterRegistry& Waiters() {
    static auto* registry = new WaiterRegistry; // outlives threads that end during exit
    return *registry;
}

uint64_t NewCausality() {
    static std::atomic<uint64_t> next{std::random_device{}() | (uint64_t{std::random_device{}()} << 32)};
    uint64_t id = next.fetch_add(1, std::memory_order_relaxed);
    return id ? id : next.fetch_add(1, std::memory_order_relaxed);
}

// Wakes the thread of waiter unless it is the calling thread, which looks at what it waits for before it
// sleeps again.
void Wake(Waiter* waiter) {
    if (waiter->thread != std::this_thread::get_id()) {
        SetEvent(waiter->wake);
    }
}

// The calling thread's wake event (auto-reset), made once per thread; a thread whose own end has already
// closed it (a call made while its thread-local objects go) gets one of its own for the call.
class WakeEvent {
public:
    WakeEvent() {
        if (t_state == State::Live) {
            event_ = t_event;
            return;
        }
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (t_state == State::None && event_) {
            t_event = event_;
            t_state = State::Live;
            static thread_local Closer closer;
            return;
        }
        owned_ = true;
    }
    ~WakeEvent() {
        if (owned_ && event_) {
            CloseHandle(event_);
        }
    }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    HANDLE Get() const { return event_; }

private:
    enum class State { None, Live, Closed };
    struct Closer {
        ~Closer() {
            CloseHandle(t_event);
            t_event = nullptr;
            t_state = State::Closed;
        }
    };
    // Plain thread-locals: they stay usable while the thread's other thread-local objects are destroyed.
    static inline thread_local HANDLE t_event = nullptr;
    static inline thread_local State t_state = State::None;
    HANDLE event_ = nullptr;
    bool owned_ = false; // a call's own event, closed with it
};

// Hands work to the innermost thread waiting with this causality; false when none waits.
bool DeliverToWaiter(uint64_t causality, std::function<void()> work) {
    WaiterRegistry& registry = Waiters();
    std::lock_guard lock(registry.mutex);
    auto found = std::find_if(registry.waiting.rbegin(), registry.waiting.rend(),
                              [causality](const Waiter* waiter) { return waiter->causality == causality; });
    if (found == registry.waiting.rend()) {
        return false;
    }
    Waiter* waiter = *found;
    {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->nested.push_back(std::move(work));
    }
    Wake(waiter);
    return true;
}

class CausalityScope {
public:
    explicit CausalityScope(uint64_t causality) : saved_(std::exchange(t_causality, causality)) {}
    ~CausalityScope() { t_causality = saved_; }
    CausalityScope(const CausalityScope&) = delete;
    CausalityScope& operator=(const CausalityScope&) = delete;

private:
    uint64_t saved_;
};

// The channel an incoming call came on, for the call's length (nested calls of other channels take over).
class ServedChannelScope {
public:
    explicit ServedChannelScope(const Channel* channel) : saved_(std::exchange(t_servedChannel, channel)) {}
    ~ServedChannelScope() { t_servedChannel = saved_; }
    ServedChannelScope(const ServedChannelScope&) = delete;
    ServedChannelScope& operator=(const ServedChannelScope&) = delete;

private:
    const Channel* saved_;
};

std::atomic<ULONG> g_serverLocks{0};

// The room for frames a channel keeps between reads.
constexpr size_t kKeptInbox = size_t{1} << 20;

} // namespace

void SetProcessServices(const ProcessServices& services) {
    std::lock_guard lock(g_servicesMutex);
    g_services = services;
}

pid_t CallingProcess() {
    int fd = t_servedChannel ? t_servedChannel->WaitDescriptor() : -1;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        return 0;
    }
    return peer.pid;
}

uint64_t ReaderHandOffs() {
    return g_readerHandOffs.load(std::memory_order_relaxed);
}

void AddServerProcessLock() {
    g_serverLocks.fetch_add(1, std::memory_order_acq_rel);
}
void ReleaseServerProcessLock() {
    g_serverLocks.fetch_sub(1, std::memory_order_acq_rel);
}
ULONG ServerProcessLockCount() {
    return g_serverLocks.load(std::memory_order_acquire);
}

// ---- Life ----

ChannelRef Channel::Start(int fd) {
    ChannelRef channel(new Channel(fd));
    channel->readerPoll_ = epoll_create1(EPOLL_CLOEXEC);
    epoll_event readable{};
    readable.events = EPOLLIN;
    if (channel->readerPoll_ >= 0 && epoll_ctl(channel->readerPoll_, EPOLL_CTL_ADD, fd, &readable) != 0) {
        close(channel->readerPoll_);
        channel->readerPoll_ = -1; // the reader polls the socket itself, as it does without an epoll set
    }
    channel->reader_ = std::thread([channel] { channel->ReadLoop(); });
    channel->reader_.detach();
    return channel;
}

Channel::~Channel() {
    if (readerPoll_ >= 0) {
        close(readerPoll_);
    }
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool Channel::PeerHasClosed() const {
    pollfd look{fd_, POLLRDHUP, 0};
    return poll(&look, 1, 0) == 1 && (look.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void Channel::Shutdown() {
    shutdown(fd_, SHUT_RDWR);
}

// The reader thread: takes in what arrives while no waiting thread watches the socket. While one watches,
// the reader's epoll set asks nothing of the socket, so a frame wakes only the thread it is for (as a bare
// socket exchange would); when the last watcher leaves, the set asks for input again, which wakes the reader
// at once if something is already there.
void Channel::ReadLoop() {
    t_onReaderThread = true;
    for (;;) {
        if (!AwaitUnwatchedInput()) {
            continue;
        }
        std::vector<Later> later;
        ReadState state = ReadAvailable(later);
        RunLater(later);
        if (state == ReadState::Ended) {
            return;
        }
    }
}

bool Channel::AwaitUnwatchedInput() {
    if (readerPoll_ < 0) {
        // Without an epoll set both poll the socket: the reader leaves a watcher's frame to it and looks
        // again a little later.
        pollfd socket{fd_, POLLIN, 0};
        if (poll(&socket, 1, -1) < 0) {
            return false;
        }
        if (watchers_.load(std::memory_order_acquire) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return false;
        }
        return true;
    }
    epoll_event ready{};
    if (epoll_wait(readerPoll_, &ready, 1, -1) < 1) {
        return false; // interrupted by a signal
    }
    if (watchers_.load(std::memory_order_acquire) == 0) {
        return true;
    }
    if ((ready.events & (EPOLLHUP | EPOLLERR)) != 0) {
        // The end, reported whatever the interest: the watcher ends the channel; look again a little later.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false; // a watcher came just after the socket became readable: the frame is its
}

Channel::ReadState Channel::ReadAvailable(std::vector<Later>& later) {
    std::string broken;
    bool ended = false;
    {
        std::lock_guard lock(readMutex_);
        if (readEnded_.load(std::memory_order_relaxed)) {
            return ReadState::Ended;
        }
        // Room for what is there, and at least for the rest of the frame begun.
        uint32_t length = 0;
        if (inboxSize_ >= 4) {
            std::memcpy(&length, inbox_.data(), 4);
        }
        size_t wanted = std::max<size_t>(inboxSize_ + 4096,
                                         std::min<size_t>(4 + size_t{length}, 4 + size_t{kMaxFrameBody}));
        if (inbox_.size() < wanted) {
            inbox_.resize(std::max(wanted, size_t{16384}));
        }
        ssize_t got = recv(fd_, inbox_.data() + inboxSize_, inbox_.size() - inboxSize_, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            // The peer went (or died), also in the middle of a frame, which breaks no rule.
            ended = true;
        } else if (got > 0) {
            inboxSize_ += static_cast<size_t>(got);
        }
        size_t at = 0;
        while (!ended && inboxSize_ - at >= 4) {
            std::memcpy(&length, inbox_.data() + at, 4);
            if (length == 0 || length > kMaxFrameBody) {
                broken = "a frame of no length or longer than any frame";
                break;
            }
            if (inboxSize_ - at - 4 < length) {
                break;
            }
            std::vector<uint8_t> body(inbox_.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                      inbox_.begin() + static_cast<std::ptrdiff_t>(at + 4 + length));
            at += 4 + size_t{length};
            if (!(broken = TakeFrame(std::move(body), later)).empty()) {
                break;
            }
        }
        if (at > 0) {
            std::memmove(inbox_.data(), inbox_.data() + at, inboxSize_ - at);
            inboxSize_ -= at;
        }
        if (inboxSize_ == 0 && inbox_.size() > kKeptInbox) {
            inbox_ = {}; // a large frame's room is not kept
        }
        ended = ended || !broken.empty();
        if (ended) {
            readEnded_.store(true, std::memory_order_release);
        }
    }
    if (!broken.empty()) {
        std::fprintf(stderr, "rpc: the peer of connection %d sent %s; the connection is ended\n", fd_,
                     broken.c_str());
    }
    if (ended) {
        Disconnect();
    }
    return ended ? ReadState::Ended : ReadState::Open;
}

void Channel::RunLater(std::vector<Later>& later) {
    // The first call runs here at once when nothing is queued before it; the others are queued behind it (so
    // they run in order, nested in its waits or after it, as queued calls do).
    bool first = true;
    for (Later& item : later) {
        if (!item.home) {
            EndKeptWatch();
            item.work();
            continue;
        }
        if (first && item.home->QueuedCount() == 0) {
            first = false;
            EndKeptWatch();
            item.work();
            continue;
        }
        first = false;
        if (!item.home->Post(item.work)) {
            item.work(); // refused only by a closed apartment, which its own waiting thread cannot be
        }
    }
    later.clear();
}

int Channel::WaitDescriptor() const {
    return readEnded_.load(std::memory_order_acquire) ? -1 : fd_;
}

void Channel::TakeIn() {
    std::vector<Later> later;
    static_cast<void>(ReadAvailable(later)); // an end is handled inside (the channel disconnects)
    // Not watching while calls run: the reader thread takes what comes for others meanwhile.
    EndWatch();
    RunLater(later);
}

void Channel::BeginWatch() {
    std::lock_guard lock(watchMutex_);
    if (watchers_.fetch_add(1, std::memory_order_acq_rel) == 0) {
        WatchForReader(false);
    }
}

void Channel::EndWatch() {
    std::lock_guard lock(watchMutex_);
    if (watchers_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        WatchForReader(true);
    }
}

void Channel::WatchForReader(bool readable) {
    if (readerPoll_ < 0) {
        return;
    }
    // A change of a registered descriptor allocates nothing and cannot fail. Given back, the socket wakes
    // the reader at once when something is already there (the set is level-triggered).
    epoll_event interest{};
    interest.events = readable ? static_cast<uint32_t>(EPOLLIN) : 0U;
    (void)epoll_ctl(readerPoll_, EPOLL_CTL_MOD, fd_, &interest);
}

std::string Channel::TakeFrame(std::vector<uint8_t> body, std::vector<Later>& later) {
    switch (static_cast<FrameKind>(body[0])) {
    case FrameKind::Reply:
        return OnReply(std::move(body));
    case FrameKind::Request:
        return OnRequest(std::move(body), later);
    case FrameKind::Release:
        return OnRelease(body, later);
    case FrameKind::Hold:
        return OnHold(body);
    }
    return "a frame of unknown kind " + std::to_string(body[0]);
}

bool Channel::Send(const std::vector<uint8_t>& frame) {
    std::lock_guard lock(writeMutex_);
    const uint8_t* bytes = frame.data();
    size_t size = frame.size();
    while (size > 0) {
        ssize_t sent = send(fd_, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void Channel::Disconnect() {
    dead_.store(true, std::memory_order_release);
    shutdown(fd_, SHUT_RDWR);
    std::unordered_map<uint64_t, ExportEntry> exports;
    {
        // Under the lock: a waiter leaves pending_ under it before its call returns.
        std::lock_guard lock(mutex_);
        for (auto& [id, waiter] : pending_) {
            {
                std::lock_guard waiterLock(waiter->mutex);
                waiter->failure = RPC_E_SERVER_DIED;
            }
            Wake(waiter);
        }
        pending_.clear();
        exports.swap(exports_);
        exportIds_.clear();
    }
    // What the peer held goes back to each object's own thread.
    for (auto& [id, entry] : exports) {
        ReleaseServerProcessLock();
        ApartmentRef home = entry.home;
        if (home && !home->IsOwningThread()) {
            auto object = std::make_shared<ComPtr<IUnknown>>(std::move(entry.object));
            home->Post([object] { object->Reset(); });
        }
    }
}

// ---- Outgoing calls ----

Writer Channel::BeginRequest(uint64_t target, Operation op, uint64_t* callId, uint64_t* causality) {
    {
        std::lock_guard lock(mutex_);
        *callId = nextCallId_++;
    }
    *causality = t_causality ? t_causality : NewCausality();
    Writer request(this);
    request.U8(static_cast<uint8_t>(FrameKind::Request));
    request.U64(*callId);
    request.U64(*causality);
    request.U64(target);
    request.U8(static_cast<uint8_t>(op));
    return request;
}

HRESULT Channel::Transact(Writer request, uint64_t callId, uint64_t causality, std::vector<uint8_t>* reply) {
    WakeEvent wake;
    Waiter waiter;
    waiter.causality = causality;
    waiter.wake = wake.Get();
    if (!waiter.wake) {
        return E_OUTOFMEMORY;
    }
    {
        std::lock_guard lock(mutex_);
        if (!IsAlive()) {
            return RPC_E_DISCONNECTED;
        }
        pending_.emplace_back(callId, &waiter);
    }
    {
        std::lock_guard lock(Waiters().mutex);
        Waiters().waiting.push_back(&waiter);
    }
    HRESULT hr = S_OK;
    {
        PollingWait wait(this);
        // Watched from before the request leaves, so a reply that comes before this thread polls (it may
        // lose its core to the peer it just woke) still wakes this thread, not the reader.
        static_cast<void>(KeepWatching(shared_from_this())); // this wait polls this channel: it keeps it
        hr = Send(request.Finish()) ? S_OK : RPC_E_DISCONNECTED;
        if (SUCCEEDED(hr)) {
            hr = AwaitReply(waiter, wait);
        }
    }
    {
        std::lock_guard lock(Waiters().mutex);
        std::erase(Waiters().waiting, &waiter);
    }
    {
        std::lock_guard lock(mutex_);
        std::erase_if(pending_, [callId](const auto& entry) { return entry.first == callId; });
    }
    // Call-backs that arrived after the reply still run: their callers wait for them.
    for (auto& work : waiter.nested) {
        if (!DeliverToWaiter(causality, work)) {
            work();
        }
    }
    if (SUCCEEDED(hr)) {
        *reply = std::move(waiter.reply);
    }
    return hr;
}

HRESULT Channel::AwaitReply(Waiter& waiter, PollingWait& wait) {
    ApartmentRef apartment = ThisApartment();
    // What the wait polls: the socket (while the connection lasts), the wake event, the apartment's queue.
    enum Polled { kSocket, kWake, kQueue };
    pollfd polled[3] = {{-1, POLLIN, 0},
                        {vr::detail::EventDescriptor(waiter.wake), POLLIN, 0},
                        {apartment ? apartment->QueueDescriptor() : -1, POLLIN, 0}};
    for (;;) {
        // The apartment's calls queued by now (as CoWaitForMultipleHandles serves them).
        if (apartment) {
            size_t queued = apartment->QueuedCount();
            if (queued > 0 || polled[kQueue].revents != 0) {
                apartment->Serve(static_cast<int>(queued));
            }
        }
        std::vector<std::function<void()>> nested;
        bool done = false;
        HRESULT hr = S_OK;
        {
            std::lock_guard lock(waiter.mutex);
            nested.swap(waiter.nested);
            done = waiter.replied || FAILED(waiter.failure);
            hr = waiter.failure;
        }
        for (auto& work : nested) {
            EndKeptWatch();
            work();
        }
        if (done) {
            return hr;
        }
        if (!nested.empty()) {
            continue; // what ran may have brought the reply
        }
        polled[kSocket].fd = readEnded_.load(std::memory_order_acquire) ? -1 : fd_;
        for (pollfd& one : polled) {
            one.revents = 0;
        }
        std::vector<Later> later;
        if (!wait.TakeKept()) {
            BeginWatch();
        }
        int ready = poll(polled, 3, -1);
        if (ready > 0 && polled[kSocket].revents != 0) {
            static_cast<void>(ReadAvailable(later)); // an end fails this call through the disconnection
        }
        EndWatch();
        RunLater(later);
        if (polled[kWake].revents != 0) {
            static_cast<void>(vr::detail::ClaimEvent(waiter.wake)); // the wake is only a prompt to look
        }
    }
}

void Channel::SendRelease(uint64_t id, uint32_t count) {
    SendCount(FrameKind::Release, id, count);
}

void Channel::SendHold(uint64_t id, uint32_t count) {
    SendCount(FrameKind::Hold, id, count);
}

void Channel::SendCount(FrameKind kind, uint64_t id, uint32_t count) {
    if (!IsAlive()) {
        return;
    }
    Writer frame;
    frame.U8(static_cast<uint8_t>(kind));
    frame.U64(id);
    frame.U32(count);
    static_cast<void>(Send(frame.Finish()));
}

std::string Channel::OnReply(std::vector<uint8_t> body) {
    Reader in(body.data() + 1, body.size() - 1);
    uint64_t callId = 0;
    if (!in.U64(&callId)) {
        return "a reply cut short";
    }
    std::lock_guard lock(mutex_);
    auto found = std::find_if(pending_.begin(), pending_.end(),
                              [callId](const auto& entry) { return entry.first == callId; });
    if (found == pending_.end()) {
        return {}; // a reply nobody waits for any more
    }
    Waiter* waiter = found->second;
    {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->reply.assign(body.begin() + 9, body.end());
        waiter->replied = true;
    }
    Wake(waiter);
    return {};
}

std::string Channel::OnRelease(const std::vector<uint8_t>& body, std::vector<Later>& later) {
    Reader in(body.data() + 1, body.size() - 1);
    uint64_t id = 0;
    uint32_t count = 0;
    if (!in.U64(&id) || !in.U32(&count) || !in.AtEnd()) {
        return "a release cut short or too long";
    }
    if (!ReleaseExport(id, count, &later)) {
        return "a release of " + std::to_string(count) + " reference(s) to object " + std::to_string(id) +
               ", which it was never lent as often";
    }
    return {};
}

std::string Channel::OnHold(const std::vector<uint8_t>& body) {
    Reader in(body.data() + 1, body.size() - 1);
    uint64_t id = 0;
    uint32_t count = 0;
    if (!in.U64(&id) || !in.U32(&count) || !in.AtEnd()) {
        return "a hold cut short or too long";
    }
    if (!HoldExport(id, count)) {
        return "a hold of object " + std::to_string(id) + ", which it was never lent";
    }
    return {};
}

// ---- Incoming calls ----

std::string Channel::OnRequest(std::vector<uint8_t> body, std::vector<Later>& later) {
    Reader in(body.data() + 1, body.size() - 1);
    uint64_t callId = 0;
    uint64_t causality = 0;
    uint64_t target = 0;
    if (!in.U64(&callId) || !in.U64(&causality) || !in.U64(&target)) {
        return "a request cut short";
    }
    auto self = shared_from_this();
    auto shared = std::make_shared<std::vector<uint8_t>>(std::move(body));
    auto run = [self, shared] { self->Serve(*shared); };
    ApartmentRef home = HomeOf(*shared, target);
    if (home && home->IsOwningThread()) {
        later.push_back({std::move(home), std::move(run)}); // read by the object's own thread, in a wait
        return {};
    }
    if (t_onReaderThread) {
        g_readerHandOffs.fetch_add(1, std::memory_order_relaxed);
    }
    if (home) {
        // Its thread's waits read this channel from now on, so its next calls need no thread in between.
        if (std::find(watchingApartments_.begin(), watchingApartments_.end(), home.get()) ==
            watchingApartments_.end()) {
            watchingApartments_.push_back(home.get());
            home->AddWaitSource(shared_from_this());
        }
        if (!home->Post(run)) {
            SendFailure(callId, RPC_E_DISCONNECTED); // its thread is gone: nothing may run the object now
        }
        return {};
    }
    if (!DeliverToWaiter(causality, run)) {
        std::thread(run).detach();
    }
    return {};
}

void Channel::SendFailure(uint64_t callId, HRESULT hr) {
    Writer reply;
    reply.U8(static_cast<uint8_t>(FrameKind::Reply));
    reply.U64(callId);
    reply.U32(static_cast<uint32_t>(hr));
    reply.U8(0); // no error information
    static_cast<void>(Send(reply.Finish()));
}

ApartmentRef Channel::HomeOf(const std::vector<uint8_t>& body, uint64_t target) {
    if (target == 0) {
        // Class objects and published objects run where they were registered.
        ProcessServices services;
        {
            std::lock_guard lock(g_servicesMutex);
            services = g_services;
        }
        Reader in(body.data() + 25, body.size() - 25); // after kind, call id, causality and target
        uint8_t op = 0;
        GUID clsid{};
        uint64_t id = 0;
        if (!in.U8(&op)) {
            return nullptr;
        }
        if (op == static_cast<uint8_t>(Operation::CreateInstance) && in.Guid(&clsid) && services.classHome) {
            return services.classHome(clsid);
        }
        if (op == static_cast<uint8_t>(Operation::GetPublished) && in.U64(&id) && services.publishedHome) {
            return services.publishedHome(id);
        }
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto found = exports_.find(target);
    return found == exports_.end() ? nullptr : found->second.home;
}

void Channel::Serve(const std::vector<uint8_t>& body) {
    Reader in(body.data() + 1, body.size() - 1, this);
    uint64_t callId = 0;
    uint64_t causality = 0;
    uint64_t target = 0;
    uint8_t op = 0;
    static_cast<void>(in.U64(&callId) && in.U64(&causality) && in.U64(&target) && in.U8(&op));
    CausalityScope scope(causality);
    ServedChannelScope served(this);
    Writer results(this);
    static_cast<void>(SetErrorInfo(0, nullptr));
    HRESULT hr = RPC_E_SERVERFAULT;
    try {
        hr = Execute(target, static_cast<Operation>(op), in, results);
    } catch (...) {
        hr = RPC_E_SERVERFAULT;
    }
    Writer reply(this);
    reply.U8(static_cast<uint8_t>(FrameKind::Reply));
    reply.U64(callId);
    reply.U32(static_cast<uint32_t>(hr));
    reply.ErrorInfo();
    std::vector<uint8_t> tail = results.Finish();
    reply.Raw(tail.data() + 4, tail.size() - 4);
    // Run inside a wait of this thread that polls this channel, the peer's next request is this thread's to
    // read (see PollingWait); "false" only means the reader takes it.
    static_cast<void>(KeepWatching(shared_from_this()));
    static_cast<void>(Send(reply.Finish()));
}

HRESULT Channel::Execute(uint64_t target, Operation op, Reader& in, Writer& out) {
    ProcessServices services;
    {
        std::lock_guard lock(g_servicesMutex);
        services = g_services;
    }
    if (target == 0) {
        ComPtr<IUnknown> object;
        HRESULT hr = RPC_E_INVALID_DATA;
        if (op == Operation::CreateInstance) {
            CLSID clsid{};
            IID iid{};
            if (!in.Guid(&clsid) || !in.Guid(&iid) || !in.AtEnd()) {
                return RPC_E_INVALID_DATA;
            }
            hr = services.createInstance ? services.createInstance(clsid, iid, object.Put())
                                         : REGDB_E_CLASSNOTREG;
        } else if (op == Operation::GetPublished) {
            uint64_t id = 0;
            if (!in.U64(&id) || !in.AtEnd()) {
                return RPC_E_INVALID_DATA;
            }
            hr = services.getPublished ? services.getPublished(id, object.Put()) : MK_E_UNAVAILABLE;
        }
        if (FAILED(hr)) {
            return hr;
        }
        return out.Object(object.Get());
    }
    ComPtr<IUnknown> object = FindExport(target);
    if (!object) {
        return RPC_E_DISCONNECTED;
    }
    switch (op) {
    case Operation::QueryInterface: {
        IID iid{};
        if (!in.Guid(&iid) || !in.AtEnd()) {
            return RPC_E_INVALID_DATA;
        }
        ComPtr<IUnknown> asked;
        return object->QueryInterface(iid, asked.PutVoid());
    }
    case Operation::GetIDsOfNames: {
        uint32_t count = 0;
        if (!in.U32(&count) || count == 0 || count > in.Remaining() / 4) {
            return RPC_E_INVALID_DATA;
        }
        std::vector<BSTR> names(count, nullptr);
        bool ok = true;
        for (BSTR& name : names) {
            ok = ok && in.Bstr(&name);
        }
        std::vector<DISPID> ids(count, DISPID_UNKNOWN);
        HRESULT hr = RPC_E_INVALID_DATA;
        if (ok && in.AtEnd()) {
            auto* dispatch = static_cast<IDispatch*>(object.Get());
            hr = dispatch->GetIDsOfNames(IID_NULL, names.data(), count, 0, ids.data());
        }
        for (BSTR name : names) {
            SysFreeString(name);
        }
        for (DISPID id : ids) {
            out.U32(static_cast<uint32_t>(id));
        }
        return hr;
    }
    case Operation::Invoke:
        return ExecuteInvoke(object.Get(), in, out);
    default:
        return RPC_E_INVALID_DATA;
    }
}

// ---- Object references ----

HRESULT Channel::Export(IUnknown* object, ObjectRefKind* kind, uint64_t* id, bool* dispatch) {
    if (RemoteProxy* proxy = RemoteProxyOf(object); proxy && proxy->Channel().get() == this) {
        *kind = ObjectRefKind::ReceiversObject;
        *id = proxy->Id();
        *dispatch = proxy->IsDispatch();
        // Ahead of the message, and while this proxy still holds the object: the reference it carries.
        SendHold(*id, 1);
        return S_OK;
    }
    ComPtr<IUnknown> identity;
    if (HRESULT hr = object->QueryInterface(IID_IUnknown, identity.PutVoid()); FAILED(hr)) {
        return hr;
    }
    ComPtr<IUnknown> stored;
    *dispatch = SUCCEEDED(object->QueryInterface(IID_IDispatch, stored.PutVoid()));
    if (!*dispatch) {
        stored = identity;
    }
    *kind = ObjectRefKind::SendersObject;
    std::lock_guard lock(mutex_);
    if (!IsAlive()) {
        return RPC_E_DISCONNECTED;
    }
    if (auto found = exportIds_.find(identity.Get()); found != exportIds_.end()) {
        *id = found->second;
        ++exports_[*id].refs;
        return S_OK;
    }
    *id = nextExportId_++;
    ExportEntry& entry = exports_[*id];
    entry.object = std::move(stored);
    entry.identity = identity.Get();
    entry.home = ThisApartment();
    entry.refs = 1;
    exportIds_[identity.Get()] = *id;
    AddServerProcessLock();
    return S_OK;
}

HRESULT Channel::Import(ObjectRefKind kind, uint64_t id, bool dispatch, IUnknown** object) {
    *object = nullptr;
    if (kind == ObjectRefKind::SendersObject) {
        *object = MakeRemoteProxy(shared_from_this(), id, dispatch);
        return S_OK;
    }
    ComPtr<IUnknown> own = FindExport(id);
    if (!own) {
        return RPC_E_INVALID_DATA;
    }
    // The reference the message carried (its Hold came first); own keeps the object for the caller.
    (void)ReleaseExport(id, 1); // found just above, and that reference keeps it lent
    *object = own.Detach();
    return S_OK;
}

void Channel::Unexport(ObjectRefKind kind, uint64_t id) {
    if (kind == ObjectRefKind::SendersObject) {
        (void)ReleaseExport(id, 1); // the reference Export added just before: it is there
    } else if (kind == ObjectRefKind::ReceiversObject) {
        SendRelease(id, 1); // the reference announced by its Hold
    }
}

ComPtr<IUnknown> Channel::FindExport(uint64_t id) {
    std::lock_guard lock(mutex_);
    auto found = exports_.find(id);
    return found == exports_.end() ? nullptr : found->second.object;
}

bool Channel::ReleaseExport(uint64_t id, uint64_t count, std::vector<Later>* later) {
    ExportEntry released;
    {
        std::lock_guard lock(mutex_);
        auto found = exports_.find(id);
        if (found == exports_.end() || found->second.refs < count) {
            return false;
        }
        if (found->second.refs > count) {
            found->second.refs -= count;
            return true;
        }
        released = std::move(found->second);
        exportIds_.erase(released.identity);
        exports_.erase(found);
    }
    ReleaseServerProcessLock();
    if (released.home && !released.home->IsOwningThread()) {
        auto object = std::make_shared<ComPtr<IUnknown>>(std::move(released.object));
        released.home->Post([object] { object->Reset(); });
    } else if (later) {
        auto object = std::make_shared<ComPtr<IUnknown>>(std::move(released.object));
        later->push_back({nullptr, [object] { object->Reset(); }});
    }
    return true;
}

bool Channel::HoldExport(uint64_t id, uint64_t count) {
    std::lock_guard lock(mutex_);
    auto found = exports_.find(id);
    if (found == exports_.end()) {
        return false;
    }
    found->second.refs += count;
    return true;
}

size_t Channel::ExportCount() const {
    std::lock_guard lock(mutex_);
    return exports_.size();
}

} // namespace vr::rpc
