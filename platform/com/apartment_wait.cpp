// CoWaitForMultipleHandles: waits for events while the caller's single-threaded apartment keeps serving
// calls.
#include "platform/com/apartment.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <poll.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool IsSignalled(HANDLE handle) {
    pollfd probe{vr::detail::EventDescriptor(handle), POLLIN, 0};
    return poll(&probe, 1, 0) == 1;
}

// Claims every handle at once; an auto-reset event another waiter took first undoes the claims made so far.
bool ClaimAll(ULONG count, HANDLE* handles) {
    for (ULONG i = 0; i < count; ++i) {
        if (!IsSignalled(handles[i])) {
            return false;
        }
    }
    for (ULONG i = 0; i < count; ++i) {
        if (!vr::detail::ClaimEvent(handles[i])) {
            for (ULONG j = 0; j < i; ++j) {
                SetEvent(handles[j]);
            }
            return false;
        }
    }
    return true;
}

// The position of the first handle whose signal this wait wins, or -1. With polled, only the handles the
// last poll found readable are tried (a claim costs a system call); all of them without.
int ClaimAny(ULONG count, HANDLE* handles, const std::vector<pollfd>* polled) {
    for (ULONG i = 0; i < count; ++i) {
        if ((!polled || (*polled)[i].revents != 0) && vr::detail::ClaimEvent(handles[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Milliseconds poll may sleep before the deadline; -1 without one.
int PollTimeout(bool unlimited, Clock::time_point deadline) {
    if (unlimited) {
        return -1;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

// What one wait watches: its handles (in their order, first), the apartment's queue, the apartment's wait
// sources.
struct Watched {
    std::vector<pollfd> fds;
    int queueAt = -1;
    std::vector<std::shared_ptr<vr::WaitSource>> sources;
    size_t sourcesAt = 0;
    bool polled = false;        // fds hold what a poll found
    uint64_t signalsAtPoll = 0; // EventSignalCount() before that poll
};

// Sleeps until a handle that counts may have been signalled, a call is queued, a source has something, or
// the timeout passes; then takes in what the sources have. Leaves in watched.fds what the poll found.
void Sleep(bool waitAll, ULONG count, HANDLE* handles, vr::Apartment* apartment, int timeoutMs,
           vr::PollingWait& wait, Watched& watched) {
    watched.fds.clear();
    ULONG signalled = 0;
    for (ULONG i = 0; i < count; ++i) {
        // Waiting for all, a handle already signalled would wake the poll at once: only the others count.
        bool skipped = waitAll && IsSignalled(handles[i]);
        signalled += skipped ? 1 : 0;
        watched.fds.push_back({skipped ? -1 : vr::detail::EventDescriptor(handles[i]), POLLIN, 0});
    }
    if (signalled == count) {
        // Every handle was signalled since the caller last tried to claim them all: nothing left would wake
        // the poll, so it only looks (the caller tries again at once).
        timeoutMs = 0;
    }
    watched.queueAt = -1;
    watched.sources.clear();
    if (apartment) {
        watched.queueAt = static_cast<int>(watched.fds.size());
        watched.fds.push_back({apartment->QueueDescriptor(), POLLIN, 0});
        watched.sources = apartment->WaitSources();
    }
    watched.sourcesAt = watched.fds.size();
    std::shared_ptr<vr::WaitSource> kept = wait.TakeKept(); // watched already, since a reply sent here
    for (const auto& source : watched.sources) {
        watched.fds.push_back({source->WaitDescriptor(), POLLIN, 0});
        if (source == kept) {
            kept.reset();
        } else {
            source->BeginWatch();
        }
    }
    if (kept) {
        kept->EndWatch(); // it ended since: this poll does not watch it
    }
    watched.signalsAtPoll = vr::detail::EventSignalCount();
    static_cast<void>(poll(watched.fds.data(), watched.fds.size(), timeoutMs));
    watched.polled = true;
    for (size_t i = 0; i < watched.sources.size(); ++i) {
        if (watched.fds[watched.sourcesAt + i].revents != 0) {
            watched.sources[i]->TakeIn(); // it ends the watch itself
        } else {
            watched.sources[i]->EndWatch();
        }
    }
    watched.sources.clear(); // an ended source may go now
}

// The calling thread's innermost polling wait.
thread_local vr::PollingWait* t_innermostWait = nullptr;

} // namespace

namespace vr {

PollingWait::PollingWait(const WaitSource* source) : outer_(t_innermostWait), only_(source) {
    // What this wait runs may take long: the outer wait's source goes back to its reader meanwhile.
    EndKeptWatch();
    t_innermostWait = this;
}

PollingWait::~PollingWait() {
    EndKept();
    t_innermostWait = outer_;
}

std::shared_ptr<WaitSource> PollingWait::TakeKept() {
    return std::move(kept_);
}

bool PollingWait::Polls(const WaitSource* source) const {
    if (only_) {
        return only_ == source;
    }
    ApartmentRef apartment = ThisApartment();
    return apartment && apartment->WatchesSource(source);
}

void PollingWait::EndKept() {
    if (std::shared_ptr<WaitSource> kept = std::move(kept_)) {
        kept->EndWatch();
    }
}

bool KeepWatching(const std::shared_ptr<WaitSource>& source) {
    PollingWait* wait = t_innermostWait;
    if (!wait || !source) {
        return false;
    }
    if (wait->kept_) {
        return wait->kept_ == source;
    }
    if (!wait->Polls(source.get())) {
        return false;
    }
    source->BeginWatch();
    wait->kept_ = source;
    return true;
}

void EndKeptWatch() {
    if (PollingWait* wait = t_innermostWait) {
        wait->EndKept();
    }
}

} // namespace vr

HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD timeout, ULONG count, HANDLE* handles, DWORD* index) {
    if (!index || !handles || count == 0) {
        return E_INVALIDARG;
    }
    for (ULONG i = 0; i < count; ++i) {
        if (vr::detail::EventDescriptor(handles[i]) < 0) {
            return E_INVALIDARG;
        }
    }
    const bool waitAll = (flags & COWAIT_WAITALL) != 0;
    const bool unlimited = timeout == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeout);
    vr::ApartmentRef apartment = vr::ThisApartment();
    vr::PollingWait wait;
    Watched watched;
    for (;;) {
        // Only the calls queued by now: calls that keep queueing more must not hold the wait forever. The
        // queue is looked at when it holds calls or its descriptor woke the poll (a signal left to drain).
        if (apartment) {
            size_t queued = apartment->QueuedCount();
            bool woken = watched.queueAt >= 0 && watched.fds[watched.queueAt].revents != 0;
            if (queued > 0 || woken) {
                apartment->Serve(static_cast<int>(queued));
            }
        }
        if (waitAll && ClaimAll(count, handles)) {
            *index = 0;
            return S_OK;
        }
        // A wait that may sleep polls before its first claim: a handle signalled already makes that poll
        // return at once, and one that is not (the usual case: a call just queued, a request just posted)
        // costs no claim that fails. A wait whose time is up claims before it gives up.
        int sleepMs = PollTimeout(unlimited, deadline);
        if (!waitAll && (watched.polled || sleepMs == 0)) {
            // What the poll found stands while no event has been signalled since (by a call run here
            // either).
            bool pollStands = watched.polled && vr::detail::EventSignalCount() == watched.signalsAtPoll;
            if (int claimed = ClaimAny(count, handles, pollStands ? &watched.fds : nullptr); claimed >= 0) {
                *index = static_cast<DWORD>(claimed);
                return S_OK;
            }
        }
        if (sleepMs == 0) {
            return RPC_S_CALLPENDING;
        }
        Sleep(waitAll, count, handles, apartment.get(), sleepMs, wait, watched);
    }
}
