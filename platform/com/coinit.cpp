// COM initialisation per thread: the count and model of each thread's apartment.
#include "platform/com/activation.h"

#include "platform/com/activation_internal.h"
#include "platform/com/apartment.h"

#include <atomic>

namespace {

// Threads that currently hold the multithreaded apartment; while one does, every thread may use COM as a
// member of it.
std::atomic<int> g_mtaThreads{0};

vr::ApartmentKind KindOf(DWORD coInit) {
    return (coInit & COINIT_APARTMENTTHREADED) ? vr::ApartmentKind::SingleThreaded
                                               : vr::ApartmentKind::MultiThreaded;
}

void LeaveApartment(vr::ApartmentKind kind);

// The calling thread's initialisation. A thread that ends without its last CoUninitialize leaves its
// apartment here, so its class objects go and the process-wide MTA count stays true.
struct ThreadApartment {
    int count = 0;
    vr::ApartmentKind kind = vr::ApartmentKind::None;

    ~ThreadApartment() {
        if (count > 0) {
            vr::ApartmentKind leaving = kind;
            count = 0; // what runs while leaving sees the thread outside any apartment
            kind = vr::ApartmentKind::None;
            LeaveApartment(leaving);
        }
    }
};

thread_local ThreadApartment t_apartment;

// Entering and leaving an apartment. A single-threaded apartment brings its call queue (calls from other
// apartments carried to this thread); leaving closes it, failing the calls still queued.
void EnterApartment(vr::ApartmentKind kind) {
    if (kind == vr::ApartmentKind::MultiThreaded) {
        g_mtaThreads.fetch_add(1, std::memory_order_acq_rel);
    } else {
        vr::OpenThreadApartment();
    }
}

void LeaveApartment(vr::ApartmentKind kind) {
    if (kind == vr::ApartmentKind::SingleThreaded) {
        vr::CloseThreadApartment();
    }
    vr::detail::RevokeClassObjectsOfThisThread();
    if (kind == vr::ApartmentKind::MultiThreaded) {
        g_mtaThreads.fetch_sub(1, std::memory_order_acq_rel);
    }
}

} // namespace

HRESULT CoInitialize(void* reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void* /*reserved*/, DWORD coInit) {
    vr::ApartmentKind kind = KindOf(coInit);
    if (t_apartment.count > 0) {
        if (t_apartment.kind != kind) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_apartment.count;
        return S_FALSE;
    }
    t_apartment.kind = kind;
    t_apartment.count = 1;
    EnterApartment(kind);
    return S_OK;
}

void CoUninitialize() {
    // An unbalanced call is ignored rather than driving the count negative.
    if (t_apartment.count == 0) {
        return;
    }
    if (--t_apartment.count == 0) {
        vr::ApartmentKind kind = t_apartment.kind;
        t_apartment.kind = vr::ApartmentKind::None;
        LeaveApartment(kind);
    }
}

namespace vr {

ApartmentKind CurrentApartment() {
    if (t_apartment.count > 0) {
        return t_apartment.kind;
    }
    return g_mtaThreads.load(std::memory_order_acquire) > 0 ? ApartmentKind::MultiThreaded
                                                            : ApartmentKind::None;
}

} // namespace vr
