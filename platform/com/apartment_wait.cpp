// CoWaitForMultipleHandles: waits for events while the caller's single-threaded apartment keeps serving
// calls.
#include "platform/com/apartment.h"

#include <algorithm>
#include <chrono>
#include <climits>
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

// The position of the first handle whose signal this wait wins, or -1.
int ClaimAny(ULONG count, HANDLE* handles) {
    for (ULONG i = 0; i < count; ++i) {
        if (IsSignalled(handles[i]) && vr::detail::ClaimEvent(handles[i])) {
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

// Sleeps until a handle that counts may have been signalled, a call is queued, or the timeout passes.
void Sleep(bool waitAll, ULONG count, HANDLE* handles, int queueFd, int timeoutMs) {
    std::vector<pollfd> watched;
    for (ULONG i = 0; i < count; ++i) {
        // Waiting for all, a handle already signalled would wake the poll at once: only the others count.
        if (!waitAll || !IsSignalled(handles[i])) {
            watched.push_back({vr::detail::EventDescriptor(handles[i]), POLLIN, 0});
        }
    }
    if (queueFd >= 0) {
        watched.push_back({queueFd, POLLIN, 0});
    }
    static_cast<void>(poll(watched.data(), watched.size(), timeoutMs));
}

} // namespace

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
    for (;;) {
        if (apartment) {
            // Only the calls queued by now: calls that keep queueing more must not hold the wait forever.
            apartment->Serve(static_cast<int>(apartment->QueuedCount()));
        }
        if (waitAll && ClaimAll(count, handles)) {
            *index = 0;
            return S_OK;
        }
        if (!waitAll) {
            if (int claimed = ClaimAny(count, handles); claimed >= 0) {
                *index = static_cast<DWORD>(claimed);
                return S_OK;
            }
        }
        int sleepMs = PollTimeout(unlimited, deadline);
        if (sleepMs == 0) {
            return RPC_S_CALLPENDING;
        }
        Sleep(waitAll, count, handles, apartment ? apartment->QueueDescriptor() : -1, sleepMs);
    }
}
