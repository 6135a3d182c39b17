// Per-deliverable module state: the count of live objects and server locks that decides when a library may be
// unloaded. Header-only on purpose: compiled with hidden visibility, each deliverable gets its own count.
#pragma once

#include "platform/base/types.h"

#include <atomic>

namespace vr::module {

// Live objects plus LockServer(TRUE) calls of this deliverable; DllCanUnloadNow answers S_OK at zero.
inline std::atomic<LONG>& LockCount() {
    static std::atomic<LONG> count{0};
    return count;
}
inline void Lock() { LockCount().fetch_add(1, std::memory_order_relaxed); }
inline void Unlock() { LockCount().fetch_sub(1, std::memory_order_acq_rel); }

} // namespace vr::module
