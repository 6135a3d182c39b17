// Events over eventfd: the descriptor is readable while the event is signalled, so waits can poll events and
// an apartment's call queue together.
#include "platform/com/waithandle.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A tag tells events apart from other pointers handed to these functions.
constexpr uint32_t kEventTag = 0x45564E54;

struct Event {
    uint32_t tag = kEventTag;
    int fd = -1;
    bool manualReset = false;
    // Counts the signals: SetEvent adds one (release) before it writes the descriptor, and a wait that a
    // signal ends reads it (acquire), so that what a thread wrote before SetEvent is visible to the thread
    // whose wait the signal ends (the eventfd alone is no ordering a race checker can see). No lock: the
    // waiter that the write wakes must not then block on the thread that woke it while that one is still
    // inside the write.
    std::atomic<uint64_t> signals{0};
};

Event* AsEvent(HANDLE handle) {
    auto* event = static_cast<Event*>(handle);
    return event && event->tag == kEventTag ? event : nullptr;
}

// Signals of every event of the process, so that a wait can tell whether any event was signalled since it
// last looked without asking each one.
std::atomic<uint64_t> g_signals{0};

// Takes the signal away; false when it was not signalled (or another thread took it first).
bool DrainDescriptor(int fd) {
    uint64_t count = 0;
    return read(fd, &count, sizeof count) == sizeof count;
}

} // namespace

HANDLE CreateEventW(void* /*securityAttributes*/, BOOL manualReset, BOOL initialState, LPCOLESTR name) {
    if (name && *name) {
        return nullptr;
    }
    int fd = eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto* event = new Event;
    event->fd = fd;
    event->manualReset = manualReset != FALSE;
    return event;
}

BOOL SetEvent(HANDLE handle) {
    Event* event = AsEvent(handle);
    if (!event) {
        return FALSE;
    }
    // The counter only needs to be non-zero; a counter at its maximum (EAGAIN) is signalled already.
    uint64_t one = 1;
    g_signals.fetch_add(1, std::memory_order_release);
    event->signals.fetch_add(1, std::memory_order_release);
    ssize_t written = write(event->fd, &one, sizeof one);
    return written == sizeof one || errno == EAGAIN ? TRUE : FALSE;
}

BOOL ResetEvent(HANDLE handle) {
    Event* event = AsEvent(handle);
    if (!event) {
        return FALSE;
    }
    DrainDescriptor(event->fd);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    Event* event = AsEvent(handle);
    if (!event) {
        return FALSE;
    }
    close(event->fd);
    event->tag = 0;
    delete event;
    return TRUE;
}

namespace vr::detail {

uint64_t EventSignalCount() {
    return g_signals.load(std::memory_order_acquire);
}

int EventDescriptor(HANDLE handle) {
    Event* event = AsEvent(handle);
    return event ? event->fd : -1;
}

bool ClaimEvent(HANDLE handle) {
    Event* event = AsEvent(handle);
    if (!event) {
        return false;
    }
    bool claimed = false;
    if (!event->manualReset) {
        claimed = DrainDescriptor(event->fd);
    } else {
        // A manual-reset event keeps its signal, so it is only looked at.
        pollfd probe{event->fd, POLLIN, 0};
        claimed = poll(&probe, 1, 0) == 1;
    }
    if (claimed) {
        (void)event->signals.load(std::memory_order_acquire); // only the ordering counts, not the number
    }
    return claimed;
}

} // namespace vr::detail
